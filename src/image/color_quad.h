// One pixel or colour-table entry: blue, green, red, alpha, as in a BMP file.
#pragma once

#include <cstdint>

namespace quendral {

// A plain aggregate without member initialisers, so that large pixel arrays
// are not cleared before their first fill; write `ColorQuad c{}` for zero.
struct ColorQuad {
  std::uint8_t blue;
  std::uint8_t green;
  std::uint8_t red;
  std::uint8_t alpha;
};

static_assert(sizeof(ColorQuad) == 4, "a ColorQuad is exactly four bytes");

inline constexpr ColorQuad kWhite{255, 255, 255, 0};

inline bool operator==(const ColorQuad& a, const ColorQuad& b) {
  return a.blue == b.blue && a.green == b.green && a.red == b.red && a.alpha == b.alpha;
}
inline bool operator!=(const ColorQuad& a, const ColorQuad& b) { return !(a == b); }

}  // namespace quendral
