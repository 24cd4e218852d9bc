// The fast nearest-colour matcher against the plain rule on every one of
// the 2^24 colours, for each standard and grey table and a few tables of
// our own: a matcher left to change its strategy as colours come
// (remembered answers, then cells, then the block table), and one that
// makes the block table at once. The grey tables are answered by sums;
// a random table, one of greys but one (whose blocks are all mixed, too
// many for the block table) and a small one take the other ways.
// Slow for a unit test (seconds), so it is a program of its own that only
// optimised native builds register.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "image/bitmap_image.h"
#include "image/palette_matcher.h"

namespace quendral {
namespace {

enum class Table { kStandard, kGrey, kRandom, kGreysButOne };

struct TableCase {
  int depth;
  Table table;
};

const char* Name(Table t) {
  switch (t) {
    case Table::kStandard: return "Standard";
    case Table::kGrey: return "Grey";
    case Table::kRandom: return "Random";
    default: return "GreysButOne";
  }
}

std::string Describe(const TableCase& t) {
  return std::to_string(t.depth) + "-bit " + Name(t.table) + " table";
}

// Entry k of the tables of our own; the random one repeats some entries.
ColorQuad OwnEntry(Table table, int k) {
  if (table == Table::kGreysButOne) {
    const auto v = static_cast<std::uint8_t>(k);
    return k == 100 ? ColorQuad{101, 100, 100, 0} : ColorQuad{v, v, v, 0};
  }
  const std::uint32_t h = static_cast<std::uint32_t>(k % 200 + 1) * 2654435761u;
  return ColorQuad{static_cast<std::uint8_t>(h >> 8), static_cast<std::uint8_t>(h >> 16),
                   static_cast<std::uint8_t>(h >> 24), 0};
}

class EveryColour : public ::testing::TestWithParam<TableCase> {};

TEST_P(EveryColour, MatcherGivesTheNearestEntryRule) {
  const TableCase t = GetParam();
  BitmapImage image;
  ASSERT_TRUE(image.SetDepth(t.depth));
  if (t.table == Table::kGrey) {
    ASSERT_TRUE(image.FillGrayPalette());
  } else if (t.table != Table::kStandard) {
    for (int k = 0; k < image.ColorCount(); ++k)
      ASSERT_TRUE(image.SetPaletteEntry(k, OwnEntry(t.table, k)));
  }
  PaletteMatcher gradual(image);
  PaletteMatcher blocks(image);
  blocks.ExpectManyColours();
  for (std::uint32_t rgb = 0; rgb < (1u << 24); ++rgb) {
    // Alpha varies too, and must never matter.
    const ColorQuad c{static_cast<std::uint8_t>(rgb), static_cast<std::uint8_t>(rgb >> 8),
                      static_cast<std::uint8_t>(rgb >> 16),
                      static_cast<std::uint8_t>(rgb * 2654435761u >> 24)};
    const int expected = image.NearestPaletteIndex(c);
    const int fromGradual = gradual.Match(c);
    const int fromBlocks = blocks.Match(c);
    if (fromGradual != expected || fromBlocks != expected) {
      FAIL() << Describe(t) << ", red " << int(c.red) << " green " << int(c.green) << " blue "
             << int(c.blue) << ": rule " << expected << ", gradual matcher " << fromGradual
             << ", block table " << fromBlocks;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Tables, EveryColour,
                         ::testing::Values(TableCase{1, Table::kStandard},
                                           TableCase{4, Table::kStandard},
                                           TableCase{8, Table::kStandard},
                                           TableCase{1, Table::kGrey}, TableCase{4, Table::kGrey},
                                           TableCase{8, Table::kGrey},
                                           TableCase{4, Table::kRandom},
                                           TableCase{8, Table::kRandom},
                                           TableCase{8, Table::kGreysButOne}),
                         [](const ::testing::TestParamInfo<TableCase>& info) {
                           return std::string(Name(info.param.table)) +
                                  std::to_string(info.param.depth);
                         });

}  // namespace
}  // namespace quendral
