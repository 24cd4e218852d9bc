// The fast nearest-colour matcher against the plain rule on every one of
// the 2^24 colours, for each standard and grey table: a matcher left to
// change its strategy as colours come (remembered answers, then cells,
// then the block table), and one that makes the block table at once.
// Slow for a unit test (seconds), so it is a program of its own that only
// optimised native builds register.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "image/bitmap_image.h"
#include "image/palette_matcher.h"

namespace quendral {
namespace {

struct TableCase {
  int depth;
  bool grey;
};

std::string Describe(const TableCase& t) {
  return std::to_string(t.depth) + (t.grey ? "-bit grey table" : "-bit standard table");
}

class EveryColour : public ::testing::TestWithParam<TableCase> {};

TEST_P(EveryColour, MatcherGivesTheNearestEntryRule) {
  const TableCase t = GetParam();
  BitmapImage image;
  ASSERT_TRUE(image.SetDepth(t.depth));
  if (t.grey) {
    ASSERT_TRUE(image.FillGrayPalette());
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

INSTANTIATE_TEST_SUITE_P(StandardAndGreyTables, EveryColour,
                         ::testing::Values(TableCase{1, false}, TableCase{4, false},
                                           TableCase{8, false}, TableCase{1, true},
                                           TableCase{4, true}, TableCase{8, true}),
                         [](const ::testing::TestParamInfo<TableCase>& info) {
                           return std::string(info.param.grey ? "Grey" : "Standard") +
                                  std::to_string(info.param.depth);
                         });

}  // namespace
}  // namespace quendral
