// Nearest-colour matching against the colour table, and the grey table.
#include <algorithm>
#include <iterator>

#include "image/bitmap_image.h"
#include "image/palette_matcher.h"
#include "platform/memory.h"

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
  const bool indexed = image.Palette() != nullptr && IsIndexedDepth(image.Depth());
  if (indexed) {
    Take(image.Palette(), image.ColorCount());
  } else {
    Take(&kWhite, 1);
  }
}

PaletteMatcher::PaletteMatcher(const ColorQuad* table, int count) { Take(table, count); }

void PaletteMatcher::Take(const ColorQuad* table, int count) {
  count_ = count;
  for (int k = 0; k < count_; ++k) {
    red_[k] = table[k].red;
    green_[k] = table[k].green;
    blue_[k] = table[k].blue;
  }
  std::fill(std::begin(keys_), std::end(keys_), kEmpty);
}

void PaletteMatcher::Remember(std::uint32_t slot, std::uint32_t key, const ColorQuad& colour) {
  keys_[slot] = key;
  if (count_ >= kCellsMinEntries && ++searches_ == kCellsAfterSearches) BuildCells();
  indices_[slot] = cellStart_ ? ScanCell(colour) : Scan(colour);
}

// For each cell, an entry is a candidate unless the nearest point of the
// cell to it is farther from it than the farthest point of the cell is from
// some other entry. Such an entry is strictly farther than that other entry
// from every colour in the cell, so it can neither be nearest nor tie for
// nearest; the first nearest among the candidates, in index order, is
// therefore the first nearest of the whole table.
void PaletteMatcher::BuildCells() {
  std::unique_ptr<std::uint32_t[]> starts = AllocateArray<std::uint32_t>(kCells + 1);
  std::unique_ptr<std::uint8_t[]> entries = AllocateArray<std::uint8_t>(
      static_cast<std::size_t>(kCells) * static_cast<std::size_t>(count_));
  if (!starts || !entries) return;  // the whole table is searched, as before
  const std::int32_t* channel[3] = {red_, green_, blue_};
  std::int32_t nearest[256];
  std::uint32_t used = 0;
  for (int cell = 0; cell < kCells; ++cell) {
    // The lowest red, green and blue of the cell; each spans 32 levels.
    const int low[3] = {(cell >> 6) << kCellShift, ((cell >> 3) & 7) << kCellShift,
                        (cell & 7) << kCellShift};
    std::int32_t bound = kNoDistance;
    for (int k = 0; k < count_; ++k) {
      std::int32_t near = 0, far = 0;
      for (int c = 0; c < 3; ++c) {
        const std::int32_t value = channel[c][k];
        const std::int32_t lo = low[c], hi = low[c] + (1 << kCellShift) - 1;
        const std::int32_t gap = value < lo ? lo - value : (value > hi ? value - hi : 0);
        const std::int32_t span = std::max(value - lo, hi - value);
        near += gap * gap;
        far += span * span;
      }
      nearest[k] = near;
      bound = std::min(bound, far);
    }
    starts[cell] = used;
    for (int k = 0; k < count_; ++k)
      if (nearest[k] <= bound) entries[used++] = static_cast<std::uint8_t>(k);
  }
  starts[kCells] = used;
  cellStart_ = std::move(starts);
  cellEntries_ = std::move(entries);
}

std::uint8_t PaletteMatcher::ScanCell(const ColorQuad& colour) const {
  const int red = colour.red;
  const int green = colour.green;
  const int blue = colour.blue;
  const int cell = ((red >> kCellShift) << 6) | ((green >> kCellShift) << 3) | (blue >> kCellShift);
  int best = kNoDistance;
  int result = 0;
  for (std::uint32_t n = cellStart_[cell]; n < cellStart_[cell + 1]; ++n) {
    const int k = cellEntries_[n];
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
