// Nearest colour-table entry for many pixels at a time.
#pragma once

#include <cstdint>

#include "image/color_quad.h"

namespace quendral {

class BitmapImage;

// Gives exactly what BitmapImage::NearestPaletteIndex gives: the entry with
// the smallest squared RGB distance, the lowest index among equals. Answers
// are remembered per colour, so pictures with few distinct colours (every
// picture loaded from a paletted file) cost one lookup a pixel. The colour
// table must not change while a matcher is in use.
class PaletteMatcher {
 public:
  explicit PaletteMatcher(const BitmapImage& image);

  std::uint8_t Match(const ColorQuad& colour) {
    const std::uint32_t key = Key(colour);
    const std::uint32_t slot = (key * 2654435761u) >> (32 - kCacheBits);
    if (keys_[slot] != key) {
      keys_[slot] = key;
      indices_[slot] = Scan(colour);
    }
    return indices_[slot];
  }

  // The plain search over the whole table, without the memory of answers.
  std::uint8_t Scan(const ColorQuad& colour) const;

 private:
  static constexpr int kCacheBits = 12;
  static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;  // no colour has this key

  static std::uint32_t Key(const ColorQuad& c) {
    return (std::uint32_t{c.red} << 16) | (std::uint32_t{c.green} << 8) | c.blue;
  }

  int count_ = 0;
  std::int32_t red_[256];
  std::int32_t green_[256];
  std::int32_t blue_[256];
  std::uint32_t keys_[1u << kCacheBits];
  std::uint8_t indices_[1u << kCacheBits];
};

}  // namespace quendral
