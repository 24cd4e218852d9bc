#include "export/mark_job.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#include "bmp/row_reader.h"
#include "bmp/row_writer.h"
#include "export/mark_triangles.h"
#include "export/row_marker.h"
#include "platform/memory.h"

namespace quendral {
namespace {

// Rows that fit a chunk go through it many at a time.
bool StreamRows(BmpRowReader& reader, const RowMarker& marker, BmpRowWriter& writer,
                std::uint8_t* chunk, std::size_t rowsPerChunk) {
  const std::size_t stride = reader.stride();
  int j = reader.height() - 1;
  while (j >= 0) {
    const std::size_t count = std::min(rowsPerChunk, static_cast<std::size_t>(j) + 1);
    const std::size_t given = reader.ReadRows(chunk, count);
    for (std::size_t r = 0; r < count; ++r, --j) {
      std::uint8_t* row = chunk + r * stride;
      if (r < given) {
        marker.MarkStoredRow(row, j);
      } else {
        marker.MarkWhiteRow(row, j);
      }
    }
    if (!writer.WriteRows(chunk, count)) return false;
  }
  return true;
}

// Rows wider than a chunk go through it in pieces of `piecePixels` (a
// multiple of 8). At 16 bits every row is given, so pieces pass straight
// through. Elsewhere a row the file ends inside is written white, so a row
// passes in pieces only where the file is known to hold all of it (a
// regular file of that many bytes); from a pipe it is held whole, as far as
// the pipe gives it. White rows are made piece by piece.
bool StreamWideRows(File& input, BmpRowReader& reader, const RowMarker& marker,
                    BmpRowWriter& writer, std::uint8_t* chunk, int piecePixels) {
  const int width = reader.width();
  const std::size_t stride = reader.stride();
  const bool wordRows = reader.depth() == 16;
  std::vector<std::uint8_t> row;
  bool ended = false;
  for (int j = reader.height() - 1; j >= 0; --j) {
    const bool heldWhole = !wordRows && !ended && input.BytesLeft() < static_cast<std::int64_t>(stride);
    if (heldWhole) {
      row.reserve(stride);  // grown piece by piece, it would double past the row
      std::size_t got = 0;
      while (got < stride && !ended) {
        const std::size_t piece = std::min(stride - got, marker.PieceBytes(0, piecePixels));
        row.resize(got + piece);
        const std::size_t arrived = reader.ReadRowBytes(row.data() + got, piece);
        got += arrived;
        ended = arrived < piece;
      }
      if (!ended) {
        marker.MarkStoredRow(row.data(), j);
        if (!writer.WriteBytes(row.data(), stride)) return false;
        continue;
      }
      std::vector<std::uint8_t>().swap(row);  // the rest is white
    }
    // Should a file shrink while it is read, the rest is white, as it is
    // for any file that ends early.
    for (int first = 0; first < width; first += piecePixels) {
      const int count = std::min(piecePixels, width - first);
      const std::size_t bytes = marker.PieceBytes(first, count);
      const RowMarker::Piece piece{chunk, j, first, count};
      if (!ended) ended = reader.ReadRowBytes(chunk, bytes) < bytes;
      if (ended) {
        marker.MarkWhite(piece);
      } else {
        marker.MarkStored(piece);
      }
      if (!writer.WriteBytes(chunk, bytes)) return false;
    }
  }
  return true;
}

}  // namespace

JobResult StreamMarkJob(File& input, PictureOutput& output, std::size_t chunkBytes) noexcept {
  JobResult result;
  try {
    if (!CheckTypeSizes()) return result;
    BmpRowReader reader(input);
    if (reader.ReadHeaders() != HeaderVerdict::kAccepted) return result;
    reader.ReadTables();
    const std::size_t stride = reader.stride();
    const int height = reader.height();
    RowMarker marker(reader);
    // Wide rows go in pieces of whole bytes, each with room for the row's
    // padding (at most 3 bytes) when it is the last.
    const int bitsPerPixel = reader.depth();
    const bool wide = stride > chunkBytes;
    const int piecePixels = static_cast<int>(
        std::max<std::size_t>(chunkBytes * 8 / static_cast<std::size_t>(bitsPerPixel) / 8 * 8, 8));
    const std::size_t rowsPerChunk =
        wide ? 0 : std::min(chunkBytes / stride, static_cast<std::size_t>(height));
    const std::size_t chunkSize = wide ? marker.PieceBytes(0, piecePixels) + 4 : rowsPerChunk * stride;
    std::unique_ptr<std::uint8_t[]> chunk = AllocateArray<std::uint8_t>(chunkSize);
    // Without memory for a chunk the picture cannot be read, as a picture
    // held whole could not be.
    if (!chunk || !marker.Prepare()) return result;
    result.loaded = true;

    const InfoHeader& info = reader.headers().info;
    const BmpFilePlan plan = PlanBmpFile(reader.width(), height, reader.depth(),
                                         info.biXPelsPerMeter, info.biYPelsPerMeter);
    if (!plan.fits) {
      result.save.outcome = SaveStatus::Outcome::kTooLarge;
      return result;
    }
    File* file = output.Open(result.save);
    if (file == nullptr) return result;
    BmpRowWriter writer(*file, plan);
    errno = 0;
    const bool rowsWritten =
        writer.WriteHead(reader.palette()) &&
        (wide ? StreamWideRows(input, reader, marker, writer, chunk.get(), piecePixels)
              : StreamRows(reader, marker, writer, chunk.get(), rowsPerChunk));
    result.written = FinishStreamedJob(rowsWritten, input, output, result.save);
  } catch (...) {
    RecordWriteFailure(result.save, ENOMEM);
  }
  return result;
}

JobResult InMemoryMarkJob(File& input, PictureOutput& output) noexcept {
  JobResult result;
  try {
    BitmapImage image;
    if (!image.Load(input)) return result;
    input.Close();
    result.loaded = true;
    MarkTriangles(image);
    result.written = SaveThrough(image, output, result.save);
  } catch (...) {
    RecordWriteFailure(result.save, ENOMEM);
  }
  return result;
}

void SaveHeldPicture(BitmapImage& image, PictureOutput& output, JobResult& result) {
  if (!PlanBmpFile(image.Width(), image.Height(), image.Depth(), image.XPelsPerMeter(),
                   image.YPelsPerMeter())
           .fits) {
    result.save.outcome = SaveStatus::Outcome::kTooLarge;
    return;
  }
  File* file = output.Open(result.save);
  if (file == nullptr) return;
  result.save = image.SaveWithStatus(*file);
  result.written = result.save.ok() && output.Finish(result.save);
}

}  // namespace quendral
