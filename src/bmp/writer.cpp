// Writes a picture as a BMP file at its own depth: uncompressed at 1, 4, 8,
// 24 and 32 bits, 5-6-5 bit fields at 16 bits, rows bottom row first, each
// filled with zero bytes to a multiple of 4.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "bmp/headers.h"
#include "bmp/row_loops.h"
#include "bmp/row_size.h"
#include "image/bitmap_image.h"
#include "image/palette_matcher.h"
#include "platform/memory.h"
#include "platform/output_file.h"
#include "platform/runtime.h"

namespace quendral {
namespace {

struct Layout {
  double totalPixelBytes = 0;
  double tableBytes = 0;
  double fileBytes = 0;
};

// Sizes as the format's writers have always computed them, in double
// precision; every one is a whole number.
Layout ComputeLayout(int width, int height, int depth) {
  const double bytesPerPixel = depth * 0.125;
  const double bytesPerRow = Ceiling(bytesPerPixel * width);
  int padding = 4 - static_cast<int>(static_cast<std::int64_t>(bytesPerRow) % 4);
  if (padding == 4) padding = 0;
  Layout layout;
  layout.totalPixelBytes = (padding + bytesPerRow) * height;
  if (depth == 1 || depth == 4 || depth == 8) {
    layout.tableBytes = IntegerPower(2, depth) * 4.0;
  } else if (depth == 16) {
    layout.tableBytes = 12.0;
  }
  layout.fileBytes = (layout.tableBytes + layout.totalPixelBytes) + 54.0;
  return layout;
}

std::int32_t StoredResolution(std::int32_t pelsPerMeter) {
  return pelsPerMeter == 0 ? 3780 : pelsPerMeter;
}

}  // namespace

bool BitmapImage::Save(const char* path) { return SaveWithStatus(path).ok(); }

SaveStatus BitmapImage::SaveWithStatus(const char* path) {
  SaveStatus status;
  if (!CheckTypeSizes()) {
    status.outcome = SaveStatus::Outcome::kWriteFailed;
    return status;
  }
  const Layout layout = ComputeLayout(width_, height_, depth_);
  constexpr double kMaxField = std::numeric_limits<std::uint32_t>::max();
  if (layout.fileBytes > kMaxField || layout.totalPixelBytes > kMaxField) {
    status.outcome = SaveStatus::Outcome::kTooLarge;
    return status;
  }
  const bool indexed = depth_ == 1 || depth_ == 4 || depth_ == 8;
  if (indexed && !EnsurePalette()) {
    status.outcome = SaveStatus::Outcome::kWriteFailed;
    status.systemError = ENOMEM;
    return status;
  }

  OutputFile output = OutputFile::Begin(path, status.systemError);
  if (!output.IsOpen()) {
    status.outcome = SaveStatus::Outcome::kOpenFailed;
    return status;
  }
  File& file = output.file();
  auto failed = [&status] {
    status.outcome = SaveStatus::Outcome::kWriteFailed;
    if (status.systemError == 0) status.systemError = errno != 0 ? errno : EIO;
    return status;
  };

  FileHeader fileHeader;
  fileHeader.bfSize = static_cast<std::uint32_t>(layout.fileBytes);
  fileHeader.bfReserved1 = 0;
  fileHeader.bfReserved2 = 0;
  fileHeader.bfOffBits = static_cast<std::uint32_t>(layout.tableBytes + 54.0);
  InfoHeader info;
  info.biSize = 40;
  info.biWidth = width_;
  info.biHeight = height_;
  info.biPlanes = 1;
  info.biBitCount = static_cast<std::uint16_t>(depth_);
  info.biCompression = depth_ == 16 ? kCompressionBitFields : kCompressionNone;
  info.biSizeImage = static_cast<std::uint32_t>(layout.totalPixelBytes);
  info.biXPelsPerMeter = StoredResolution(xPelsPerMeter_);
  info.biYPelsPerMeter = StoredResolution(yPelsPerMeter_);
  info.biClrUsed = 0;
  info.biClrImportant = 0;
  std::uint8_t headers[kHeadersSize];
  EncodeHeaders(fileHeader, info, headers);
  errno = 0;
  if (file.Write(headers, 1, kHeadersSize) != kHeadersSize) return failed();

  if (indexed) {
    // Entries are written as stored: blue, green, red, alpha.
    const std::size_t bytes = 4 * static_cast<std::size_t>(IntegerPower(2, depth_));
    if (file.Write(palette_.get(), 1, bytes) != bytes) return failed();
  }

  if (depth_ == 16) {
    // The red, green and blue masks as 32-bit little-endian values.
    static const std::uint8_t kMasks[12] = {0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0x00, 0, 0};
    if (file.Write(kMasks, 1, sizeof kMasks) != sizeof kMasks) return failed();
  }

  // Rows are encoded many at a time into one chunk, written with one call.
  // The chunk is cleared once: every encoder rewrites its data bytes for
  // every row and never touches the padding behind them.
  const std::size_t stride = static_cast<std::size_t>(
      depth_ == 16 ? 2 * std::int64_t{width_} + (4 - (2 * std::int64_t{width_}) % 4) % 4
                   : RowStride(width_, depth_));
  const std::size_t rowsPerWrite = rows::RowsPerTransfer(stride, height_);
  std::unique_ptr<std::uint8_t[]> chunk = AllocateArray<std::uint8_t>(rowsPerWrite * stride);
  if (!chunk) return failed();
  std::memset(chunk.get(), 0, rowsPerWrite * stride);
  const int size = static_cast<int>(stride);
  PaletteMatcher matcher(*this);
  int j = height_ - 1;
  while (j >= 0) {
    const std::size_t count = std::min(rowsPerWrite, static_cast<std::size_t>(j) + 1);
    for (std::size_t r = 0; r < count; ++r, --j) {
      std::uint8_t* out = chunk.get() + r * stride;
      switch (depth_) {
        case 32: rows::Pack32(Row(j), out, width_); break;
        case 24: rows::Pack24(Row(j), out, width_); break;
        case 16: rows::Pack565(Row(j), out, width_); break;
        default:
          if (!EncodeIndexedRow(out, size, j, depth_, matcher)) return failed();
          break;
      }
    }
    if (file.Write(chunk.get(), 1, count * stride) != count * stride) return failed();
  }

  if (!output.Commit(status.systemError)) {
    status.outcome = SaveStatus::Outcome::kWriteFailed;
    return status;
  }
  return status;
}

bool BitmapImage::EncodeRow32(std::uint8_t* buffer, int bufferSize, int row) const {
  if (std::int64_t{4} * width_ > bufferSize) return false;
  rows::Pack32(&At(0, row), buffer, width_);
  return true;
}

bool BitmapImage::EncodeRow24(std::uint8_t* buffer, int bufferSize, int row) const {
  if (std::int64_t{3} * width_ > bufferSize) return false;
  rows::Pack24(&At(0, row), buffer, width_);
  return true;
}

bool BitmapImage::EncodeRow8(std::uint8_t* buffer, int bufferSize, int row) const {
  PaletteMatcher matcher(*this);
  return EncodeIndexedRow(buffer, bufferSize, row, 8, matcher);
}

bool BitmapImage::EncodeRow4(std::uint8_t* buffer, int bufferSize, int row) const {
  PaletteMatcher matcher(*this);
  return EncodeIndexedRow(buffer, bufferSize, row, 4, matcher);
}

bool BitmapImage::EncodeRow1(std::uint8_t* buffer, int bufferSize, int row) const {
  PaletteMatcher matcher(*this);
  return EncodeIndexedRow(buffer, bufferSize, row, 1, matcher);
}

// Pixels are packed most significant bits first: byte k holds the low 8
// bits of the sum of index(i) x 2^(depth x (pixels per byte - 1 - place of
// pixel i in the byte)) over its pixels, so the first pixel of a byte weighs
// 16 (4 bits) or 128 (1 bit); bits past the last pixel are 0. The loops
// below do that for the whole bytes of a row, then for the part byte.
bool BitmapImage::EncodeIndexedRow(std::uint8_t* buffer, int bufferSize, int row, int depth,
                                   PaletteMatcher& matcher) const {
  const int pixelsPerByte = 8 / depth;
  if (width_ > std::int64_t{pixelsPerByte} * bufferSize) return false;
  const ColorQuad* pixels = &At(0, row);
  if (depth == 8) {
    for (int i = 0; i < width_; ++i) buffer[i] = matcher.Match(pixels[i]);
    return true;
  }
  const int wholeBytes = width_ / pixelsPerByte;
  if (depth == 4) {
    for (int k = 0; k < wholeBytes; ++k, pixels += 2)
      buffer[k] =
          static_cast<std::uint8_t>(16u * matcher.Match(pixels[0]) + matcher.Match(pixels[1]));
  } else {
    for (int k = 0; k < wholeBytes; ++k, pixels += 8) {
      unsigned sum = 0;
      for (int b = 0; b < 8; ++b) sum += static_cast<unsigned>(matcher.Match(pixels[b])) << (7 - b);
      buffer[k] = static_cast<std::uint8_t>(sum);
    }
  }
  const int rest = width_ - wholeBytes * pixelsPerByte;
  if (rest > 0) {
    unsigned sum = 0;
    for (int b = 0; b < rest; ++b)
      sum += static_cast<unsigned>(matcher.Match(pixels[b])) << (depth * (pixelsPerByte - 1 - b));
    buffer[wholeBytes] = static_cast<std::uint8_t>(sum);
  }
  return true;
}

}  // namespace quendral
