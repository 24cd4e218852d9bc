#include "bmp/header_parser.h"

#include <limits>

#include "image/bitmap_image.h"
#include "platform/file.h"

namespace quendral {
namespace {

// The 12-byte header of the oldest BMP files holds 16-bit sizes; read with
// the 40-byte layout its fields would be pixel bytes.
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr int kFileHeaderSize = 14;

bool IsAcceptedKind(std::uint32_t compression, int bitCount) {
  if (compression == kCompressionNone) {
    switch (bitCount) {
      case 1: case 4: case 8: case 16: case 24: case 32:
        return true;
      default:
        return false;
    }
  }
  return compression == kCompressionBitFields && bitCount == 16;
}

}  // namespace

void ReadHeaders(File& file, BmpHeaders& h) {
  bool ok = ReadField(file, h.file.bfType);
  if (h.file.bfType != kBmpSignature) {
    h.complete = false;
    return;
  }
  ok &= ReadField(file, h.file.bfSize);
  ok &= ReadField(file, h.file.bfReserved1);
  ok &= ReadField(file, h.file.bfReserved2);
  ok &= ReadField(file, h.file.bfOffBits);
  ok &= ReadInfoHeaderFields(file, h.info);
  h.complete = ok;
}

HeaderVerdict JudgeHeaders(const BmpHeaders& h) {
  if (h.file.bfType != kBmpSignature) return HeaderVerdict::kNotBmp;
  if (!h.complete) return HeaderVerdict::kCutShort;
  const InfoHeader& i = h.info;
  if (i.biSize == kCoreHeaderSize || !IsAcceptedKind(i.biCompression, i.biBitCount))
    return HeaderVerdict::kUnsupportedKind;
  if (i.biWidth <= 0 || i.biHeight <= 0) return HeaderVerdict::kNotPositive;
  // Rows whose bit count leaves 32 bits, and pictures beyond the pixel
  // limit, are refused rather than misread.
  if (std::int64_t{i.biWidth} * i.biBitCount > std::numeric_limits<std::int32_t>::max() ||
      std::int64_t{i.biWidth} * i.biHeight > kMaxPixels)
    return HeaderVerdict::kTooLarge;
  return HeaderVerdict::kAccepted;
}

PixelDataLayout ComputePixelDataLayout(const FileHeader& f, const InfoHeader& i) {
  PixelDataLayout layout;
  const int depth = i.biBitCount;
  const bool indexed = IsIndexedDepth(depth);
  // Tools write paletted files with 108- and 124-byte info headers; their
  // colour table follows the whole header. The 16-bit masks stand at byte
  // 54 in either layout.
  std::uint32_t tableStart = kHeadersSize;
  if (indexed && i.biSize > kInfoHeaderSize &&
      std::uint64_t{kFileHeaderSize} + i.biSize <= f.bfOffBits) {
    layout.headerRest = i.biSize - kInfoHeaderSize;
    tableStart = kFileHeaderSize + i.biSize;
  }
  // What lies between the table's start and the pixels, as a signed count.
  const auto afterHeaders = static_cast<std::int32_t>(f.bfOffBits - tableStart);
  std::int64_t gap = afterHeaders;
  if (indexed) {
    const int tableSize = IntegerPower(2, depth);
    int entries = afterHeaders / 4;
    if (entries > tableSize) entries = tableSize;
    if (entries < 0) entries = 0;
    layout.tableEntries = entries;
    gap -= 4 * tableSize;
  } else if (depth == 16 && i.biCompression == kCompressionBitFields) {
    gap -= 12;
  }
  layout.gap = gap < 0 ? 0 : gap;
  return layout;
}

}  // namespace quendral
