// Nearest colour-table entry for many pixels at a time.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>

#include "image/color_quad.h"

namespace quendral {

class BitmapImage;

// Gives exactly what BitmapImage::NearestPaletteIndex gives: the entry with
// the smallest squared RGB distance, the lowest index among equals. A table
// of greys alone (the grey tables, and black and white) is answered from
// the colour's sum of channels, on which alone the order of such entries'
// distances depends. Other answers are remembered per colour, so pictures
// with few distinct colours (every picture loaded from a paletted file)
// cost one lookup a pixel. Pictures with many (a photo saved with a colour
// table) soon have the table sorted into cells of the colour cube, so that
// a colour is compared only with the entries that can be nearest to it;
// pictures with very many (a whole photo) have the colour cube cut into
// small blocks: a block with one nearest entry is answered by a table, one
// across the border of two entries by the plane between them, and the few
// where more entries meet by a table of their own. The colour table must
// not change while a matcher is in use.
class PaletteMatcher {
 public:
  explicit PaletteMatcher(const BitmapImage& image);
  // Matches against `count` entries (1 to 256) of a table of one's own.
  PaletteMatcher(const ColorQuad* table, int count);

  std::uint8_t Match(const ColorQuad& colour) {
    if (greyTable_) return bySum_[colour.red + colour.green + colour.blue];
    if (blockCodes_) return Blocks().Match(colour);
    const std::uint32_t key = Key(colour);
    const std::uint32_t slot = (key * 2654435761u) >> (32 - kCacheBits);
    if (keys_[slot] != key) Remember(slot, key, colour);
    return indices_[slot];
  }

  // Match for `count` pixels, into out[0 .. count).
  void MatchRun(const ColorQuad* in, std::uint8_t* out, int count);

  // The plain search over the whole table, without the memory of answers.
  std::uint8_t Scan(const ColorQuad& colour) const;

  // For a caller about to match a great many colours (a large picture):
  // makes the block table now rather than after many searches. Without
  // memory for it, matching goes on as before.
  void ExpectManyColours();

 private:
  static constexpr int kCacheBits = 12;
  // The colour cube is cut into 16 x 16 x 16 cells of 16 levels a side.
  static constexpr int kCellShift = 4;
  static constexpr int kCellBits = 8 - kCellShift;
  static constexpr int kCells = 1 << (3 * kCellBits);
  static int CellOf(int red, int green, int blue) {
    return ((red >> kCellShift) << (2 * kCellBits)) | ((green >> kCellShift) << kCellBits) |
           (blue >> kCellShift);
  }
  // Colours searched the plain way before the cells are made (making them
  // costs about as much as ten thousand plain searches of a 256-entry
  // table, and saves most of every later search), and the smallest table
  // for which cells are worth it.
  static constexpr int kCellsAfterSearches = 8192;
  static constexpr int kCellsMinEntries = 16;
  // The block table: the cube cut into 64 x 64 x 64 blocks of 4 levels a
  // side, made after this many searches (making it costs about as much as
  // half a million searches of a 256-entry table through the cells, and a
  // tenth of one search for each colour after).
  static constexpr int kBlockShift = 2;  // BlockTable's colour within a block assumes 2
  static constexpr int kBlockSide = 256 >> kBlockShift;
  static constexpr int kBlocks = kBlockSide * kBlockSide * kBlockSide;
  static constexpr int kGridAfterSearches = 1 << 18;
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
  // Entry `entries[0]` is at least as near as entry `entries[1]` to a
  // colour exactly where 2 (entries[1] - entries[0]) . colour <=
  // |entries[1]|^2 - |entries[0]|^2.
  struct BorderPlane {
    std::int32_t red, green, blue, bound;
    std::uint8_t entries[2];
  };
  // The block table's parts, copied out so that a loop storing bytes
  // keeps them in registers.
  struct BlockTable {
    const std::uint16_t* codes;
    const BorderPlane* planes;
    std::uint32_t lastPlane;
    const std::uint8_t* answers;

    std::uint8_t Match(const ColorQuad& colour) const {
      const std::uint32_t block = ((std::uint32_t{colour.red} >> kBlockShift) << 12) |
                                  ((std::uint32_t{colour.green} >> kBlockShift) << 6) |
                                  (std::uint32_t{colour.blue} >> kBlockShift);
      // Single blocks and blocks across the border of two entries (most
      // mixed ones) alike give two entries, the same one twice for a
      // single block, and the plane between them: the first is the answer
      // on its side of the plane and on it. One multiply-and-compare, and
      // no branch that the colours of a photo would mispredict. The few
      // blocks where more entries meet have an answer for each colour.
      const std::uint32_t code = codes[block];
      if (code > lastPlane) {
        const std::uint32_t inBlock = ((colour.red & 3u) << 4) | ((colour.green & 3u) << 2) |
                                      (colour.blue & 3u);
        return answers[(65535 - code) * 64 + inBlock];
      }
      const BorderPlane& plane = planes[code];
      const std::int32_t side = plane.red * colour.red + plane.green * colour.green +
                                plane.blue * colour.blue;
      // An index rather than a choice, which compilers would make a branch.
      return plane.entries[side > plane.bound];
    }
  };
  BlockTable Blocks() const {
    return BlockTable{blockCodes_.get(), planes_.get(), lastPlane_, cornerAnswers_.get()};
  }
  // Makes the answers by sum when every entry is a grey; false otherwise.
  bool TakeGreyTable();

  int count_ = 0;
  int searches_ = 0;
  // Cell c's candidates are cellEntries_[cellStart_[c] .. cellStart_[c + 1]),
  // in index order; null until made.
  std::unique_ptr<std::uint32_t[]> cellStart_;
  std::unique_ptr<std::uint8_t[]> cellEntries_;
  // The block table. Block b's code is its one answer k when below 256,
  // else the number of the plane between the two entries that can be
  // nearest in it (blocks along one border share one) up to lastPlane_,
  // else 65535 less the number of its 64 answers in cornerAnswers_ (in
  // red, green, blue order of the block's colours). planes_[k] for an
  // answer k is k twice with the plane 0 <= 0. Null until made.
  std::unique_ptr<std::uint16_t[]> blockCodes_;
  std::unique_ptr<BorderPlane[]> planes_;
  std::uint32_t lastPlane_ = 0;
  std::unique_ptr<std::uint8_t[]> cornerAnswers_;
  bool gridTried_ = false;  // made, or found too intricate, once
  // A table of greys alone, answered by red + green + blue.
  bool greyTable_ = false;
  std::uint8_t bySum_[3 * 255 + 1];
  std::int32_t red_[256];
  std::int32_t green_[256];
  std::int32_t blue_[256];
  std::uint32_t keys_[1u << kCacheBits];
  std::uint8_t indices_[1u << kCacheBits];
};

}  // namespace quendral
