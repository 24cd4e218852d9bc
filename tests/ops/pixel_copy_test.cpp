// Pixel and rectangle copies: clamped positions, the key colour, clipping
// to both images, and copies within one image.
#include "ops/pixel_copy.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
#include <functional>
#include <vector>

#include "image/bitmap_image.h"
#include "image/pixel_assertions.h"

namespace quendral {
namespace {

using test::Bgra;
using test::SameQuad;
using test::Tag;

// No tagged pixel has this colour, so it marks every untouched target pixel.
const ColorQuad kBackground = Bgra(200, 201, 202, 203);

BitmapImage Tagged(int width, int height) {
  BitmapImage image;
  EXPECT_TRUE(image.Resize(width, height));
  test::PaintTags(image);
  return image;
}

BitmapImage Plain(int width, int height) {
  BitmapImage image;
  EXPECT_TRUE(image.Resize(width, height));
  for (int j = 0; j < height; ++j)
    for (int i = 0; i < width; ++i) image.At(i, j) = kBackground;
  return image;
}

// Target pixel (targetI, targetJ) holds source pixel (sourceI, sourceJ).
struct Placed {
  int targetI, targetJ, sourceI, sourceJ;
};

// The whole target: the placed pixels hold their source pixels, all others
// are untouched.
void ExpectTarget(const BitmapImage& target, const BitmapImage& source,
                  const std::vector<Placed>& placed) {
  std::vector<ColorQuad> expected(static_cast<std::size_t>(target.Width() * target.Height()),
                                  kBackground);
  for (const Placed& p : placed)
    expected[static_cast<std::size_t>(p.targetJ * target.Width() + p.targetI)] =
        source.ReadPixel(p.sourceI, p.sourceJ);
  for (int j = 0; j < target.Height(); ++j)
    for (int i = 0; i < target.Width(); ++i)
      ASSERT_TRUE(SameQuad(target.ReadPixel(i, j),
                           expected[static_cast<std::size_t>(j * target.Width() + i)]))
          << "target pixel " << i << "," << j;
}

// --- single pixels -------------------------------------------------------------

TEST(CopyPixel, BothPositionsAreClampedIntoTheirImages) {
  const struct {
    int column, row, targetColumn, targetRow;
    Placed expected;
  } cases[] = {
      {4, 5, 4, 5, {4, 5, 4, 5}},
      {-5, 100, 3, 4, {3, 4, 0, 9}},
      {2, 2, -1, 50, {0, 9, 2, 2}},
      {INT_MAX, INT_MIN, INT_MIN, INT_MAX, {0, 9, 9, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.column << "," << c.row << " to " << c.targetColumn << "," << c.targetRow);
    BitmapImage source = Tagged(10, 10);
    BitmapImage target = Plain(10, 10);
    CopyPixel(source, c.column, c.row, target, c.targetColumn, c.targetRow);
    ExpectTarget(target, source, {c.expected});
  }
}

TEST(CopyPixelKeyed, SkipsOnlyPixelsWhoseColourEqualsTheKey) {
  const ColorQuad pixel = Tag(3, 4);
  const struct {
    const char* name;
    ColorQuad key;
    bool copied;
  } cases[] = {
      {"same colour, other alpha", Bgra(pixel.blue, pixel.green, pixel.red, pixel.alpha + 1),
       false},
      {"same in all four", pixel, false},
      {"blue differs", Bgra(pixel.blue + 1, pixel.green, pixel.red, pixel.alpha), true},
      {"green differs", Bgra(pixel.blue, pixel.green + 1, pixel.red, pixel.alpha), true},
      {"red differs", Bgra(pixel.blue, pixel.green, pixel.red + 1, pixel.alpha), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    BitmapImage source = Tagged(10, 10);
    BitmapImage target = Plain(10, 10);
    CopyPixelKeyed(source, 3, 4, target, 6, 7, c.key);
    ExpectTarget(target, source,
                 c.copied ? std::vector<Placed>{{6, 7, 3, 4}} : std::vector<Placed>{});
  }
}

// --- rectangles -----------------------------------------------------------------

struct RegionCase {
  const char* name;
  int left, right, rowA, rowB, targetColumn, targetRow;
  int targetWidth, targetHeight;
  // The block that arrives: its top-left in the target, its size, and its
  // top-left in the source. A width of 0 means nothing is copied.
  int toI, toJ, width, height, fromI, fromJ;
};

// clang-format off
const RegionCase kRegionCases[] = {
    {"rows top first", 0, 2, 2, 7, 1, 0, 10, 10, /**/ 1, 0, 3, 6, 0, 2},
    {"rows bottom first", 0, 2, 7, 2, 1, 0, 10, 10, /**/ 1, 0, 3, 6, 0, 2},
    {"left after right", 7, 2, 0, 9, 0, 0, 10, 10, /**/ 0, 0, 0, 0, 0, 0},
    {"cut to the room left", 0, 9, 0, 9, 5, 5, 10, 10, /**/ 5, 5, 5, 5, 0, 0},
    {"negative left", -3, 2, 0, 0, 0, 0, 10, 10, /**/ 0, 0, 3, 1, 0, 0},
    {"negative top", 1, 2, -4, 1, 3, 3, 10, 10, /**/ 3, 3, 2, 2, 1, 0},
    {"beyond the source", 8, 20, 20, 8, 0, 0, 10, 10, /**/ 0, 0, 2, 2, 8, 8},
    {"one past the source", 7, 10, 8, 10, 0, 0, 10, 10, /**/ 0, 0, 3, 2, 7, 8},
    {"wholly right of the source", 12, 15, 0, 0, 0, 0, 10, 10, /**/ 0, 0, 0, 0, 0, 0},
    {"wholly left of the source", INT_MIN, -1, 0, 0, 0, 0, 10, 10, /**/ 0, 0, 0, 0, 0, 0},
    {"target column at the width", 0, 3, 0, 0, 10, 0, 10, 10, /**/ 0, 0, 0, 0, 0, 0},
    {"target row at the height", 0, 0, 0, 3, 0, 10, 10, 10, /**/ 0, 0, 0, 0, 0, 0},
    {"target far beyond", 0, 9, 0, 9, INT_MAX, INT_MAX, 10, 10, /**/ 0, 0, 0, 0, 0, 0},
    {"every integer", INT_MIN, INT_MAX, INT_MAX, INT_MIN, 0, 0, 10, 10, /**/ 0, 0, 10, 10, 0, 0},
    {"smaller target", 0, 9, 0, 9, 0, 0, 4, 3, /**/ 0, 0, 4, 3, 0, 0},
    {"smaller target, offset", 2, 9, 1, 9, 1, 1, 4, 3, /**/ 1, 1, 3, 2, 2, 1},
};
// clang-format on

std::vector<Placed> Block(const RegionCase& c) {
  std::vector<Placed> placed;
  for (int dj = 0; dj < (c.width > 0 ? c.height : 0); ++dj)
    for (int di = 0; di < c.width; ++di)
      placed.push_back({c.toI + di, c.toJ + dj, c.fromI + di, c.fromJ + dj});
  return placed;
}

using RegionCopy = std::function<void(BitmapImage&, const RegionCase&, BitmapImage&)>;

void RunRegionCases(const RegionCopy& copy) {
  for (const RegionCase& c : kRegionCases) {
    SCOPED_TRACE(c.name);
    BitmapImage source = Tagged(10, 10);
    BitmapImage target = Plain(c.targetWidth, c.targetHeight);
    copy(source, c, target);
    ExpectTarget(target, source, Block(c));
  }
}

TEST(CopyRegion, ClipsToTheSourceAndTheRoomInTheTarget) {
  RunRegionCases([](BitmapImage& source, const RegionCase& c, BitmapImage& target) {
    CopyRegion(source, c.left, c.right, c.rowA, c.rowB, target, c.targetColumn, c.targetRow);
  });
}

TEST(CopyRegionKeyed, ClipsLikeCopyRegion) {
  const ColorQuad unusedKey = Bgra(255, 255, 255, 0);
  RunRegionCases([&](BitmapImage& source, const RegionCase& c, BitmapImage& target) {
    CopyRegionKeyed(source, c.left, c.right, c.rowA, c.rowB, target, c.targetColumn, c.targetRow,
                    unusedKey);
  });
}

TEST(CopyRegionKeyed, LeavesKeyColouredPixelsOut) {
  BitmapImage source = Tagged(10, 10);
  const ColorQuad key = Bgra(1, 2, 3, 0);
  source.At(1, 0) = Bgra(1, 2, 3, 50);  // alpha does not save it
  source.At(2, 1) = key;
  source.At(3, 1) = Bgra(1, 2, 4, 0);  // one step off the key
  BitmapImage target = Plain(10, 10);
  CopyRegionKeyed(source, 0, 3, 0, 1, target, 4, 4, key);
  std::vector<Placed> placed;
  for (int j = 0; j < 2; ++j)
    for (int i = 0; i < 4; ++i)
      if (!(i == 1 && j == 0) && !(i == 2 && j == 1)) placed.push_back({4 + i, 4 + j, i, j});
  ExpectTarget(target, source, placed);
}

// A negative target position is not clipped: the pixels that would fall
// left of (or above) the target all land on its first column (or row),
// the last one written staying.
TEST(CopyRegion, PositionsBeforeTheTargetFoldOntoItsEdge) {
  const struct {
    const char* name;
    int left, right, rowA, rowB, targetColumn, targetRow;
    std::vector<Placed> expected;
  } cases[] = {
      {"two columns left", 0, 3, 0, 0, -2, 0, {{0, 0, 2, 0}, {1, 0, 3, 0}}},
      {"far left", 0, 9, 0, 0, INT_MIN, 0, {{0, 0, 9, 0}}},
      {"far above", 0, 0, 0, 9, 0, INT_MIN, {{0, 0, 0, 9}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    BitmapImage source = Tagged(10, 10);
    BitmapImage target = Plain(10, 10);
    CopyRegion(source, c.left, c.right, c.rowA, c.rowB, target, c.targetColumn, c.targetRow);
    ExpectTarget(target, source, c.expected);
  }
}

TEST(CopyRegion, ShiftWithinOneImageRepeatsTheFirstPixel) {
  BitmapImage image = Tagged(10, 10);
  CopyRegion(image, 0, 5, 0, 0, image, 1, 0);
  for (int i = 0; i < 10; ++i)
    EXPECT_TRUE(SameQuad(image.ReadPixel(i, 0), i <= 6 ? Tag(0, 0) : Tag(i, 0))) << "column " << i;
  for (int j = 1; j < 10; ++j)
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(SameQuad(image.ReadPixel(i, j), Tag(i, j)));
}

TEST(CopyRegion, ExtremeArgumentsStayInsideBothImages) {
  const int values[] = {INT_MIN, -1, 5, 10, INT_MAX};
  const ColorQuad key = Tag(0, 0);
  BitmapImage source = Tagged(10, 7);
  BitmapImage target = Plain(6, 9);
  const std::vector<ColorQuad> sourcePixels = test::Pixels(source);
  int combinations = 0;
  for (int left : values)
    for (int right : values)
      for (int rowA : values)
        for (int rowB : values)
          for (int column : values)
            for (int row : values) {
              CopyRegion(source, left, right, rowA, rowB, target, column, row);
              CopyRegionKeyed(source, left, right, rowA, rowB, target, column, row, key);
              ++combinations;
            }
  EXPECT_EQ(combinations, 15625);
  EXPECT_TRUE(test::Pixels(source) == sourcePixels);
}

}  // namespace
}  // namespace quendral
