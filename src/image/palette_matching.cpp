// Nearest-colour matching against the colour table, and the grey table.
#include <algorithm>
#include <iterator>

#include "image/bitmap_image.h"
#include "image/palette_matcher.h"

namespace quendral {
namespace {

constexpr int kNoDistance = 999999;  // above the largest distance, 3 x 255^2

int SquaredDistance(const ColorQuad& entry, const ColorQuad& colour) {
  const int red = entry.red - colour.red;
  const int green = entry.green - colour.green;
  const int blue = entry.blue - colour.blue;
  return red * red + green * green + blue * blue;
}

}  // namespace

std::uint8_t BitmapImage::NearestPaletteIndex(const ColorQuad& colour) const {
  const int count = ColorCount();
  int best = kNoDistance;
  std::uint8_t result = 0;
  for (int k = 0; k < count; ++k) {
    const int d = SquaredDistance(PaletteEntry(k), colour);
    if (d < best) {
      best = d;
      result = static_cast<std::uint8_t>(k);
    }
    if (best == 0) break;
  }
  return result;
}

bool BitmapImage::FillGrayPalette() {
  if (depth_ != 1 && depth_ != 4 && depth_ != 8) return false;
  const int count = ColorCount();
  const int step = depth_ == 1 ? 255 : 255 / (count - 1);
  for (int k = 0; k < count; ++k) {
    const auto v = static_cast<std::uint8_t>(k * step);
    SetPaletteEntry(k, ColorQuad{v, v, v, 0});
  }
  return true;
}

PaletteMatcher::PaletteMatcher(const BitmapImage& image) {
  // Without a table every candidate is white, so one white entry gives the
  // same answers as scanning them all (index 0 throughout).
  const bool indexed = image.Palette() != nullptr &&
                       (image.Depth() == 1 || image.Depth() == 4 || image.Depth() == 8);
  count_ = indexed ? image.ColorCount() : 1;
  for (int k = 0; k < count_; ++k) {
    const ColorQuad entry = image.PaletteEntry(k);
    red_[k] = entry.red;
    green_[k] = entry.green;
    blue_[k] = entry.blue;
  }
  std::fill(std::begin(keys_), std::end(keys_), kEmpty);
}

std::uint8_t PaletteMatcher::Scan(const ColorQuad& colour) const {
  const int red = colour.red;
  const int green = colour.green;
  const int blue = colour.blue;
  int best = kNoDistance;
  int result = 0;
  for (int k = 0; k < count_; ++k) {
    const int dr = red_[k] - red;
    const int dg = green_[k] - green;
    const int db = blue_[k] - blue;
    const int d = dr * dr + dg * dg + db * db;
    if (d < best) {
      best = d;
      result = k;
      if (d == 0) break;
    }
  }
  return static_cast<std::uint8_t>(result);
}

}  // namespace quendral
