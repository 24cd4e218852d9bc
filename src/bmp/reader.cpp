// Reads uncompressed BMP files (1, 4, 8, 16, 24, 32 bits per pixel) and
// 16-bit bit-field files, rows stored bottom row first.
#include <algorithm>
#include <cstdint>

#include "bmp/headers.h"
#include "bmp/row_decoder.h"
#include "bmp/row_reader.h"
#include "bmp/row_loops.h"
#include "image/bitmap_image.h"
#include "platform/file.h"
#include "platform/memory.h"

namespace quendral {

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
  StoredRowDecoder decoder(reader);
  if (!chunk || !decoder.Prepare(std::int64_t{width_} * height_)) return resetExit();

  int j = height_ - 1;
  while (j >= 0) {
    const std::size_t wanted = std::min(rowsPerRead, static_cast<std::size_t>(j) + 1);
    const std::size_t complete = reader.ReadRows(chunk.get(), wanted);
    for (std::size_t r = 0; r < complete; ++r, --j) decoder.Decode(chunk.get() + r * stride, Row(j));
    if (complete < wanted) break;
  }
  // Rows 0 .. j were not given: they stay white.
  std::fill_n(Row(0), static_cast<std::size_t>(j + 1) * static_cast<std::size_t>(width_), kWhite);
  return true;
}

}  // namespace quendral
