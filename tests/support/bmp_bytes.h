// Builds BMP files byte by byte for tests, independently of the codec, so
// that tests can state exactly what stands in a file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/color_quad.h"

namespace quendral::test {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& out, std::uint32_t value);
void Put32(Bytes& out, std::uint32_t value);

// Header fields of a file to build; every field can be set to anything.
struct BmpFields {
  std::uint16_t bfType = 0x4D42;
  std::uint32_t bfSize = 0;  // 0: the real file size
  std::uint16_t bfReserved1 = 0;
  std::uint16_t bfReserved2 = 0;
  std::int64_t bfOffBits = -1;  // -1: right after headers, masks and table
  std::uint32_t biSize = 40;
  std::int32_t biWidth = 1;
  std::int32_t biHeight = 1;
  std::uint16_t biPlanes = 1;
  std::uint16_t biBitCount = 24;
  std::uint32_t biCompression = 0;
  std::uint32_t biSizeImage = 0;
  std::int32_t biXPelsPerMeter = 2835;
  std::int32_t biYPelsPerMeter = 2835;
  std::uint32_t biClrUsed = 0;
  std::uint32_t biClrImportant = 0;
};

// The 54 header bytes for `fields`, with bfSize and bfOffBits taken as given
// (a negative bfOffBits gives 54).
Bytes HeaderBytes(const BmpFields& fields);

// A whole file: headers, then `masks` (three 32-bit values, written when not
// empty), then `table` entries (blue, green, red, alpha), then `pixelData`
// as given. bfSize 0 and bfOffBits -1 are filled in from the real layout.
Bytes BuildBmp(BmpFields fields, const std::vector<std::uint32_t>& masks,
               const std::vector<ColorQuad>& table, const Bytes& pixelData);

// Bytes of one stored row length: width x depth bits rounded up to 4 bytes.
std::size_t StoredRowBytes(int width, int depth);

// A deterministic pseudo-random generator for test content.
class TestRandom {
 public:
  explicit TestRandom(std::uint32_t seed) : state_(seed * 2654435761u + 1) {}
  std::uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  std::uint8_t Byte() { return static_cast<std::uint8_t>(Next() >> 24); }

 private:
  std::uint32_t state_;
};

void WriteFileBytes(const std::string& path, const Bytes& bytes);
Bytes ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);

}  // namespace quendral::test
