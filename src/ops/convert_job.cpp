#include "ops/convert_job.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "bmp/headers.h"
#include "bmp/row_decoder.h"
#include "bmp/row_loops.h"
#include "bmp/row_reader.h"
#include "bmp/row_writer.h"
#include "image/bitmap_image.h"
#include "image/palette_matcher.h"
#include "platform/memory.h"

namespace quendral {
namespace {

// Bytes that `count` pixels take at `depth` bits, the last byte part-filled.
std::size_t DataBytes(int count, int depth) {
  return (static_cast<std::size_t>(count) * static_cast<std::size_t>(depth) + 7) / 8;
}

// Stored pixels of the input to stored pixels of the output, through the
// reader's row decoders and the writer's row encoders: decoded as loading
// decodes them, then encoded at the new depth as saving encodes them.
class RowConverter {
 public:
  RowConverter(const BmpRowReader& reader, const BitmapImage& target)
      : outDepth_(target.Depth()), decoder_(reader), matcher_(target) {}

  // Room for pieces of up to `pixels` pixels. False without the memory.
  bool Prepare(int pixels, std::int64_t picturePixels) {
    pixels_ = AllocateArray<ColorQuad>(static_cast<std::size_t>(pixels));
    return pixels_ && decoder_.Prepare(picturePixels);
  }

  // `count` pixels from stored bytes `in` (starting on a byte) to stored
  // bytes `out`; only the output's data bytes are written.
  void Convert(const std::uint8_t* in, std::uint8_t* out, int count) {
    decoder_.DecodePixels(in, pixels_.get(), count);
    Pack(out, count);
  }

  // The same for pixels the file did not give, which load as white.
  void ConvertWhite(std::uint8_t* out, int count) {
    std::fill_n(pixels_.get(), count, kWhite);
    Pack(out, count);
  }

 private:
  void Pack(std::uint8_t* out, int count) {
    switch (outDepth_) {
      case 32: rows::Pack32(pixels_.get(), out, count); break;
      case 24: rows::Pack24(pixels_.get(), out, count); break;
      case 16: rows::Pack565(pixels_.get(), out, count); break;
      default: rows::PackIndices(pixels_.get(), out, count, outDepth_, matcher_); break;
    }
  }

  int outDepth_;
  StoredRowDecoder decoder_;
  PaletteMatcher matcher_;
  std::unique_ptr<ColorQuad[]> pixels_;
};

// Bytes of one stored row and bits of one pixel, in and out.
struct RowShape {
  std::size_t inStride, outStride;
  int inDepth, outDepth;
};

// Rows that fit a chunk go through it many at a time.
bool StreamRows(BmpRowReader& reader, RowConverter& converter, BmpRowWriter& writer,
                const RowShape& shape, std::uint8_t* inChunk, std::uint8_t* outChunk,
                std::size_t rowsPerChunk) {
  const int width = reader.width();
  int j = reader.height() - 1;
  while (j >= 0) {
    const std::size_t count = std::min(rowsPerChunk, static_cast<std::size_t>(j) + 1);
    const std::size_t given = reader.ReadRows(inChunk, count);
    for (std::size_t r = 0; r < count; ++r, --j) {
      std::uint8_t* out = outChunk + r * shape.outStride;
      if (r < given) {
        converter.Convert(inChunk + r * shape.inStride, out, width);
      } else {
        converter.ConvertWhite(out, width);
      }
    }
    if (!writer.WriteRows(outChunk, count)) return false;
  }
  return true;
}

// Rows wider than a chunk go through it in pieces of `piecePixels` (a
// multiple of 8, so that every piece starts on a byte in and out). At 16
// bits every row is given, so pieces pass straight through. Elsewhere a row
// the file ends inside loads white, so a row passes in pieces only where
// the file is known to hold all of it (a regular file of that many bytes);
// from a pipe it is held whole, as far as the pipe gives it.
bool StreamWideRows(File& input, BmpRowReader& reader, RowConverter& converter,
                    BmpRowWriter& writer, const RowShape& shape, std::uint8_t* inPiece,
                    std::uint8_t* outPiece, int piecePixels) {
  const int width = reader.width();
  const int inDepth = shape.inDepth;
  const int outDepth = shape.outDepth;
  // A piece's stored bytes; the last piece of a row holds its padding too.
  const auto pieceBytes = [width](int first, int count, int depth, std::size_t rowStride) {
    const std::size_t start = DataBytes(first, depth);
    return first + count == width ? rowStride - start : DataBytes(count, depth);
  };
  std::vector<std::uint8_t> row;
  bool ended = false;
  for (int j = reader.height() - 1; j >= 0; --j) {
    const std::uint8_t* held = nullptr;
    if (inDepth != 16 && !ended && input.BytesLeft() < static_cast<std::int64_t>(shape.inStride)) {
      std::size_t got = 0;
      while (got < shape.inStride && !ended) {
        const std::size_t piece = std::min(shape.inStride - got, DataBytes(piecePixels, inDepth));
        row.resize(got + piece);
        const std::size_t arrived = reader.ReadRowBytes(row.data() + got, piece);
        got += arrived;
        ended = arrived < piece;
      }
      if (ended) {
        std::vector<std::uint8_t>().swap(row);  // the rest is white
      } else {
        held = row.data();
      }
    }
    for (int first = 0; first < width; first += piecePixels) {
      const int count = std::min(piecePixels, width - first);
      const std::size_t outBytes = pieceBytes(first, count, outDepth, shape.outStride);
      const std::size_t dataBytes = DataBytes(count, outDepth);
      // Should a file shrink while it is read, the rest is white, as it is
      // for any file that ends early.
      const std::uint8_t* in = held != nullptr ? held + DataBytes(first, inDepth) : inPiece;
      if (held == nullptr && !ended) {
        const std::size_t inBytes = pieceBytes(first, count, inDepth, shape.inStride);
        ended = reader.ReadRowBytes(inPiece, inBytes) < inBytes;
      }
      if (held == nullptr && ended) {
        converter.ConvertWhite(outPiece, count);
      } else {
        converter.Convert(in, outPiece, count);
      }
      std::fill(outPiece + dataBytes, outPiece + outBytes, std::uint8_t{0});
      if (!writer.WriteBytes(outPiece, outBytes)) return false;
    }
  }
  return true;
}

// The picture that the job's target stands for: its depth and its table.
bool MakeTarget(const ConvertTarget& target, BitmapImage& image) {
  if (!IsValidConvertTarget(target) || !image.SetDepth(target.depth)) return false;
  return !target.grey || image.FillGrayPalette();
}

}  // namespace

bool IsValidConvertTarget(const ConvertTarget& target) {
  const int d = target.depth;
  const bool depthOk = IsIndexedDepth(d) || d == 16 || d == 24 || d == 32;
  return depthOk && (!target.grey || IsIndexedDepth(d));
}

JobResult StreamConvertJob(File& input, PictureOutput& output, const ConvertTarget& target,
                               std::size_t chunkBytes) noexcept {
  JobResult result;
  try {
    BitmapImage table;
    if (!CheckTypeSizes() || !MakeTarget(target, table)) return result;
    BmpRowReader reader(input);
    if (reader.ReadHeaders() != HeaderVerdict::kAccepted) return result;
    reader.ReadTables();
    const int width = reader.width();
    const int height = reader.height();
    const InfoHeader& info = reader.headers().info;
    const BmpFilePlan plan =
        PlanBmpFile(width, height, target.depth, info.biXPelsPerMeter, info.biYPelsPerMeter);
    const RowShape shape{reader.stride(), plan.stride, reader.depth(), target.depth};

    // A row is wide when its pixels, or its stored bytes in or out, would
    // not fit a chunk; wide rows go in pieces of whole bytes, each with room
    // for the row's padding (at most 3 bytes) when it is the last.
    const std::size_t rowBytes = std::max({4 * static_cast<std::size_t>(width), shape.inStride, shape.outStride});
    const bool wide = rowBytes > chunkBytes;
    const int piecePixels = static_cast<int>(std::max<std::size_t>(chunkBytes / 4 / 8 * 8, 8));
    const std::size_t rowsPerChunk =
        wide ? 1 : std::min(chunkBytes / rowBytes, static_cast<std::size_t>(height));
    const std::size_t inSize = wide ? DataBytes(piecePixels, reader.depth()) + 4 : rowsPerChunk * shape.inStride;
    const std::size_t outSize = wide ? DataBytes(piecePixels, target.depth) + 4 : rowsPerChunk * shape.outStride;
    std::unique_ptr<std::uint8_t[]> inChunk = AllocateArray<std::uint8_t>(inSize);
    std::unique_ptr<std::uint8_t[]> outChunk = AllocateArray<std::uint8_t>(outSize);
    RowConverter converter(reader, table);
    // Without memory for the chunks the picture cannot be read, as a
    // picture held whole could not be.
    if (!inChunk || !outChunk ||
        !converter.Prepare(wide ? piecePixels : width, std::int64_t{width} * height))
      return result;
    result.loaded = true;

    if (!plan.fits) {
      result.save.outcome = SaveStatus::Outcome::kTooLarge;
      return result;
    }
    File* file = output.Open(result.save);
    if (file == nullptr) return result;
    // The encoders never touch a row's padding, which stays 0 from here.
    std::memset(outChunk.get(), 0, outSize);
    BmpRowWriter writer(*file, plan);
    errno = 0;
    const bool rowsWritten =
        writer.WriteHead(table.Palette()) &&
        (wide ? StreamWideRows(input, reader, converter, writer, shape, inChunk.get(),
                               outChunk.get(), piecePixels)
              : StreamRows(reader, converter, writer, shape, inChunk.get(), outChunk.get(),
                           rowsPerChunk));
    result.written = FinishStreamedJob(rowsWritten, input, output, result.save);
  } catch (...) {
    RecordWriteFailure(result.save, ENOMEM);
  }
  return result;
}

JobResult InMemoryConvertJob(File& input, PictureOutput& output,
                                 const ConvertTarget& target) noexcept {
  JobResult result;
  try {
    if (!IsValidConvertTarget(target)) return result;
    BitmapImage image;
    if (!image.Load(input)) return result;
    input.Close();
    result.loaded = true;
    image.SetDepth(target.depth);
    if (target.grey) image.FillGrayPalette();
    result.written = SaveThrough(image, output, result.save);
  } catch (...) {
    RecordWriteFailure(result.save, ENOMEM);
  }
  return result;
}

}  // namespace quendral
