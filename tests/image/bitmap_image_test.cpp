// The image record: defaults, depth and colour tables, clamped access,
// resizing, resolution and copying.
#include "image/bitmap_image.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <utility>
#include <vector>

#include "image/pixel_assertions.h"

namespace quendral {
namespace {

using test::Bgra;
using test::Pixels;
using test::Rgb;
using test::SameQuad;

// --- defaults and depth -----------------------------------------------------

TEST(BitmapImageDefaults, OneWhiteTwentyFourBitPixelWithoutTable) {
  BitmapImage image;
  EXPECT_EQ(image.Width(), 1);
  EXPECT_EQ(image.Height(), 1);
  EXPECT_EQ(image.Depth(), 24);
  EXPECT_EQ(image.ColorCount(), 16777216);
  EXPECT_EQ(image.Palette(), nullptr);
  EXPECT_TRUE(SameQuad(image.PaletteEntry(0), kWhite));
  EXPECT_FALSE(image.SetPaletteEntry(0, Rgb(1, 2, 3)));
  EXPECT_EQ(image.XPelsPerMeter(), 0);
  EXPECT_EQ(image.YPelsPerMeter(), 0);
  // An unset resolution reads as 96 dpi and is stored as such on the way.
  EXPECT_EQ(image.HorizontalDpi(), 96);
  EXPECT_EQ(image.VerticalDpi(), 96);
  EXPECT_EQ(image.XPelsPerMeter(), 3780);
  EXPECT_EQ(image.YPelsPerMeter(), 3780);
}

TEST(BitmapImageDepth, EachValidDepthSetsItsColourCountAndTable) {
  // clang-format off
  const struct {
    int depth;
    int colours;
    bool hasTable;
  } cases[] = {{1, 2, true},        {4, 16, true},          {8, 256, true},
               {16, 65536, false},  {24, 16777216, false},  {32, 16777216, false}};
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.depth);
    BitmapImage image;
    ASSERT_TRUE(image.SetDepth(c.depth));
    EXPECT_EQ(image.Depth(), c.depth);
    EXPECT_EQ(image.ColorCount(), c.colours);
    EXPECT_EQ(image.Palette() != nullptr, c.hasTable);
    EXPECT_EQ(image.SetPaletteEntry(0, Rgb(1, 2, 3)), c.hasTable);
  }
}

TEST(BitmapImageDepth, InvalidDepthChangesNothing) {
  BitmapImage image;
  ASSERT_TRUE(image.Resize(3, 2));
  ASSERT_TRUE(image.SetDepth(8));
  test::PaintTags(image);
  ASSERT_TRUE(image.SetPaletteEntry(5, Rgb(9, 8, 7)));
  const std::vector<ColorQuad> pixels = Pixels(image);
  for (int depth : {0, 2, 12, 64, -1, 33, INT_MIN, INT_MAX}) {
    SCOPED_TRACE(depth);
    EXPECT_FALSE(image.SetDepth(depth));
    EXPECT_EQ(image.Depth(), 8);
    EXPECT_TRUE(SameQuad(image.PaletteEntry(5), Rgb(9, 8, 7)));
    EXPECT_TRUE(Pixels(image) == pixels);
  }
}

TEST(BitmapImageDepth, SettingADepthAgainRestoresTheStandardTable) {
  BitmapImage image;
  ASSERT_TRUE(image.SetDepth(8));
  ASSERT_TRUE(image.SetPaletteEntry(7, Rgb(1, 2, 3)));
  ASSERT_TRUE(image.SetDepth(8));
  EXPECT_TRUE(SameQuad(image.PaletteEntry(7), Rgb(192, 192, 192)));
}

TEST(BitmapImageDepth, LeavingIndexedDepthsDropsTheTableButKeepsPixels) {
  BitmapImage image;
  ASSERT_TRUE(image.Resize(4, 3));
  ASSERT_TRUE(image.SetDepth(8));
  test::PaintTags(image);
  const std::vector<ColorQuad> pixels = Pixels(image);
  ASSERT_TRUE(image.SetDepth(24));
  EXPECT_EQ(image.Palette(), nullptr);
  EXPECT_TRUE(SameQuad(image.PaletteEntry(7), kWhite));
  EXPECT_TRUE(Pixels(image) == pixels);
  // Going from 8 to 1 bit shrinks the table to two entries.
  ASSERT_TRUE(image.SetDepth(8));
  ASSERT_TRUE(image.SetDepth(1));
  EXPECT_TRUE(SameQuad(image.PaletteEntry(1), Rgb(255, 255, 255)));
  EXPECT_TRUE(SameQuad(image.PaletteEntry(2), kWhite));
  EXPECT_FALSE(image.SetPaletteEntry(2, Rgb(1, 2, 3)));
}

// --- standard colour tables ---------------------------------------------------

TEST(StandardPalette, OneBitIsBlackAndWhite) {
  BitmapImage image;
  ASSERT_TRUE(image.SetDepth(1));
  EXPECT_TRUE(SameQuad(image.PaletteEntry(0), Rgb(0, 0, 0)));
  EXPECT_TRUE(SameQuad(image.PaletteEntry(1), Rgb(255, 255, 255)));
}

TEST(StandardPalette, FourBitEveryEntry) {
  // clang-format off
  const int expected[16][3] = {
      {0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
      {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {128, 128, 128},
      {192, 192, 192}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
      {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
  // clang-format on
  BitmapImage image;
  ASSERT_TRUE(image.SetDepth(4));
  for (int k = 0; k < 16; ++k) {
    SCOPED_TRACE(k);
    EXPECT_TRUE(
        SameQuad(image.PaletteEntry(k), Rgb(expected[k][0], expected[k][1], expected[k][2])));
  }
}

TEST(StandardPalette, EightBitFixedColoursAndGrid) {
  // clang-format off
  const struct {
    int index, red, green, blue;
  } fixed[] = {
      {0, 0, 0, 0},         {1, 128, 0, 0},       {2, 0, 128, 0},       {3, 128, 128, 0},
      {4, 0, 0, 128},       {5, 128, 0, 128},     {6, 0, 128, 128},     {7, 192, 192, 192},
      {8, 192, 220, 192},   {9, 166, 202, 240},   {246, 255, 251, 240}, {247, 160, 160, 164},
      {248, 128, 128, 128}, {249, 255, 0, 0},     {250, 0, 255, 0},     {251, 255, 255, 0},
      {252, 0, 0, 255},     {253, 255, 0, 255},   {254, 0, 255, 255},   {255, 255, 255, 255},
      // Samples of the grid between the fixed colours.
      {10, 64, 32, 0},      {100, 128, 128, 64},  {245, 160, 192, 192}};
  // clang-format on
  BitmapImage image;
  ASSERT_TRUE(image.SetDepth(8));
  for (const auto& f : fixed) {
    SCOPED_TRACE(f.index);
    EXPECT_TRUE(SameQuad(image.PaletteEntry(f.index), Rgb(f.red, f.green, f.blue)));
  }
  // The grid: red fastest in steps of 32, then green, then blue in steps of 64.
  for (int n = 10; n <= 245; ++n) {
    SCOPED_TRACE(n);
    EXPECT_TRUE(
        SameQuad(image.PaletteEntry(n), Rgb(32 * (n % 8), 32 * (n / 8 % 8), 64 * (n / 64))));
  }
}

TEST(StandardPalette, RefusedWithoutIndexedDepth) {
  for (int depth : {16, 24, 32}) {
    BitmapImage image;
    ASSERT_TRUE(image.SetDepth(depth));
    EXPECT_FALSE(image.FillStandardPalette()) << depth;
    EXPECT_EQ(image.Palette(), nullptr) << depth;
  }
}

TEST(BitmapImagePalette, IndicesOutsideTheTableGiveWhiteAndStoreNothing) {
  BitmapImage image;
  ASSERT_TRUE(image.SetDepth(8));
  const std::vector<ColorQuad> table(image.Palette(), image.Palette() + 256);
  for (int index : {-1, -256, INT_MIN, 256, 257, INT_MAX}) {
    SCOPED_TRACE(index);
    EXPECT_TRUE(SameQuad(image.PaletteEntry(index), kWhite));
    EXPECT_FALSE(image.SetPaletteEntry(index, Rgb(1, 2, 3)));
  }
  EXPECT_TRUE(std::vector<ColorQuad>(image.Palette(), image.Palette() + 256) == table);
  EXPECT_TRUE(image.SetPaletteEntry(255, Bgra(1, 2, 3, 4)));
  EXPECT_TRUE(SameQuad(image.PaletteEntry(255), Bgra(1, 2, 3, 4)));
}

// --- pixel access -------------------------------------------------------------

TEST(BitmapImagePixels, AccessClampsOntoTheNearestEdgePixel) {
  // clang-format off
  const struct {
    int i, j, expectedI, expectedJ;
  } cases[] = {{-3, 2, 0, 2},          {10, 10, 3, 3},         {2, -7, 2, 0},
               {1, 2, 1, 2},           {4, 0, 3, 0},           {0, 4, 0, 3},
               {INT_MIN, INT_MAX, 0, 3}, {INT_MAX, INT_MIN, 3, 0}};
  // clang-format on
  BitmapImage image;
  ASSERT_TRUE(image.Resize(4, 4));
  test::PaintTags(image);
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.i << "," << c.j);
    const ColorQuad expected = test::Tag(c.expectedI, c.expectedJ);
    EXPECT_TRUE(SameQuad(image.At(c.i, c.j), expected));
    EXPECT_TRUE(SameQuad(image.ReadPixel(c.i, c.j), expected));
    EXPECT_EQ(&image.At(c.i, c.j), &image.At(c.expectedI, c.expectedJ));
  }
}

TEST(BitmapImagePixels, AccessClampsEachAxisToItsOwnSize) {
  BitmapImage image;
  ASSERT_TRUE(image.Resize(5, 2));
  test::PaintTags(image);
  EXPECT_TRUE(SameQuad(image.ReadPixel(4, 4), test::Tag(4, 1)));
  EXPECT_TRUE(SameQuad(image.ReadPixel(3, 9), test::Tag(3, 1)));
  image.At(9, -1) = Bgra(1, 2, 3, 4);
  EXPECT_TRUE(SameQuad(image.ReadPixel(4, 0), Bgra(1, 2, 3, 4)));
}

TEST(BitmapImagePixels, WritePixelStoresInsideAndRefusesOutside) {
  BitmapImage image;
  ASSERT_TRUE(image.Resize(4, 3));
  test::PaintTags(image);
  EXPECT_TRUE(image.WritePixel(3, 2, Bgra(1, 2, 3, 4)));
  EXPECT_TRUE(SameQuad(image.ReadPixel(3, 2), Bgra(1, 2, 3, 4)));
  const std::vector<ColorQuad> pixels = Pixels(image);
  const int outside[][2] = {{-1, 0}, {4, 0}, {0, -1}, {0, 3}, {INT_MIN, 1}, {1, INT_MAX}};
  for (const auto& at : outside) {
    SCOPED_TRACE(testing::Message() << at[0] << "," << at[1]);
    EXPECT_FALSE(image.WritePixel(at[0], at[1], Bgra(9, 9, 9, 9)));
    EXPECT_TRUE(Pixels(image) == pixels);
  }
}

// --- resizing -----------------------------------------------------------------

TEST(BitmapImageResize, RefusedSizesKeepThePicture) {
  // clang-format off
  const int refused[][2] = {{0, 5},       {5, 0},          {-1, -1},      {INT_MIN, 3},
                            {16385, 16384}, {1, (1 << 28) + 1}, {INT_MAX, INT_MAX}};
  // clang-format on
  BitmapImage image;
  ASSERT_TRUE(image.Resize(3, 2));
  ASSERT_TRUE(image.SetDepth(4));
  test::PaintTags(image);
  const std::vector<ColorQuad> pixels = Pixels(image);
  for (const auto& size : refused) {
    SCOPED_TRACE(testing::Message() << size[0] << " x " << size[1]);
    EXPECT_FALSE(image.Resize(size[0], size[1]));
    EXPECT_EQ(image.Width(), 3);
    EXPECT_EQ(image.Height(), 2);
    EXPECT_EQ(image.Depth(), 4);
    EXPECT_TRUE(Pixels(image) == pixels);
  }
}

TEST(BitmapImageResize, EveryPixelBecomesWhiteEvenAtTheSameSize) {
  BitmapImage image;
  ASSERT_TRUE(image.Resize(6, 4));
  ASSERT_TRUE(image.SetDepth(8));
  ASSERT_TRUE(image.SetPaletteEntry(3, Rgb(1, 2, 3)));
  image.SetPelsPerMeter(1234, 5678);
  for (const auto& size : {std::pair<int, int>{6, 4}, {2, 9}, {1, 1}}) {
    SCOPED_TRACE(testing::Message() << size.first << " x " << size.second);
    test::PaintTags(image);
    ASSERT_TRUE(image.Resize(size.first, size.second));
    EXPECT_EQ(image.Width(), size.first);
    EXPECT_EQ(image.Height(), size.second);
    EXPECT_TRUE(test::AllPixelsAre(image, kWhite));
    // Depth, table and resolution belong to the picture, not to its size.
    EXPECT_EQ(image.Depth(), 8);
    EXPECT_TRUE(SameQuad(image.PaletteEntry(3), Rgb(1, 2, 3)));
    EXPECT_EQ(image.XPelsPerMeter(), 1234);
    EXPECT_EQ(image.YPelsPerMeter(), 5678);
  }
}

// --- resolution -----------------------------------------------------------------

TEST(BitmapImageResolution, DotsPerInchToPixelsPerMetreAndBackTruncate) {
  // clang-format off
  const struct {
    int dpi;
    std::int32_t pelsPerMeter;
    int readBack;
  } cases[] = {{96, 3779, 95},  {72, 2834, 71},  {300, 11811, 299},
               {127, 5000, 127}, {100, 3937, 99}, {1, 39, 0},
               {-96, -3779, -95}, {INT_MAX, INT32_MAX, 54546084},
               // Beyond the field's range the value saturates instead of wrapping.
               {INT_MIN, INT32_MIN, -54546084}};
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dpi);
    BitmapImage image;
    image.SetResolution(c.dpi, c.dpi);
    EXPECT_EQ(image.XPelsPerMeter(), c.pelsPerMeter);
    EXPECT_EQ(image.YPelsPerMeter(), c.pelsPerMeter);
    EXPECT_EQ(image.HorizontalDpi(), c.readBack);
    EXPECT_EQ(image.VerticalDpi(), c.readBack);
  }
}

TEST(BitmapImageResolution, AxesAreIndependent) {
  BitmapImage image;
  image.SetResolution(72, 300);
  EXPECT_EQ(image.XPelsPerMeter(), 2834);
  EXPECT_EQ(image.YPelsPerMeter(), 11811);
  EXPECT_EQ(image.HorizontalDpi(), 71);
  EXPECT_EQ(image.VerticalDpi(), 299);

  // Reading one axis fills in only that axis's missing value.
  image.SetResolution(0, 0);
  EXPECT_EQ(image.HorizontalDpi(), 96);
  EXPECT_EQ(image.XPelsPerMeter(), 3780);
  EXPECT_EQ(image.YPelsPerMeter(), 0);
  EXPECT_EQ(image.VerticalDpi(), 96);
  EXPECT_EQ(image.YPelsPerMeter(), 3780);
}

// --- copying --------------------------------------------------------------------

TEST(BitmapImageCopy, CopiesDepthTableAndPixelsAtEveryDepth) {
  for (int depth : {1, 4, 8, 16, 24, 32}) {
    SCOPED_TRACE(depth);
    BitmapImage source;
    ASSERT_TRUE(source.Resize(5, 3));
    ASSERT_TRUE(source.SetDepth(depth));
    test::PaintTags(source);
    source.SetPaletteEntry(1, Bgra(10, 20, 30, 40));  // refused without a table
    const BitmapImage copy(source);
    EXPECT_EQ(copy.Depth(), depth);
    EXPECT_EQ(copy.Width(), 5);
    EXPECT_EQ(copy.Height(), 3);
    EXPECT_TRUE(Pixels(copy) == Pixels(source));
    EXPECT_EQ(copy.Palette() != nullptr, source.Palette() != nullptr);
    for (int k = 0; k < (source.Palette() ? source.ColorCount() : 0); ++k)
      ASSERT_TRUE(SameQuad(copy.PaletteEntry(k), source.PaletteEntry(k))) << "entry " << k;
  }
}

TEST(BitmapImageCopy, IsDeep) {
  BitmapImage source;
  ASSERT_TRUE(source.Resize(3, 3));
  ASSERT_TRUE(source.SetDepth(8));
  test::PaintTags(source);
  BitmapImage copy(source);
  copy.At(1, 1) = Bgra(0, 0, 0, 0);
  ASSERT_TRUE(copy.SetPaletteEntry(9, Bgra(0, 0, 0, 0)));
  EXPECT_TRUE(SameQuad(source.ReadPixel(1, 1), test::Tag(1, 1)));
  EXPECT_TRUE(SameQuad(source.PaletteEntry(9), Rgb(166, 202, 240)));
  source.At(2, 2) = Bgra(5, 5, 5, 5);
  EXPECT_TRUE(SameQuad(copy.ReadPixel(2, 2), test::Tag(2, 2)));
}

TEST(BitmapImageCopy, ResolutionPassesThroughWholeDotsPerInch) {
  BitmapImage source;
  source.SetPelsPerMeter(3780, 11811);
  const BitmapImage copy(source);
  EXPECT_EQ(copy.XPelsPerMeter(), 3779);   // 96 dpi
  EXPECT_EQ(copy.YPelsPerMeter(), 11771);  // 299 dpi
  const BitmapImage copyOfCopy(copy);
  EXPECT_EQ(copyOfCopy.XPelsPerMeter(), 3740);   // 95 dpi
  EXPECT_EQ(copyOfCopy.YPelsPerMeter(), 11732);  // 298 dpi
}

TEST(BitmapImageCopy, ZeroResolutionIsFilledInOnTheSourceToo) {
  BitmapImage source;
  const BitmapImage copy(source);
  EXPECT_EQ(source.XPelsPerMeter(), 3780);
  EXPECT_EQ(source.YPelsPerMeter(), 3780);
  EXPECT_EQ(copy.XPelsPerMeter(), 3779);
  EXPECT_EQ(copy.YPelsPerMeter(), 3779);
}

// --- integer power ----------------------------------------------------------------

TEST(IntegerPower, RepeatedMultiplication) {
  // clang-format off
  const struct {
    int base, exponent, expected;
  } cases[] = {{2, 0, 1},         {2, -3, 1},  {2, INT_MIN, 1}, {2, 1, 2},  {2, 10, 1024},
               {2, 24, 16777216}, {3, 4, 81},  {0, 0, 1},       {0, 3, 0},  {-2, 3, -8}};
  // clang-format on
  for (const auto& c : cases)
    EXPECT_EQ(IntegerPower(c.base, c.exponent), c.expected) << c.base << "^" << c.exponent;
}

}  // namespace
}  // namespace quendral
