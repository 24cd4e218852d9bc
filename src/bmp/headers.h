// The two fixed headers at the start of every BMP file, and their transfer
// to and from the file one field at a time, little-endian, whatever the host.
#pragma once

#include <cstdint>

namespace quendral {

class File;

inline constexpr std::uint16_t kBmpSignature = 0x4D42;  // "BM" on disk
inline constexpr int kHeadersSize = 54;                 // 14 + 40 bytes

struct FileHeader {
  std::uint16_t bfType = kBmpSignature;
  std::uint32_t bfSize = 0;
  std::uint16_t bfReserved1 = 0;
  std::uint16_t bfReserved2 = 0;
  std::uint32_t bfOffBits = 0;

  void SwapByteOrder();
  void Display() const {}
};

struct InfoHeader {
  std::uint32_t biSize = 0;
  std::int32_t biWidth = 0;
  std::int32_t biHeight = 0;
  std::uint16_t biPlanes = 1;
  std::uint16_t biBitCount = 0;
  std::uint32_t biCompression = 0;
  std::uint32_t biSizeImage = 0;
  std::int32_t biXPelsPerMeter = 3780;
  std::int32_t biYPelsPerMeter = 3780;
  std::uint32_t biClrUsed = 0;
  std::uint32_t biClrImportant = 0;

  void SwapByteOrder();
  void Display() const {}
};

// The sixteen fields in file order, each passed with its name to
// `visit(name, field)`: the one list that reading, writing, byte swapping
// and the command's listing all walk. `Header` is FileHeader or InfoHeader,
// const or not.
template <typename Header, typename Visit>
void ForEachFileHeaderField(Header& h, Visit&& visit) {
  visit("bfType", h.bfType);
  visit("bfSize", h.bfSize);
  visit("bfReserved1", h.bfReserved1);
  visit("bfReserved2", h.bfReserved2);
  visit("bfOffBits", h.bfOffBits);
}
template <typename Header, typename Visit>
void ForEachInfoHeaderField(Header& h, Visit&& visit) {
  visit("biSize", h.biSize);
  visit("biWidth", h.biWidth);
  visit("biHeight", h.biHeight);
  visit("biPlanes", h.biPlanes);
  visit("biBitCount", h.biBitCount);
  visit("biCompression", h.biCompression);
  visit("biSizeImage", h.biSizeImage);
  visit("biXPelsPerMeter", h.biXPelsPerMeter);
  visit("biYPelsPerMeter", h.biYPelsPerMeter);
  visit("biClrUsed", h.biClrUsed);
  visit("biClrImportant", h.biClrImportant);
}

inline constexpr std::uint32_t kCompressionNone = 0;
inline constexpr std::uint32_t kCompressionBitFields = 3;

// The guarded read: false at once when the file has already run into its
// end, else true when at least `count` items of `itemSize` bytes arrived.
// Bytes of an incomplete item may have been stored.
bool ReadExact(void* buffer, std::size_t itemSize, std::size_t count, File& file);

// Reads one little-endian field of its own width into `value`. The value
// changes only by the bytes that arrived, in file order, as a read into the
// field's memory on a little-endian host would change it; the result is
// ReadExact's.
bool ReadField(File& file, std::uint16_t& value);
bool ReadField(File& file, std::uint32_t& value);
bool ReadField(File& file, std::int32_t& value);

// Reads the sixteen header fields in file order, each with its own read,
// every read made even after one failed. True when all sixteen succeeded.
bool ReadFileHeaderFields(File& file, FileHeader& header);
bool ReadInfoHeaderFields(File& file, InfoHeader& header);

// Serialises the headers into their 54 on-disk bytes.
void EncodeHeaders(const FileHeader& file, const InfoHeader& info, std::uint8_t out[kHeadersSize]);

void StoreLittleEndian16(std::uint8_t* out, std::uint16_t value);
void StoreLittleEndian32(std::uint8_t* out, std::uint32_t value);
inline std::uint16_t LoadLittleEndian16(const std::uint8_t* in) {
  return static_cast<std::uint16_t>(in[0] | (in[1] << 8));
}
inline std::uint32_t LoadLittleEndian32(const std::uint8_t* in) {
  return std::uint32_t{in[0]} | (std::uint32_t{in[1]} << 8) | (std::uint32_t{in[2]} << 16) |
         (std::uint32_t{in[3]} << 24);
}

// The codec's self-check of its field widths; true in every build.
bool CheckTypeSizes();

}  // namespace quendral
