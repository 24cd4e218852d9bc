// Reads uncompressed BMP files (1, 4, 8, 16, 24, 32 bits per pixel) and
// 16-bit bit-field files, rows stored bottom row first.
#include <algorithm>
#include <cstdint>

#include "bmp/headers.h"
#include "bmp/row_reader.h"
#include "bmp/row_loops.h"
#include "image/bitmap_image.h"
#include "platform/file.h"
#include "platform/memory.h"

namespace quendral {
namespace {

// Pictures from this many pixels on repay building a table of every word's
// pixel (65,536 entries) many times over.
constexpr std::int64_t kWordTableMinPixels = std::int64_t{1} << 18;

}  // namespace

bool BitmapImage::Load(const char* path) {
  if (!CheckTypeSizes()) return false;
  File file = File::Open(path, "rb");
  if (!file.IsOpen()) {
    SetDepth(1);
    Resize(1, 1);
    return false;
  }
  return Load(file);
}

bool BitmapImage::Load(File& file) {
  BmpRowReader reader(file);
  const HeaderVerdict verdict = reader.ReadHeaders();
  // A file that is not a BMP leaves the image exactly as it was.
  if (verdict == HeaderVerdict::kNotBmp) return false;

  auto resetExit = [this] {
    Resize(1, 1);
    SetDepth(1);
    return false;
  };
  if (verdict == HeaderVerdict::kCutShort) return resetExit();

  // The resolution is kept even when the kind or size is refused below.
  const InfoHeader& info = reader.headers().info;
  xPelsPerMeter_ = info.biXPelsPerMeter;
  yPelsPerMeter_ = info.biYPelsPerMeter;
  if (verdict != HeaderVerdict::kAccepted) return resetExit();

  const int depth = reader.depth();
  // Every pixel is written below, decoded or white, so the block is not
  // made white first.
  if (!SetDepth(depth) || !ResizeUnfilled(reader.width(), reader.height())) return resetExit();
  reader.ReadTables();
  if (IsIndexedDepth(depth)) std::copy_n(reader.palette(), ColorCount(), palette_.get());

  // Rows are fetched many at a time and decoded from the chunk; a picture
  // cut short keeps the complete rows it gave, and white rows above them.
  const std::size_t stride = reader.stride();
  const std::size_t rowsPerRead = rows::RowsPerTransfer(stride, height_);
  std::unique_ptr<std::uint8_t[]> chunk = AllocateArray<std::uint8_t>(rowsPerRead * stride);
  // Large 16-bit pictures decode each word through a table of all 65,536
  // answers.
  const bool useWordTable = depth == 16 && std::int64_t{width_} * height_ >= kWordTableMinPixels;
  std::unique_ptr<ColorQuad[]> wordTable = useWordTable ? AllocateArray<ColorQuad>(65536) : nullptr;
  if (!chunk || (useWordTable && !wordTable)) return resetExit();
  const BitFields& fields = reader.bitFields();
  if (useWordTable) {
    for (unsigned w = 0; w < 65536; ++w) wordTable[w] = fields.Decode(static_cast<std::uint16_t>(w));
  }

  const ColorQuad* table = palette_.get();
  int j = height_ - 1;
  while (j >= 0) {
    const std::size_t wanted = std::min(rowsPerRead, static_cast<std::size_t>(j) + 1);
    const std::size_t complete = reader.ReadRows(chunk.get(), wanted);
    for (std::size_t r = 0; r < complete; ++r, --j) {
      const std::uint8_t* in = chunk.get() + r * stride;
      ColorQuad* out = Row(j);
      switch (depth) {
        case 32: rows::Expand32(in, out, width_); break;
        case 24: rows::Expand24(in, out, width_); break;
        case 16:
          if (useWordTable) {
            rows::Expand16(in, out, width_, wordTable.get());
          } else {
            for (int i = 0; i < width_; ++i) out[i] = fields.Decode(LoadLittleEndian16(in + 2 * i));
          }
          break;
        case 8: rows::Expand8(in, out, width_, table); break;
        case 4: rows::Expand4(in, out, width_, table); break;
        default: rows::Expand1(in, out, width_, table); break;
      }
    }
    if (complete < wanted) break;
  }
  // Rows 0 .. j were not given: they stay white.
  std::fill_n(Row(0), static_cast<std::size_t>(j + 1) * static_cast<std::size_t>(width_), kWhite);
  return true;
}

bool BitmapImage::DecodeRow32(const std::uint8_t* buffer, int bufferSize, int j) {
  if (std::int64_t{4} * width_ > bufferSize) return false;
  ColorQuad* pixels = &At(0, j);
  for (int i = 0; i < width_; ++i, buffer += 4)
    pixels[i] = ColorQuad{buffer[0], buffer[1], buffer[2], buffer[3]};
  return true;
}

bool BitmapImage::DecodeRow24(const std::uint8_t* buffer, int bufferSize, int j) {
  if (std::int64_t{3} * width_ > bufferSize) return false;
  ColorQuad* pixels = &At(0, j);
  for (int i = 0; i < width_; ++i, buffer += 3) {
    pixels[i].blue = buffer[0];
    pixels[i].green = buffer[1];
    pixels[i].red = buffer[2];
  }
  return true;
}

bool BitmapImage::DecodeRow8(const std::uint8_t* buffer, int bufferSize, int j) {
  if (width_ > bufferSize) return false;
  ColorQuad* pixels = &At(0, j);
  if (const ColorQuad* table = TableFor(8)) {
    for (int i = 0; i < width_; ++i) pixels[i] = table[buffer[i]];
  } else {
    for (int i = 0; i < width_; ++i) pixels[i] = PaletteEntry(buffer[i]);
  }
  return true;
}

bool BitmapImage::DecodeRow4(const std::uint8_t* buffer, int bufferSize, int j) {
  if (width_ > std::int64_t{2} * bufferSize) return false;
  ColorQuad* pixels = &At(0, j);
  const ColorQuad* table = TableFor(4);
  for (int i = 0; i < width_; ++i) {
    const std::uint8_t byte = buffer[i / 2];
    const int index = (i % 2 == 0) ? (byte >> 4) : (byte & 0x0F);
    pixels[i] = table ? table[index] : PaletteEntry(index);
  }
  return true;
}

bool BitmapImage::DecodeRow1(const std::uint8_t* buffer, int bufferSize, int j) {
  if (width_ > std::int64_t{8} * bufferSize) return false;
  ColorQuad* pixels = &At(0, j);
  const ColorQuad* table = TableFor(1);
  for (int i = 0; i < width_; ++i) {
    const int index = (buffer[i / 8] >> (7 - i % 8)) & 1;
    pixels[i] = table ? table[index] : PaletteEntry(index);
  }
  return true;
}

}  // namespace quendral
