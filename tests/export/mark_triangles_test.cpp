// The triangle marking held against its rule over whole pictures of many
// shapes, and against hand-drawn masks for the small ones.
#include "export/mark_triangles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "image/bitmap_image.h"
#include "image/pixel_assertions.h"

namespace quendral {
namespace {

using test::Bgra;
using test::SameQuad;
using test::Tag;

// Written from the rule, independently of the code: with h = W / 2, rows 0
// through min(max(h - 1, 0), H - 1) are marked at columns 0 .. h - j and
// h + j .. W - 1.
bool IsMarked(int i, int j, int width, int height) {
  const int h = width / 2;
  const int lastRow = std::min(std::max(h - 1, 0), height - 1);
  return j <= lastRow && (i <= h - j || i >= h + j);
}

ColorQuad Marked(ColorQuad c) {
  c.red = 0;
  c.green = 0;
  return c;
}

TEST(MarkTriangles, WholePictureFollowsTheRule) {
  for (int width : {1, 2, 3, 4, 5, 10, 11, 64, 101}) {
    for (int height : {1, 2, 5, 12, 37, 60}) {
      SCOPED_TRACE(testing::Message() << width << " x " << height);
      BitmapImage image;
      ASSERT_TRUE(image.Resize(width, height));
      test::PaintTags(image);
      MarkTriangles(image);
      ASSERT_EQ(image.Width(), width);
      ASSERT_EQ(image.Height(), height);
      for (int j = 0; j < height; ++j) {
        for (int i = 0; i < width; ++i) {
          const ColorQuad expected = IsMarked(i, j, width, height) ? Marked(Tag(i, j)) : Tag(i, j);
          ASSERT_TRUE(SameQuad(image.ReadPixel(i, j), expected)) << "pixel " << i << "," << j;
        }
      }
    }
  }
}

// 'X' marks a pixel whose red and green are cleared; one string per row.
TEST(MarkTriangles, SmallPicturesAsDrawn) {
  const struct {
    int width;
    std::vector<std::string> rows;
  } cases[] = {
      {1, {"X", "."}},
      {2, {"XX", "..", ".."}},
      {3, {"XXX", "...", "..."}},
      {4, {"XXXX", "XX.X", "....", "...."}},
      {5, {"XXXXX", "XX.XX", "....."}},
      {10,
       {"XXXXXXXXXX", "XXXXX.XXXX", "XXXX...XXX", "XXX.....XX", "XX.......X", "..........",
        ".........."}},
      {10, {"XXXXXXXXXX", "XXXXX.XXXX"}},  // the picture ends before the triangles do
  };
  for (const auto& c : cases) {
    const int height = static_cast<int>(c.rows.size());
    SCOPED_TRACE(testing::Message() << c.width << " x " << height);
    BitmapImage image;
    ASSERT_TRUE(image.Resize(c.width, height));
    test::PaintTags(image);
    MarkTriangles(image);
    for (int j = 0; j < height; ++j) {
      std::string drawn;
      for (int i = 0; i < c.width; ++i) {
        const ColorQuad p = image.ReadPixel(i, j);
        drawn += p.red == 0 && p.green == 0 ? 'X' : '.';
      }
      EXPECT_EQ(drawn, c.rows[static_cast<std::size_t>(j)]) << "row " << j;
    }
  }
}

TEST(MarkTriangles, KeepsBlueAlphaDepthAndTable) {
  for (int depth : {1, 4, 8, 16, 24, 32}) {
    SCOPED_TRACE(depth);
    BitmapImage image;
    ASSERT_TRUE(image.Resize(6, 4));
    ASSERT_TRUE(image.SetDepth(depth));
    image.SetPaletteEntry(1, Bgra(1, 2, 3, 4));
    std::vector<ColorQuad> table;
    for (int k = 0; k < (image.Palette() ? image.ColorCount() : 0); ++k)
      table.push_back(image.PaletteEntry(k));
    test::PaintTags(image);
    // Already blue-only: marking it again changes nothing.
    image.At(0, 0) = Bgra(50, 0, 0, 7);
    MarkTriangles(image);
    EXPECT_TRUE(SameQuad(image.ReadPixel(0, 0), Bgra(50, 0, 0, 7)));
    EXPECT_TRUE(SameQuad(image.ReadPixel(5, 0), Bgra(5, 0, 0, Tag(5, 0).alpha)));
    EXPECT_EQ(image.Depth(), depth);
    for (int k = 0; k < static_cast<int>(table.size()); ++k)
      ASSERT_TRUE(SameQuad(image.PaletteEntry(k), table[static_cast<std::size_t>(k)]));
  }
}

}  // namespace
}  // namespace quendral
