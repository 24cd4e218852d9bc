// Writes a picture as a BMP file at its own depth: uncompressed at 1, 4, 8,
// 24 and 32 bits, 5-6-5 bit fields at 16 bits, rows bottom row first, each
// filled with zero bytes to a multiple of 4.
#include <cerrno>
#include <cstring>
#include <limits>

#include "bmp/headers.h"
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

std::uint16_t PackFiveSixFive(const ColorQuad& p) {
  return static_cast<std::uint16_t>(((p.red >> 3) << 11) | ((p.green >> 2) << 5) | (p.blue >> 3));
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
    const std::size_t padding = (4 - (2 * static_cast<std::size_t>(width_)) % 4) % 4;
    const std::size_t rowBytes = 2 * static_cast<std::size_t>(width_) + padding;
    std::unique_ptr<std::uint8_t[]> row = AllocateArray<std::uint8_t>(rowBytes);
    if (!row) return failed();
    std::memset(row.get(), 0, rowBytes);
    for (int j = height_ - 1; j >= 0; --j) {
      const ColorQuad* pixels = Row(j);
      for (int i = 0; i < width_; ++i) StoreLittleEndian16(row.get() + 2 * i, PackFiveSixFive(pixels[i]));
      if (file.Write(row.get(), 1, rowBytes) != rowBytes) return failed();
    }
  } else {
    const std::int64_t stride = RowStride(width_, depth_);
    std::unique_ptr<std::uint8_t[]> row = AllocateArray<std::uint8_t>(static_cast<std::size_t>(stride));
    if (!row) return failed();
    // Cleared once: every encoder rewrites its data bytes for every row and
    // never touches the padding behind them.
    std::memset(row.get(), 0, static_cast<std::size_t>(stride));
    const int size = static_cast<int>(stride);
    PaletteMatcher matcher(*this);
    for (int j = height_ - 1; j >= 0; --j) {
      bool encoded = false;
      switch (depth_) {
        case 32: encoded = EncodeRow32(row.get(), size, j); break;
        case 24: encoded = EncodeRow24(row.get(), size, j); break;
        default: encoded = EncodeIndexedRow(row.get(), size, j, depth_, matcher); break;
      }
      if (!encoded) return failed();
      if (file.Write(row.get(), 1, static_cast<std::size_t>(stride)) != static_cast<std::size_t>(stride))
        return failed();
    }
  }

  if (!output.Commit(status.systemError)) {
    status.outcome = SaveStatus::Outcome::kWriteFailed;
    return status;
  }
  return status;
}

bool BitmapImage::EncodeRow32(std::uint8_t* buffer, int bufferSize, int row) const {
  if (std::int64_t{4} * width_ > bufferSize) return false;
  const ColorQuad* pixels = Row(row);
  for (int i = 0; i < width_; ++i, buffer += 4) {
    buffer[0] = pixels[i].blue;
    buffer[1] = pixels[i].green;
    buffer[2] = pixels[i].red;
    buffer[3] = pixels[i].alpha;
  }
  return true;
}

bool BitmapImage::EncodeRow24(std::uint8_t* buffer, int bufferSize, int row) const {
  if (std::int64_t{3} * width_ > bufferSize) return false;
  const ColorQuad* pixels = Row(row);
  for (int i = 0; i < width_; ++i, buffer += 3) {
    buffer[0] = pixels[i].blue;
    buffer[1] = pixels[i].green;
    buffer[2] = pixels[i].red;
  }
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

// Pixels are packed most significant bits first: index(i) of a byte's first
// pixel weighs 16 (4 bits) or 128 (1 bit); bits past the last pixel are 0.
bool BitmapImage::EncodeIndexedRow(std::uint8_t* buffer, int bufferSize, int row, int depth,
                                   PaletteMatcher& matcher) const {
  const int pixelsPerByte = 8 / depth;
  if (width_ > std::int64_t{pixelsPerByte} * bufferSize) return false;
  const ColorQuad* pixels = Row(row);
  if (depth == 8) {
    for (int i = 0; i < width_; ++i) buffer[i] = matcher.Match(pixels[i]);
    return true;
  }
  const int bytes = (width_ + pixelsPerByte - 1) / pixelsPerByte;
  for (int k = 0; k < bytes; ++k) {
    unsigned sum = 0;
    const int first = k * pixelsPerByte;
    for (int b = 0; b < pixelsPerByte && first + b < width_; ++b)
      sum += static_cast<unsigned>(matcher.Match(pixels[first + b])) << (depth * (pixelsPerByte - 1 - b));
    buffer[k] = static_cast<std::uint8_t>(sum);
  }
  return true;
}

}  // namespace quendral
