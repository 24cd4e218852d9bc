#include "bmp/headers.h"

#include <cstring>

#include "platform/file.h"

namespace quendral {
namespace {

std::uint16_t Swap16(std::uint16_t v) { return static_cast<std::uint16_t>((v >> 8) | (v << 8)); }

std::uint32_t Swap32(std::uint32_t v) {
  return (v >> 24) | ((v >> 8) & 0x0000FF00u) | ((v << 8) & 0x00FF0000u) | (v << 24);
}

std::int32_t Swap32(std::int32_t v) {
  return static_cast<std::int32_t>(Swap32(static_cast<std::uint32_t>(v)));
}

// Reads a field of `width` bytes; the bytes that arrive replace the field's
// bytes from the least significant up, which is the file's byte order.
template <typename Unsigned>
bool ReadUnsigned(File& file, Unsigned& value) {
  constexpr std::size_t width = sizeof(Unsigned);
  std::uint8_t bytes[width];
  Unsigned current = value;
  for (std::size_t k = 0; k < width; ++k) bytes[k] = static_cast<std::uint8_t>(current >> (8 * k));
  if (file.AtEnd()) return false;
  // Read byte by byte under one item's rules: a short read stores what came.
  const std::size_t got = file.Read(bytes, 1, width);
  Unsigned result = 0;
  for (std::size_t k = 0; k < width; ++k) result |= static_cast<Unsigned>(Unsigned{bytes[k]} << (8 * k));
  value = result;
  return got == width;
}

}  // namespace

void FileHeader::SwapByteOrder() {
  bfType = Swap16(bfType);
  bfSize = Swap32(bfSize);
  bfReserved1 = Swap16(bfReserved1);
  bfReserved2 = Swap16(bfReserved2);
  bfOffBits = Swap32(bfOffBits);
}

void InfoHeader::SwapByteOrder() {
  biSize = Swap32(biSize);
  biWidth = Swap32(biWidth);
  biHeight = Swap32(biHeight);
  biPlanes = Swap16(biPlanes);
  biBitCount = Swap16(biBitCount);
  biCompression = Swap32(biCompression);
  biSizeImage = Swap32(biSizeImage);
  biXPelsPerMeter = Swap32(biXPelsPerMeter);
  biYPelsPerMeter = Swap32(biYPelsPerMeter);
  biClrUsed = Swap32(biClrUsed);
  biClrImportant = Swap32(biClrImportant);
}

bool ReadExact(void* buffer, std::size_t itemSize, std::size_t count, File& file) {
  if (file.AtEnd()) return false;
  return file.Read(buffer, itemSize, count) >= count;
}

bool ReadField(File& file, std::uint16_t& value) { return ReadUnsigned(file, value); }

bool ReadField(File& file, std::uint32_t& value) { return ReadUnsigned(file, value); }

bool ReadField(File& file, std::int32_t& value) {
  auto bits = static_cast<std::uint32_t>(value);
  const bool ok = ReadUnsigned(file, bits);
  value = static_cast<std::int32_t>(bits);
  return ok;
}

bool ReadFileHeaderFields(File& file, FileHeader& h) {
  bool ok = ReadField(file, h.bfType);
  ok &= ReadField(file, h.bfSize);
  ok &= ReadField(file, h.bfReserved1);
  ok &= ReadField(file, h.bfReserved2);
  ok &= ReadField(file, h.bfOffBits);
  return ok;
}

bool ReadInfoHeaderFields(File& file, InfoHeader& h) {
  bool ok = ReadField(file, h.biSize);
  ok &= ReadField(file, h.biWidth);
  ok &= ReadField(file, h.biHeight);
  ok &= ReadField(file, h.biPlanes);
  ok &= ReadField(file, h.biBitCount);
  ok &= ReadField(file, h.biCompression);
  ok &= ReadField(file, h.biSizeImage);
  ok &= ReadField(file, h.biXPelsPerMeter);
  ok &= ReadField(file, h.biYPelsPerMeter);
  ok &= ReadField(file, h.biClrUsed);
  ok &= ReadField(file, h.biClrImportant);
  return ok;
}

void StoreLittleEndian16(std::uint8_t* out, std::uint16_t value) {
  out[0] = static_cast<std::uint8_t>(value);
  out[1] = static_cast<std::uint8_t>(value >> 8);
}

void StoreLittleEndian32(std::uint8_t* out, std::uint32_t value) {
  out[0] = static_cast<std::uint8_t>(value);
  out[1] = static_cast<std::uint8_t>(value >> 8);
  out[2] = static_cast<std::uint8_t>(value >> 16);
  out[3] = static_cast<std::uint8_t>(value >> 24);
}

void EncodeHeaders(const FileHeader& f, const InfoHeader& i, std::uint8_t out[kHeadersSize]) {
  StoreLittleEndian16(out + 0, f.bfType);
  StoreLittleEndian32(out + 2, f.bfSize);
  StoreLittleEndian16(out + 6, f.bfReserved1);
  StoreLittleEndian16(out + 8, f.bfReserved2);
  StoreLittleEndian32(out + 10, f.bfOffBits);
  StoreLittleEndian32(out + 14, i.biSize);
  StoreLittleEndian32(out + 18, static_cast<std::uint32_t>(i.biWidth));
  StoreLittleEndian32(out + 22, static_cast<std::uint32_t>(i.biHeight));
  StoreLittleEndian16(out + 26, i.biPlanes);
  StoreLittleEndian16(out + 28, i.biBitCount);
  StoreLittleEndian32(out + 30, i.biCompression);
  StoreLittleEndian32(out + 34, i.biSizeImage);
  StoreLittleEndian32(out + 38, static_cast<std::uint32_t>(i.biXPelsPerMeter));
  StoreLittleEndian32(out + 42, static_cast<std::uint32_t>(i.biYPelsPerMeter));
  StoreLittleEndian32(out + 46, i.biClrUsed);
  StoreLittleEndian32(out + 50, i.biClrImportant);
}

bool CheckTypeSizes() {
  return sizeof(FileHeader::bfType) == 2 && sizeof(FileHeader::bfSize) == 4 &&
         sizeof(InfoHeader::biWidth) == 4 && sizeof(InfoHeader::biPlanes) == 2;
}

}  // namespace quendral
