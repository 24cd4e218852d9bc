// Nearest-colour matching, the grey table, and the many-pixel matcher held
// against a search written out here from the rule.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "image/bitmap_image.h"
#include "image/palette_matcher.h"
#include "image/pixel_assertions.h"
#include "support/bmp_bytes.h"

namespace quendral {
namespace {

using test::Bgra;
using test::Rgb;
using test::SameQuad;
using test::TestRandom;

// The rule: smallest squared red-green-blue distance, lowest index on ties.
int ReferenceNearest(const std::vector<ColorQuad>& table, const ColorQuad& colour) {
  int best = -1;
  int bestDistance = 0;
  for (int k = 0; k < static_cast<int>(table.size()); ++k) {
    const ColorQuad& e = table[static_cast<std::size_t>(k)];
    const int dr = e.red - colour.red, dg = e.green - colour.green, db = e.blue - colour.blue;
    const int d = dr * dr + dg * dg + db * db;
    if (best < 0 || d < bestDistance) {
      best = k;
      bestDistance = d;
    }
  }
  return best;
}

std::vector<ColorQuad> TableOf(const BitmapImage& image) {
  std::vector<ColorQuad> table;
  for (int k = 0; k < image.ColorCount(); ++k) table.push_back(image.PaletteEntry(k));
  return table;
}

void LoadTable(BitmapImage& image, const std::vector<ColorQuad>& table) {
  for (int k = 0; k < image.ColorCount(); ++k)
    ASSERT_TRUE(image.SetPaletteEntry(k, table[static_cast<std::size_t>(k)]));
}

// --- NearestPaletteIndex -------------------------------------------------------

TEST(NearestPaletteIndex, StandardTables) {
  const struct {
    int depth, red, green, blue, expected;
  } cases[] = {
      // clang-format off
      {1, 128, 128, 128, 1},    // white is 48,387 away, black 49,152
      {1, 127, 127, 127, 0},
      {8, 128, 128, 128, 164},  // the grid entry comes before 248, the same grey
      {8, 255, 255, 255, 255},
      {8, 255, 0, 0, 249},
      {8, 0, 0, 0, 0},
      {4, 100, 100, 100, 7},
      {4, 192, 192, 192, 8},
      {4, 255, 255, 255, 15},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "depth " << c.depth << " colour " << c.red << "," << c.green << "," << c.blue);
    BitmapImage image;
    ASSERT_TRUE(image.SetDepth(c.depth));
    EXPECT_EQ(image.NearestPaletteIndex(Rgb(c.red, c.green, c.blue)), c.expected);
  }
}

TEST(NearestPaletteIndex, TiesGoToTheLowestIndex) {
  BitmapImage image;
  ASSERT_TRUE(image.SetDepth(4));
  std::vector<ColorQuad> table(16, Rgb(255, 255, 255));
  table[3] = Rgb(10, 10, 10);   // 10 below the colour in red
  table[9] = Rgb(30, 10, 10);   // 10 above it
  table[5] = Rgb(90, 90, 90);   // equal to the second colour ...
  table[12] = Rgb(90, 90, 90);  // ... twice
  LoadTable(image, table);
  EXPECT_EQ(image.NearestPaletteIndex(Rgb(20, 10, 10)), 3);
  EXPECT_EQ(image.NearestPaletteIndex(Rgb(90, 90, 90)), 5);
}

TEST(NearestPaletteIndex, AlphaTakesNoPart) {
  BitmapImage image;
  ASSERT_TRUE(image.SetDepth(8));
  ASSERT_TRUE(image.SetPaletteEntry(200, Bgra(7, 6, 5, 0)));
  EXPECT_EQ(image.NearestPaletteIndex(Bgra(7, 6, 5, 99)), 200);
  ASSERT_TRUE(image.SetPaletteEntry(200, Bgra(7, 6, 5, 255)));
  EXPECT_EQ(image.NearestPaletteIndex(Bgra(7, 6, 5, 0)), 200);
}

TEST(NearestPaletteIndex, WithoutATableEveryCandidateIsWhite) {
  for (int depth : {16, 24, 32}) {
    BitmapImage image;
    ASSERT_TRUE(image.SetDepth(depth));
    EXPECT_EQ(image.NearestPaletteIndex(Rgb(255, 255, 255)), 0) << depth;
    EXPECT_EQ(image.NearestPaletteIndex(Rgb(0, 0, 0)), 0) << depth;
  }
}

// --- FillGrayPalette ---------------------------------------------------------------

TEST(FillGrayPalette, EvenRampFromBlackToWhite) {
  const struct { int depth, step; } cases[] = {{1, 255}, {4, 17}, {8, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.depth);
    BitmapImage image;
    ASSERT_TRUE(image.SetDepth(c.depth));
    ASSERT_TRUE(image.SetPaletteEntry(1, Bgra(1, 2, 3, 4)));
    ASSERT_TRUE(image.FillGrayPalette());
    for (int k = 0; k < image.ColorCount(); ++k)
      ASSERT_TRUE(SameQuad(image.PaletteEntry(k), Bgra(k * c.step, k * c.step, k * c.step, 0)))
          << "entry " << k;
    EXPECT_TRUE(SameQuad(image.PaletteEntry(image.ColorCount() - 1), Rgb(255, 255, 255)));
  }
}

TEST(FillGrayPalette, RefusedWithoutIndexedDepth) {
  for (int depth : {16, 24, 32}) {
    BitmapImage image;
    ASSERT_TRUE(image.SetDepth(depth));
    EXPECT_FALSE(image.FillGrayPalette()) << depth;
    EXPECT_EQ(image.Palette(), nullptr) << depth;
    EXPECT_EQ(image.Depth(), depth);
  }
}

// --- PaletteMatcher ----------------------------------------------------------------

// Tables chosen to trouble a matcher that prunes by regions of the colour
// cube or remembers answers: repeats, clusters straddling region borders,
// entries on region corners, and a table of a single colour.
struct TableCase {
  const char* name;
  int depth;
  std::function<ColorQuad(int index, TestRandom& random)> entry;
};

std::vector<TableCase> AwkwardTables() {
  return {
      {"random", 8,
       [](int, TestRandom& r) { return Bgra(r.Byte(), r.Byte(), r.Byte(), r.Byte()); }},
      {"five colours repeated", 8,
       [](int k, TestRandom&) {
         const ColorQuad five[] = {Rgb(0, 0, 0), Rgb(255, 0, 0), Rgb(40, 200, 90),
                                   Rgb(128, 128, 128), Rgb(255, 255, 255)};
         return five[(k * 7) % 5];
       }},
      {"one colour", 8, [](int, TestRandom&) { return Rgb(70, 80, 90); }},
      {"cluster across a border", 8,
       [](int, TestRandom& r) {
         const auto near = [&r](int low) { return low + static_cast<int>(r.Next() % 9); };
         return Rgb(near(28), near(60), near(92));
       }},
      {"region corners", 8,
       [](int, TestRandom& r) {
         const int levels[] = {0, 31, 32, 63, 64, 127, 128, 191, 192, 223, 224, 255};
         return Rgb(levels[r.Next() % 12], levels[r.Next() % 12], levels[r.Next() % 12]);
       }},
      {"greys in pairs", 8, [](int k, TestRandom&) { return Rgb(k / 2, k / 2, k / 2); }},
      {"greys but one", 8,
       [](int k, TestRandom&) { return k == 200 ? Rgb(200, 200, 201) : Rgb(k, k, k); }},
      {"sixteen with repeats", 4,
       [](int k, TestRandom& r) {
         return k % 4 == 3 ? Rgb(9, 99, 199) : Bgra(r.Byte(), r.Byte(), r.Byte(), 0);
       }},
      // (31, 31, 31) is as far from entry 1 as the farthest point of its
      // region, and exactly as far from entry 0 outside the region, which
      // as the lower index must win.
      {"tie at a region's far corner", 8,
       [](int k, TestRandom&) {
         return k == 0 ? Rgb(62, 62, 62) : k == 1 ? Rgb(0, 0, 0) : Rgb(255, 255, 255);
       }},
      {"two", 1, [](int k, TestRandom&) { return k == 0 ? Rgb(200, 10, 10) : Rgb(10, 10, 200); }},
  };
}

TEST(PaletteMatcher, AgreesWithTheRuleOnAwkwardTables) {
  std::uint32_t seed = 11;
  for (const TableCase& t : AwkwardTables()) {
    SCOPED_TRACE(t.name);
    TestRandom random(++seed);
    BitmapImage image;
    ASSERT_TRUE(image.SetDepth(t.depth));
    std::vector<ColorQuad> table;
    for (int k = 0; k < image.ColorCount(); ++k) table.push_back(t.entry(k, random));
    LoadTable(image, table);
    ASSERT_TRUE(TableOf(image) == table);

    // More distinct colours than the matcher answers before it changes
    // strategy, with the table's own colours among them; then every
    // colour whose channels lie on region borders; then all of it again
    // (answered from memory). A second matcher answers from its block
    // table throughout.
    std::vector<ColorQuad> colours;
    for (int n = 0; n < 3000; ++n) {
      ColorQuad c = Bgra(random.Byte(), random.Byte(), random.Byte(), random.Byte());
      if (n % 4 == 1) c = table[random.Next() % table.size()];
      if (n % 7 == 3) c.alpha = static_cast<std::uint8_t>(~c.alpha);
      colours.push_back(c);
    }
    for (int red = 0; red < 32; ++red)
      for (int green = 0; green < 32; ++green)
        for (int blue = 0; blue < 32; ++blue) {
          const auto border = [](int n) { return 16 * (n / 2) + 15 * (n % 2); };
          colours.push_back(Rgb(border(red), border(green), border(blue)));
        }
    PaletteMatcher matcher(image);
    PaletteMatcher blocks(image);
    blocks.ExpectManyColours();
    for (int round = 0; round < 2; ++round) {
      for (const ColorQuad& c : colours) {
        const int expected = ReferenceNearest(table, c);
        ASSERT_EQ(image.NearestPaletteIndex(c), expected) << test::Describe(c);
        ASSERT_EQ(matcher.Match(c), expected) << test::Describe(c) << " round " << round;
        ASSERT_EQ(blocks.Match(c), expected) << test::Describe(c) << " block table";
        ASSERT_EQ(matcher.Scan(c), expected) << test::Describe(c);
      }
    }
  }
}

TEST(PaletteMatcher, WithoutATableAnswersZero) {
  BitmapImage image;
  PaletteMatcher matcher(image);
  TestRandom random(3);
  for (int n = 0; n < 2000; ++n)
    ASSERT_EQ(matcher.Match(Bgra(random.Byte(), random.Byte(), random.Byte(), 0)), 0);
}

}  // namespace
}  // namespace quendral
