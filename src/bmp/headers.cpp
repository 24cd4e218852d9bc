#include "bmp/headers.h"

#include <cstring>

#include "platform/file.h"

namespace quendral {
namespace {

std::uint16_t SwapBytes(std::uint16_t v) { return static_cast<std::uint16_t>((v >> 8) | (v << 8)); }

std::uint32_t SwapBytes(std::uint32_t v) {
  return (v >> 24) | ((v >> 8) & 0x0000FF00u) | ((v << 8) & 0x00FF0000u) | (v << 24);
}

std::int32_t SwapBytes(std::int32_t v) {
  return static_cast<std::int32_t>(SwapBytes(static_cast<std::uint32_t>(v)));
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
  ForEachFileHeaderField(*this, [](const char*, auto& field) { field = SwapBytes(field); });
}

void InfoHeader::SwapByteOrder() {
  ForEachInfoHeaderField(*this, [](const char*, auto& field) { field = SwapBytes(field); });
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

// Every field is read, even after one failed.
bool ReadFileHeaderFields(File& file, FileHeader& h) {
  bool ok = true;
  ForEachFileHeaderField(h, [&](const char*, auto& field) { ok &= ReadField(file, field); });
  return ok;
}

bool ReadInfoHeaderFields(File& file, InfoHeader& h) {
  bool ok = true;
  ForEachInfoHeaderField(h, [&](const char*, auto& field) { ok &= ReadField(file, field); });
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
  std::uint8_t* at = out;
  auto store = [&at](const char*, auto field) {
    if constexpr (sizeof field == 2) {
      StoreLittleEndian16(at, static_cast<std::uint16_t>(field));
    } else {
      StoreLittleEndian32(at, static_cast<std::uint32_t>(field));
    }
    at += sizeof field;
  };
  ForEachFileHeaderField(f, store);
  ForEachInfoHeaderField(i, store);
}

bool CheckTypeSizes() {
  return sizeof(FileHeader::bfType) == 2 && sizeof(FileHeader::bfSize) == 4 &&
         sizeof(InfoHeader::biWidth) == 4 && sizeof(InfoHeader::biPlanes) == 2;
}

}  // namespace quendral
