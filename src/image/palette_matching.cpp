// Nearest-colour matching against the colour table, and the grey table.
#include <algorithm>
#include <array>
#include <iterator>

#include "image/bitmap_image.h"
#include "image/palette_matcher.h"
#include "platform/memory.h"

namespace quendral {
namespace {

constexpr int kNoDistance = 999999;  // above the largest distance, 3 x 255^2

// 0, 1, ..., 255: the whole table as a list of candidates.
constexpr std::array<std::uint8_t, 256> kEveryIndex = [] {
  std::array<std::uint8_t, 256> all{};
  for (int k = 0; k < 256; ++k) all[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(k);
  return all;
}();

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
  ++searches_;
  if (count_ >= kCellsMinEntries && searches_ == kCellsAfterSearches) BuildCells();
  if (searches_ == kGridAfterSearches) BuildGrid();
  indices_[slot] = cellStart_ ? ScanCell(colour) : Scan(colour);
}

void PaletteMatcher::ExpectManyColours() {
  if (!grid_) BuildGrid();
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

// A block's colours all have the same first nearest entry when the corners
// of a box around the block do: the points with a given first nearest entry
// are those on the right side of one plane for each other entry (strictly
// for the lower indices), and a box all of whose corners lie on the right
// side of a plane lies there whole. The box of block (r, g, b) runs from
// 4r to 4r + 4 on each side, so neighbouring blocks share corners and the
// corners are the 65 x 65 x 65 points of a lattice. Other blocks keep the
// entries that can be nearest somewhere in them, by the cells' rule.
void PaletteMatcher::BuildGrid() {
  if (!cellStart_) BuildCells();
  if (!cellStart_) return;  // without memory for the cells, none for the grid
  constexpr int kSide = kBlockSide + 1;
  std::unique_ptr<std::uint8_t[]> corners =
      AllocateArray<std::uint8_t>(static_cast<std::size_t>(kSide) * kSide * kSide);
  std::unique_ptr<std::uint32_t[]> grid = AllocateArray<std::uint32_t>(kBlocks);
  if (!corners || !grid) return;
  const auto corner = [&corners](int r, int g, int b) -> std::uint8_t& {
    return corners[(static_cast<std::size_t>(r) * kSide + g) * kSide + b];
  };
  for (int r = 0; r < kSide; ++r)
    for (int g = 0; g < kSide; ++g)
      for (int b = 0; b < kSide; ++b)
        corner(r, g, b) = static_cast<std::uint8_t>(
            NearestToPoint(r << kBlockShift, g << kBlockShift, b << kBlockShift));

  // The candidates of a block that the corners leave open, into `out`
  // (when given); their number.
  constexpr int kBlockSize = 1 << kBlockShift;
  const std::int32_t* channel[3] = {red_, green_, blue_};
  const auto candidates = [&](int block, std::uint8_t* out) {
    const int low[3] = {((block >> 12) & 63) << kBlockShift, ((block >> 6) & 63) << kBlockShift,
                        (block & 63) << kBlockShift};
    const int cell = ((low[0] >> kCellShift) << 6) | ((low[1] >> kCellShift) << 3) |
                     (low[2] >> kCellShift);
    const std::uint32_t first = cellStart_[cell], end = cellStart_[cell + 1];
    std::int32_t nearest[256];
    std::int32_t bound = kNoDistance;
    for (std::uint32_t n = first; n < end; ++n) {
      const int k = cellEntries_[n];
      std::int32_t near = 0, far = 0;
      for (int c = 0; c < 3; ++c) {
        const std::int32_t value = channel[c][k];
        const std::int32_t lo = low[c], hi = low[c] + kBlockSize - 1;
        const std::int32_t gap = value < lo ? lo - value : (value > hi ? value - hi : 0);
        const std::int32_t span = std::max(value - lo, hi - value);
        near += gap * gap;
        far += span * span;
      }
      nearest[n - first] = near;
      bound = std::min(bound, far);
    }
    int found = 0;
    for (std::uint32_t n = first; n < end; ++n) {
      if (nearest[n - first] > bound) continue;
      if (out != nullptr) out[found] = cellEntries_[n];
      ++found;
    }
    return found;
  };

  std::size_t listBytes = 0;
  for (int block = 0; block < kBlocks; ++block) {
    const int r = block >> 12, g = (block >> 6) & 63, b = block & 63;
    const std::uint8_t answer = corner(r, g, b);
    bool single = true;
    for (int k = 1; k < 8 && single; ++k)
      single = corner(r + (k >> 2), g + ((k >> 1) & 1), b + (k & 1)) == answer;
    if (single) {
      grid[block] = answer;
    } else {
      grid[block] = static_cast<std::uint32_t>(256 + listBytes);
      listBytes += 1 + static_cast<std::size_t>(candidates(block, nullptr));
    }
  }
  std::unique_ptr<std::uint8_t[]> lists = AllocateArray<std::uint8_t>(listBytes);
  if (!lists) return;
  for (int block = 0; block < kBlocks; ++block) {
    if (grid[block] < 256) continue;
    std::uint8_t* list = lists.get() + (grid[block] - 256);
    list[0] = static_cast<std::uint8_t>(candidates(block, list + 1) - 1);
  }
  grid_ = std::move(grid);
  gridLists_ = std::move(lists);
}

int PaletteMatcher::NearestToPoint(int red, int green, int blue) const {
  if (red > 255 || green > 255 || blue > 255) {
    // Outside every cell: the whole table.
    return ScanCandidates(kEveryIndex.data(), count_, red, green, blue);
  }
  const int cell = ((red >> kCellShift) << 6) | ((green >> kCellShift) << 3) | (blue >> kCellShift);
  const std::uint32_t first = cellStart_[cell];
  return ScanCandidates(cellEntries_.get() + first, static_cast<int>(cellStart_[cell + 1] - first),
                        red, green, blue);
}

int PaletteMatcher::ScanCandidates(const std::uint8_t* candidates, int count, int red, int green,
                                   int blue) const {
  int best = kNoDistance;
  int result = 0;
  for (int n = 0; n < count; ++n) {
    const int k = candidates[n];
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
  return result;
}

std::uint8_t PaletteMatcher::ScanCell(const ColorQuad& colour) const {
  const int cell =
      ((colour.red >> kCellShift) << 6) | ((colour.green >> kCellShift) << 3) | (colour.blue >> kCellShift);
  const std::uint32_t first = cellStart_[cell];
  return static_cast<std::uint8_t>(ScanCandidates(cellEntries_.get() + first,
                                                  static_cast<int>(cellStart_[cell + 1] - first),
                                                  colour.red, colour.green, colour.blue));
}

std::uint8_t PaletteMatcher::Scan(const ColorQuad& colour) const {
  return static_cast<std::uint8_t>(
      ScanCandidates(kEveryIndex.data(), count_, colour.red, colour.green, colour.blue));
}

}  // namespace quendral
