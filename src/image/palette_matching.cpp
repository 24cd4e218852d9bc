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
  greyTable_ = TakeGreyTable();
}

// A grey entry v is at distance 3v^2 - 2v(red + green + blue) plus the
// colour's own squared length from a colour, so among greys alone the
// order of the distances, ties included, depends on the sum s alone: any
// colour with that sum has the same first nearest entry. That distance
// falls as v nears s / 3 from either side, so the nearest is the nearest
// level the table has at or below s / 3 or the one at or above it, and
// among entries of one level the first.
bool PaletteMatcher::TakeGreyTable() {
  int firstOf[256];
  std::fill(std::begin(firstOf), std::end(firstOf), -1);
  for (int k = 0; k < count_; ++k) {
    if (red_[k] != green_[k] || green_[k] != blue_[k]) return false;
    if (firstOf[red_[k]] < 0) firstOf[red_[k]] = k;
  }
  // The nearest level the table has at or below, and at or above, each
  // level; -1 and 256 where there is none.
  int below[256], above[256];
  for (int v = 0, last = -1; v < 256; ++v) below[v] = last = firstOf[v] >= 0 ? v : last;
  for (int v = 255, next = 256; v >= 0; --v) above[v] = next = firstOf[v] >= 0 ? v : next;
  for (int sum = 0; sum <= 3 * 255; ++sum) {
    const int low = below[sum / 3];
    const int high = above[(sum + 2) / 3];
    int answer;
    if (low < 0) {
      answer = firstOf[high];
    } else if (high > 255) {
      answer = firstOf[low];
    } else {
      const int lowDistance = 3 * low * low - 2 * low * sum;
      const int highDistance = 3 * high * high - 2 * high * sum;
      answer = lowDistance < highDistance   ? firstOf[low]
               : highDistance < lowDistance ? firstOf[high]
                                            : std::min(firstOf[low], firstOf[high]);
    }
    bySum_[sum] = static_cast<std::uint8_t>(answer);
  }
  return true;
}

void PaletteMatcher::Remember(std::uint32_t slot, std::uint32_t key, const ColorQuad& colour) {
  keys_[slot] = key;
  ++searches_;
  if (count_ >= kCellsMinEntries && searches_ == kCellsAfterSearches && !cellStart_) BuildCells();
  if (searches_ == kGridAfterSearches && !gridTried_) BuildGrid();
  indices_[slot] = cellStart_ ? ScanCell(colour) : Scan(colour);
}

void PaletteMatcher::MatchRun(const ColorQuad* in, std::uint8_t* out, int count) {
  if (greyTable_) {
    for (int i = 0; i < count; ++i) out[i] = bySum_[in[i].red + in[i].green + in[i].blue];
  } else if (blockCodes_) {
    const BlockTable blocks = Blocks();
    for (int i = 0; i < count; ++i) out[i] = blocks.Match(in[i]);
  } else {
    for (int i = 0; i < count; ++i) out[i] = Match(in[i]);
  }
}

void PaletteMatcher::ExpectManyColours() {
  if (!greyTable_ && !gridTried_) BuildGrid();
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
    constexpr int kMask = (1 << kCellBits) - 1;
    const int low[3] = {(cell >> (2 * kCellBits)) << kCellShift,
                        ((cell >> kCellBits) & kMask) << kCellShift, (cell & kMask) << kCellShift};
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
// entries that can be nearest somewhere in them: those the cells' rule
// keeps, less any that one of the corners' answers beats on the whole
// block (by the same planes).
void PaletteMatcher::BuildGrid() {
  gridTried_ = true;
  if (!cellStart_) BuildCells();
  if (!cellStart_) return;  // without memory for the cells, none for the grid
  constexpr int kSide = kBlockSide + 1;
  std::unique_ptr<std::uint8_t[]> corners =
      AllocateArray<std::uint8_t>(static_cast<std::size_t>(kSide) * kSide * kSide);
  std::unique_ptr<std::uint16_t[]> codes = AllocateArray<std::uint16_t>(kBlocks);
  if (!corners || !codes) return;
  const auto corner = [&corners](int r, int g, int b) -> std::uint8_t& {
    return corners[(static_cast<std::size_t>(r) * kSide + g) * kSide + b];
  };
  for (int r = 0; r < kSide; ++r)
    for (int g = 0; g < kSide; ++g)
      for (int b = 0; b < kSide; ++b)
        corner(r, g, b) = static_cast<std::uint8_t>(
            NearestToPoint(r << kBlockShift, g << kBlockShift, b << kBlockShift));

  // The candidates of a mixed block, into `out` (when given); their number.
  constexpr int kBlockSize = 1 << kBlockShift;
  const std::int32_t* channel[3] = {red_, green_, blue_};
  const auto candidates = [&](int block, std::uint8_t* out) {
    const int r = block >> 12, g = (block >> 6) & 63, b = block & 63;
    const int low[3] = {r << kBlockShift, g << kBlockShift, b << kBlockShift};
    int rivals[8];
    int rivalCount = 0;
    for (int k = 0; k < 8; ++k) {
      const int answer = corner(r + (k >> 2), g + ((k >> 1) & 1), b + (k & 1));
      if (std::find(rivals, rivals + rivalCount, answer) == rivals + rivalCount)
        rivals[rivalCount++] = answer;
    }
    // Whether entry j is nearer than entry k (or as near, j first) to every
    // colour of the block: the difference of their squared distances is
    // linear in each channel, so its largest value lies at a corner.
    const auto beatenBy = [&](int k, int j) {
      std::int32_t most = 0;
      for (int c = 0; c < 3; ++c) {
        const std::int32_t step = channel[c][k] - channel[c][j];
        const std::int32_t at = step > 0 ? low[c] + kBlockSize - 1 : low[c];
        most += step * (2 * at - channel[c][j] - channel[c][k]);
      }
      return most < 0 || (most == 0 && j < k);
    };
    const int cell = CellOf(low[0], low[1], low[2]);
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
      const int k = cellEntries_[n];
      bool beaten = false;
      for (int m = 0; m < rivalCount && !beaten; ++m)
        beaten = rivals[m] != k && beatenBy(k, rivals[m]);
      if (beaten) continue;
      if (out != nullptr) out[found] = static_cast<std::uint8_t>(k);
      ++found;
    }
    return found;
  };

  // Blocks whose corners disagree: a block with one candidate left is
  // answered by the table all the same; one with two gets the plane
  // between them, or the plane of a recent block with the same two (found
  // by a small table of recent pairs); one with more gets its answers. The
  // planes are numbered up from 256 and the answered blocks down from
  // 65535; a table too intricate for the codes to hold, or whose answered
  // blocks would take more than 2 MiB, is left to the cells.
  constexpr std::uint32_t kCodes = 65536;
  constexpr std::uint32_t kMostAnswered = 32768;
  constexpr int kRecentBits = 12;
  std::unique_ptr<std::uint16_t[]> recentPairs = AllocateArray<std::uint16_t>(1u << kRecentBits);
  // Only the planes and answers made are touched, so these take memory
  // as they are filled.
  std::unique_ptr<BorderPlane[]> planes = AllocateArray<BorderPlane>(kCodes);
  std::unique_ptr<std::uint32_t[]> answeredBlocks = AllocateArray<std::uint32_t>(kCodes - 256);
  if (!recentPairs || !planes || !answeredBlocks) return;
  std::fill_n(recentPairs.get(), 1u << kRecentBits, std::uint16_t{0});
  for (std::uint32_t k = 0; k < 256; ++k) {
    const auto answer = static_cast<std::uint8_t>(k);
    planes[k] = BorderPlane{0, 0, 0, 0, {answer, answer}};
  }
  std::uint32_t nextPlane = 256, answered = 0;
  std::uint8_t scratch[256];
  for (int block = 0; block < kBlocks; ++block) {
    const int r = block >> 12, g = (block >> 6) & 63, b = block & 63;
    const std::uint8_t answer = corner(r, g, b);
    bool single = true;
    for (int k = 1; k < 8 && single; ++k)
      single = corner(r + (k >> 2), g + ((k >> 1) & 1), b + (k & 1)) == answer;
    if (single) {
      codes[block] = answer;
      continue;
    }
    const int count = candidates(block, scratch);
    if (count == 1) {
      codes[block] = scratch[0];
      continue;
    }
    if (nextPlane + answered == kCodes || answered == kMostAnswered) return;
    if (count > 2) {
      answeredBlocks[answered++] = static_cast<std::uint32_t>(block);
      codes[block] = static_cast<std::uint16_t>(kCodes - answered);
      continue;
    }
    const int first = scratch[0], second = scratch[1];
    const std::uint32_t key = static_cast<std::uint32_t>(first << 8 | second);
    const std::uint32_t slot = (key * 2654435761u) >> (32 - kRecentBits);
    const std::uint32_t recent = recentPairs[slot];
    if (recent != 0 && planes[recent].entries[0] == first && planes[recent].entries[1] == second) {
      codes[block] = static_cast<std::uint16_t>(recent);
      continue;
    }
    const std::int32_t lengths = red_[second] * red_[second] + green_[second] * green_[second] +
                                 blue_[second] * blue_[second] - red_[first] * red_[first] -
                                 green_[first] * green_[first] - blue_[first] * blue_[first];
    planes[nextPlane] = BorderPlane{2 * (red_[second] - red_[first]),
                                    2 * (green_[second] - green_[first]),
                                    2 * (blue_[second] - blue_[first]), lengths,
                                    {scratch[0], scratch[1]}};
    recentPairs[slot] = static_cast<std::uint16_t>(nextPlane);
    codes[block] = static_cast<std::uint16_t>(nextPlane++);
  }

  std::unique_ptr<std::uint8_t[]> answers =
      AllocateArray<std::uint8_t>(static_cast<std::size_t>(answered) * 64 + 1);
  if (!answers) return;
  for (std::uint32_t n = 0; n < answered; ++n) {
    const int block = static_cast<int>(answeredBlocks[n]);
    const int count = candidates(block, scratch);
    const int red = (block >> 12) << kBlockShift, green = ((block >> 6) & 63) << kBlockShift,
              blue = (block & 63) << kBlockShift;
    for (int k = 0; k < 64; ++k)
      answers[n * 64 + static_cast<std::uint32_t>(k)] = static_cast<std::uint8_t>(
          ScanCandidates(scratch, count, red + (k >> 4), green + ((k >> 2) & 3), blue + (k & 3)));
  }
  blockCodes_ = std::move(codes);
  planes_ = std::move(planes);
  lastPlane_ = nextPlane - 1;
  cornerAnswers_ = std::move(answers);
}

int PaletteMatcher::NearestToPoint(int red, int green, int blue) const {
  if (red > 255 || green > 255 || blue > 255) {
    // Outside every cell: the whole table.
    return ScanCandidates(kEveryIndex.data(), count_, red, green, blue);
  }
  const int cell = CellOf(red, green, blue);
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
      CellOf(colour.red, colour.green, colour.blue);
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
