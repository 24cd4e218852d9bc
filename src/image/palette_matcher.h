// Nearest colour-table entry for many pixels at a time.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>

#include "image/color_quad.h"

namespace quendral {

class BitmapImage;

// Gives exactly what BitmapImage::NearestPaletteIndex gives: the entry with
// the smallest squared RGB distance, the lowest index among equals. Answers
// are remembered per colour, so pictures with few distinct colours (every
// picture loaded from a paletted file) cost one lookup a pixel. Pictures
// with many (a photo saved with a colour table) soon have the table sorted
// into cells of the colour cube, so that a colour is compared only with
// the entries that can be nearest to it; pictures with very many (a whole
// photo) have every small block of the colour cube that has one nearest
// entry answered by a table, and the rest compared only with the few
// entries that can be nearest in their block. The colour table must not
// change while a matcher is in use.
class PaletteMatcher {
 public:
  explicit PaletteMatcher(const BitmapImage& image);
  // Matches against `count` entries (1 to 256) of a table of one's own.
  PaletteMatcher(const ColorQuad* table, int count);

  std::uint8_t Match(const ColorQuad& colour) {
    if (grid_) return MatchInGrid(colour);
    const std::uint32_t key = Key(colour);
    const std::uint32_t slot = (key * 2654435761u) >> (32 - kCacheBits);
    if (keys_[slot] != key) Remember(slot, key, colour);
    return indices_[slot];
  }

  // The plain search over the whole table, without the memory of answers.
  std::uint8_t Scan(const ColorQuad& colour) const;

  // For a caller about to match a great many colours (a large picture):
  // makes the block table now rather than after many searches. Without
  // memory for it, matching goes on as before.
  void ExpectManyColours();

 private:
  static constexpr int kCacheBits = 12;
  // The colour cube is cut into 8 x 8 x 8 cells of 32 levels a side.
  static constexpr int kCellShift = 5;
  static constexpr int kCells = 512;
  // Colours searched the plain way before the cells are made (making them
  // costs about as much as a thousand plain searches of a 256-entry table,
  // and saves most of every later search), and the smallest table for
  // which cells are worth it.
  static constexpr int kCellsAfterSearches = 1024;
  static constexpr int kCellsMinEntries = 16;
  // The block table: the cube cut into 64 x 64 x 64 blocks of 4 levels a
  // side, made after this many searches (making it costs about as much as
  // 15,000 searches of a 256-entry table through the cells).
  static constexpr int kBlockShift = 2;
  static constexpr int kBlockSide = 256 >> kBlockShift;
  static constexpr int kBlocks = kBlockSide * kBlockSide * kBlockSide;
  static constexpr int kGridAfterSearches = 1 << 16;
  static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;  // no colour has this key

  // The colour's four bytes as one word with the alpha byte cleared: equal
  // for equal red, green and blue, whatever the host's byte order. It is
  // never kEmpty, as one of its bytes is 0.
  static std::uint32_t Key(const ColorQuad& c) {
    constexpr ColorQuad kColourOnly{0xFF, 0xFF, 0xFF, 0x00};
    std::uint32_t word, mask;
    std::memcpy(&word, &c, sizeof word);
    std::memcpy(&mask, &kColourOnly, sizeof mask);
    return word & mask;
  }
  void Take(const ColorQuad* table, int count);
  // Out of line: a picture takes this path once per colour it holds, the
  // inlined lookup above once per pixel.
  void Remember(std::uint32_t slot, std::uint32_t key, const ColorQuad& colour);
  void BuildCells();
  // Scan's answer, searching only the colour's cell's candidates.
  std::uint8_t ScanCell(const ColorQuad& colour) const;
  void BuildGrid();
  // The first nearest entry to a point of the cube, whose channels may
  // also be 256 (a corner of the last blocks).
  int NearestToPoint(int red, int green, int blue) const;
  // The first nearest among `count` candidates in index order.
  int ScanCandidates(const std::uint8_t* candidates, int count, int red, int green,
                     int blue) const;
  std::uint8_t MatchInGrid(const ColorQuad& colour) const {
    const std::uint32_t block = ((std::uint32_t{colour.red} >> kBlockShift) << 12) |
                                ((std::uint32_t{colour.green} >> kBlockShift) << 6) |
                                (std::uint32_t{colour.blue} >> kBlockShift);
    const std::uint32_t answer = grid_[block];
    if (answer < 256) return static_cast<std::uint8_t>(answer);
    const std::uint8_t* list = gridLists_.get() + (answer - 256);
    return static_cast<std::uint8_t>(
        ScanCandidates(list + 1, list[0] + 1, colour.red, colour.green, colour.blue));
  }

  int count_ = 0;
  int searches_ = 0;
  // Cell c's candidates are cellEntries_[cellStart_[c] .. cellStart_[c + 1]),
  // in index order; null until made.
  std::unique_ptr<std::uint32_t[]> cellStart_;
  std::unique_ptr<std::uint8_t[]> cellEntries_;
  // Block b's answer when every colour in it has the same first nearest
  // entry; otherwise 256 + where its candidates stand in gridLists_: a
  // count less one, then the candidates in index order. Null until made.
  std::unique_ptr<std::uint32_t[]> grid_;
  std::unique_ptr<std::uint8_t[]> gridLists_;
  std::int32_t red_[256];
  std::int32_t green_[256];
  std::int32_t blue_[256];
  std::uint32_t keys_[1u << kCacheBits];
  std::uint8_t indices_[1u << kCacheBits];
};

}  // namespace quendral
