// Deterministic test pictures written as BMP bytes, for the benchmarks and
// the output comparison. Self-contained on purpose: the pictures must come
// out the same whatever state the library under measurement is in, so
// nothing here uses the library's own codec.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quendral::bench {

using Bytes = std::vector<std::uint8_t>;

struct Rgb {
  std::uint8_t red;
  std::uint8_t green;
  std::uint8_t blue;
};

// How a picture is stored.
struct PictureFormat {
  int depth = 24;                   // 1, 4, 8, 16, 24 or 32
  bool bitFields = false;           // 16 bits only: 5-6-5 masks (else 5-5-5, no masks)
  bool standardTable = true;        // 1, 4, 8 bits: the standard table, else an own one
  int tableEntries = -1;            // entries stored in the file; -1 for all of them
  std::uint32_t resolution = 2835;  // pixels per metre, both ways
};

// Photo-like content: smooth gradients and waves plus pseudo-random noise,
// from integer arithmetic only, so that every machine makes the same bytes.
// `seed` varies the noise and the wave phases.
Rgb PhotoPixel(int x, int y, int width, int height, std::uint32_t seed);

// The colour table a paletted picture of `format` carries (2^depth entries).
std::vector<Rgb> ColourTable(const PictureFormat& format);

// A whole BMP file of photo-like content, `width` x `height`, in `format`.
// Paletted pictures hold, per pixel, the table entry nearest to the photo
// colour. The 32-bit alpha byte varies too.
Bytes MakePicture(int width, int height, const PictureFormat& format, std::uint32_t seed);

// Writes `bytes` to `path`; false when that failed.
bool WriteBytes(const std::string& path, const Bytes& bytes);

}  // namespace quendral::bench
