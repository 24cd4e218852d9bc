#include "bmp/row_writer.h"

#include <limits>

#include "bmp/row_size.h"
#include "image/bitmap_image.h"
#include "platform/file.h"
#include "platform/runtime.h"

namespace quendral {
namespace {

std::int32_t StoredResolution(std::int32_t pelsPerMeter) {
  return pelsPerMeter == 0 ? 3780 : pelsPerMeter;
}

}  // namespace

BmpFilePlan PlanBmpFile(int width, int height, int depth, std::int32_t xPelsPerMeter,
                        std::int32_t yPelsPerMeter) {
  const double bytesPerPixel = depth * 0.125;
  const double bytesPerRow = Ceiling(bytesPerPixel * width);
  int padding = 4 - static_cast<int>(static_cast<std::int64_t>(bytesPerRow) % 4);
  if (padding == 4) padding = 0;
  const double totalPixelBytes = (padding + bytesPerRow) * height;
  double tableBytes = 0.0;
  if (IsIndexedDepth(depth)) {
    tableBytes = IntegerPower(2, depth) * 4.0;
  } else if (depth == 16) {
    tableBytes = 12.0;
  }
  const double fileBytes = (tableBytes + totalPixelBytes) + 54.0;

  BmpFilePlan plan;
  constexpr double kMaxField = std::numeric_limits<std::uint32_t>::max();
  plan.fits = fileBytes <= kMaxField && totalPixelBytes <= kMaxField;
  if (!plan.fits) return plan;
  plan.stride = static_cast<std::size_t>(RowStride(width, depth));
  plan.file.bfSize = static_cast<std::uint32_t>(fileBytes);
  plan.file.bfReserved1 = 0;
  plan.file.bfReserved2 = 0;
  plan.file.bfOffBits = static_cast<std::uint32_t>(tableBytes + 54.0);
  InfoHeader& info = plan.info;
  info.biSize = 40;
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = static_cast<std::uint16_t>(depth);
  info.biCompression = depth == 16 ? kCompressionBitFields : kCompressionNone;
  info.biSizeImage = static_cast<std::uint32_t>(totalPixelBytes);
  info.biXPelsPerMeter = StoredResolution(xPelsPerMeter);
  info.biYPelsPerMeter = StoredResolution(yPelsPerMeter);
  info.biClrUsed = 0;
  info.biClrImportant = 0;
  return plan;
}

bool BmpRowWriter::WriteHead(const ColorQuad* palette) {
  std::uint8_t headers[kHeadersSize];
  EncodeHeaders(plan_.file, plan_.info, headers);
  if (file_.Write(headers, 1, kHeadersSize) != kHeadersSize) return false;
  const int depth = plan_.info.biBitCount;
  if (IsIndexedDepth(depth)) {
    const std::size_t bytes = 4 * static_cast<std::size_t>(IntegerPower(2, depth));
    return file_.Write(palette, 1, bytes) == bytes;
  }
  if (depth == 16) {
    // The red, green and blue masks as 32-bit little-endian values.
    static const std::uint8_t kMasks[12] = {0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0x00, 0, 0};
    return file_.Write(kMasks, 1, sizeof kMasks) == sizeof kMasks;
  }
  return true;
}

bool BmpRowWriter::WriteRows(const std::uint8_t* rows, std::size_t count) {
  return WriteBytes(rows, count * plan_.stride);
}

bool BmpRowWriter::WriteBytes(const std::uint8_t* bytes, std::size_t count) {
  return file_.Write(bytes, 1, count) == count;
}

}  // namespace quendral
