// Rescaling: the new size for each mode, the interpolated bytes, what the
// image keeps and loses, and refusals that must leave it whole.
#include "ops/rescale.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "image/bitmap_image.h"
#include "image/pixel_assertions.h"
#include "ops/diagnostics.h"
#include "support/bmp_bytes.h"

namespace quendral {
namespace {

using test::Bgra;
using test::Pixels;
using test::SameQuad;

// Puts the process-wide switch back as the test found it.
class DiagnosticsSwitchRestorer {
 public:
  ~DiagnosticsSwitchRestorer() { wasOn_ ? SetDiagnosticsOn() : SetDiagnosticsOff(); }

 private:
  bool wasOn_ = DiagnosticsEnabled();
};

// The 2 x 2 picture of the worked example, with a distinct alpha per pixel.
BitmapImage FourCorners() {
  BitmapImage image;
  EXPECT_TRUE(image.Resize(2, 2));
  image.At(0, 0) = Bgra(0, 0, 0, 9);
  image.At(1, 0) = Bgra(200, 100, 50, 7);
  image.At(0, 1) = Bgra(10, 20, 30, 5);
  image.At(1, 1) = Bgra(40, 80, 120, 3);
  return image;
}

BitmapImage Random(int width, int height, std::uint32_t seed) {
  test::TestRandom random(seed);
  BitmapImage image;
  EXPECT_TRUE(image.Resize(width, height));
  for (int j = 0; j < height; ++j)
    for (int i = 0; i < width; ++i)
      image.At(i, j) = Bgra(random.Byte(), random.Byte(), random.Byte(), random.Byte());
  return image;
}

// Blue, green and red as in `source`; alpha 0 but in the bottom-right pixel,
// which carries the source's.
void ExpectSameColoursWithCornerAlpha(const BitmapImage& image, const BitmapImage& source) {
  ASSERT_EQ(image.Width(), source.Width());
  ASSERT_EQ(image.Height(), source.Height());
  for (int j = 0; j < image.Height(); ++j) {
    for (int i = 0; i < image.Width(); ++i) {
      ColorQuad expected = source.ReadPixel(i, j);
      if (i != image.Width() - 1 || j != image.Height() - 1) expected.alpha = 0;
      ASSERT_TRUE(SameQuad(image.ReadPixel(i, j), expected)) << "pixel " << i << "," << j;
    }
  }
}

// --- interpolated bytes ------------------------------------------------------------

TEST(ScaleImage, WorkedExampleDoubled) {
  // clang-format off
  const ColorQuad expected[4][4] = {
      {Bgra(0, 0, 0), Bgra(66, 33, 16), Bgra(133, 66, 33), Bgra(200, 100, 50)},
      {Bgra(3, 6, 10), Bgra(51, 35, 31), Bgra(98, 64, 52), Bgra(146, 93, 73)},
      {Bgra(6, 13, 20), Bgra(35, 37, 45), Bgra(64, 62, 71), Bgra(93, 86, 96)},
      {Bgra(10, 20, 30), Bgra(20, 40, 60), Bgra(30, 60, 90), Bgra(40, 80, 120, 3)},
  };
  // clang-format on
  BitmapImage image = FourCorners();
  ASSERT_TRUE(ScaleImage(image, 'P', 200));
  ASSERT_EQ(image.Width(), 4);
  ASSERT_EQ(image.Height(), 4);
  for (int j = 0; j < 4; ++j)
    for (int k = 0; k < 4; ++k)
      EXPECT_TRUE(SameQuad(image.ReadPixel(k, j), expected[j][k])) << "pixel " << k << "," << j;
}

TEST(ScaleImage, OnePixelIsTheSourcesBottomRight) {
  for (int percent : {10, 0, -5, INT_MIN}) {
    BitmapImage image = FourCorners();
    ASSERT_TRUE(ScaleImage(image, 'P', percent)) << percent;
    ASSERT_EQ(image.Width(), 1);
    ASSERT_EQ(image.Height(), 1);
    EXPECT_TRUE(SameQuad(image.ReadPixel(0, 0), Bgra(40, 80, 120, 3))) << percent;
  }
}

// Red and green sum in another order than blue; at (5, 1) theirs falls a
// hair short of 255 and truncates.
TEST(ScaleImage, UniformPictureNeedNotStayUniform) {
  // Alphas per corner: top-left, top-right, bottom-left, bottom-right.
  const int alphas[][4] = {{1, 2, 3, 4}, {255, 255, 255, 255}, {0, 0, 0, 0}};
  for (const auto& alpha : alphas) {
    SCOPED_TRACE(alpha[3]);
    BitmapImage image;
    ASSERT_TRUE(image.Resize(2, 2));
    image.At(0, 0) = Bgra(255, 255, 255, alpha[0]);
    image.At(1, 0) = Bgra(255, 255, 255, alpha[1]);
    image.At(0, 1) = Bgra(255, 255, 255, alpha[2]);
    image.At(1, 1) = Bgra(255, 255, 255, alpha[3]);
    ASSERT_TRUE(ScaleImage(image, 'W', 7));
    ASSERT_EQ(image.Width(), 7);
    ASSERT_EQ(image.Height(), 7);
    EXPECT_TRUE(SameQuad(image.ReadPixel(5, 1), Bgra(255, 254, 254, 0)));
    EXPECT_TRUE(SameQuad(image.ReadPixel(6, 6), Bgra(255, 255, 255, alpha[3])));
  }
}

TEST(ScaleImage, SameSizeKeepsColoursAndClearsAlphaButTheCorner) {
  const struct {
    int width, height;
    char mode;
    int value;
  } cases[] = {{7, 5, 'P', 100}, {7, 5, 'W', 7},   {7, 5, 'H', 5},  {7, 5, 'F', 7},
               {1, 6, 'P', 100}, {6, 1, 'P', 100}, {1, 1, 'P', 100}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.width << " x " << c.height << " " << c.mode << " " << c.value);
    const BitmapImage source = Random(c.width, c.height, 7);
    BitmapImage image(source);
    ASSERT_TRUE(ScaleImage(image, c.mode, c.value));
    ExpectSameColoursWithCornerAlpha(image, source);
  }
}

TEST(ScaleImage, OnePixelSourceFillsEveryTargetPixel) {
  BitmapImage image;
  image.At(0, 0) = Bgra(10, 20, 30, 40);
  ASSERT_TRUE(ScaleImage(image, 'W', 5));
  ASSERT_EQ(image.Width(), 5);
  ASSERT_EQ(image.Height(), 5);
  for (int j = 0; j < 5; ++j)
    for (int i = 0; i < 5; ++i)
      EXPECT_TRUE(SameQuad(image.ReadPixel(i, j), Bgra(10, 20, 30, i == 4 && j == 4 ? 40 : 0)))
          << "pixel " << i << "," << j;
}

// The rule written out pixel by pixel through clamped access, with every
// sum in its stated order, to hold the real rescaling against.
BitmapImage ReferenceScale(const BitmapImage& source, int newW, int newH) {
  const int w = source.Width();
  const int h = source.Height();
  BitmapImage target;
  EXPECT_TRUE(target.Resize(newW, newH));
  for (int j = 0; j < newH; ++j)
    for (int k = 0; k < newW; ++k) target.At(k, j) = Bgra(255, 255, 255, 0);
  const auto map = [](int k, int oldSize, int newSize) {
    return (static_cast<double>(k) * (static_cast<double>(oldSize) - 1.0)) /
           (static_cast<double>(newSize) - 1.0);
  };
  const auto byte = [](double v) { return static_cast<std::uint8_t>(static_cast<unsigned>(v)); };
  for (int j = 0; j <= newH - 2; ++j) {
    const double y = map(j, h, newH);
    const int sy = static_cast<int>(std::floor(y));
    const double fy = y - sy;
    for (int k = 0; k <= newW - 2; ++k) {
      const double x = map(k, w, newW);
      const int sx = static_cast<int>(std::floor(x));
      const double fx = x - sx;
      const ColorQuad p00 = source.ReadPixel(sx, sy), p10 = source.ReadPixel(sx + 1, sy);
      const ColorQuad p01 = source.ReadPixel(sx, sy + 1), p11 = source.ReadPixel(sx + 1, sy + 1);
      const double fxy = fx * fy;
      const double w00 = ((1.0 - fx) - fy) + fxy, w01 = fy - fxy, w10 = fx - fxy, w11 = fxy;
      ColorQuad& out = target.At(k, j);
      out.red = byte(((p10.red * w10 + p01.red * w01) + p11.red * w11) + p00.red * w00);
      out.green = byte(((p10.green * w10 + p01.green * w01) + p11.green * w11) + p00.green * w00);
      out.blue = byte(((p11.blue * w11 + p00.blue * w00) + p10.blue * w10) + p01.blue * w01);
    }
    const ColorQuad q0 = source.ReadPixel(w - 1, sy), q1 = source.ReadPixel(w - 1, sy + 1);
    ColorQuad& last = target.At(newW - 1, j);
    last.red = byte(q1.red * fy + q0.red * (1.0 - fy));
    last.green = byte(q1.green * fy + q0.green * (1.0 - fy));
    last.blue = byte(q1.blue * fy + q0.blue * (1.0 - fy));
  }
  for (int k = 0; k <= newW - 2; ++k) {
    const double x = map(k, w, newW);
    const int sx = static_cast<int>(std::floor(x));
    const double fx = x - sx;
    const ColorQuad r0 = source.ReadPixel(sx, h - 1), r1 = source.ReadPixel(sx + 1, h - 1);
    ColorQuad& out = target.At(k, newH - 1);
    out.red = byte(r1.red * fx + r0.red * (1.0 - fx));
    out.green = byte(r1.green * fx + r0.green * (1.0 - fx));
    out.blue = byte(r1.blue * fx + r0.blue * (1.0 - fx));
  }
  target.At(newW - 1, newH - 1) = source.ReadPixel(w - 1, h - 1);
  return target;
}

// Shrinking, growing, one-pixel sides, and targets wide enough that their
// columns are worked through in more than one batch.
TEST(ScaleImage, EveryPixelAgreesWithTheRule) {
  struct Case {
    int width, height;
    char mode;
    int value;
  };
  const Case cases[] = {{9, 7, 'P', 333},    {40, 30, 'P', 37},    {1, 9, 'H', 20},
                        {9, 1, 'W', 20},     {17, 5, 'W', 1},      {5, 17, 'H', 1},
                        {3, 3, 'W', 2},      {1000, 1, 'W', 5000}, {4000, 3, 'W', 8195},
                        {4097, 2, 'P', 100}, {300, 2, 'W', 4098}};
  std::vector<Case> all(std::begin(cases), std::end(cases));
  // And small random shapes in every direction.
  test::TestRandom random(5);
  for (int n = 0; n < 100; ++n)
    all.push_back({1 + static_cast<int>(random.Next() % 23),
                   1 + static_cast<int>(random.Next() % 19), 'W',
                   1 + static_cast<int>(random.Next() % 47)});
  for (const auto& c : all) {
    SCOPED_TRACE(testing::Message()
                 << c.width << " x " << c.height << " " << c.mode << " " << c.value);
    const BitmapImage source = Random(c.width, c.height, 13);
    BitmapImage image(source);
    ASSERT_TRUE(ScaleImage(image, c.mode, c.value));
    const BitmapImage expected = ReferenceScale(source, image.Width(), image.Height());
    for (int j = 0; j < image.Height(); ++j)
      for (int k = 0; k < image.Width(); ++k)
        ASSERT_TRUE(SameQuad(image.ReadPixel(k, j), expected.ReadPixel(k, j)))
            << "pixel " << k << "," << j << " of " << image.Width() << " x " << image.Height();
  }
}

// --- new sizes -------------------------------------------------------------------

TEST(ScaleImage, NewSizeForEachMode) {
  // clang-format off
  const struct {
    int width, height;
    char mode;
    int value;
    int newWidth, newHeight;
  } cases[] = {
      {101, 33, 'P', 50, 50, 16},  {4, 3, 'P', 0, 1, 1},        {4, 3, 'P', -20, 1, 1},
      {4, 3, 'P', 250, 10, 7},     {3, 15, 'W', 49, 49, 244},   {7, 7, 'F', 61, 60, 61},
      {200, 100, 'F', 50, 50, 25}, {100, 200, 'F', 50, 25, 50}, {10, 4, 'H', 2, 5, 2},
      {10, 4, 'W', -3, 1, 1},      {10, 4, 'H', 0, 1, 1},       {3, 1000, 'W', 1, 1, 333},
      {101, 33, 'p', 50, 50, 16},  {3, 15, 'w', 49, 49, 244},   {10, 4, 'h', 2, 5, 2},
      {7, 7, 'f', 61, 60, 61},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.width << " x " << c.height << " " << c.mode << " " << c.value);
    BitmapImage image = Random(c.width, c.height, 3);
    ASSERT_TRUE(ScaleImage(image, c.mode, c.value));
    EXPECT_EQ(image.Width(), c.newWidth);
    EXPECT_EQ(image.Height(), c.newHeight);
  }
}

TEST(ScaleImage, LowerCaseModesEqualUpperCase) {
  const BitmapImage source = Random(13, 9, 11);
  for (const auto& mode : {std::pair<char, int>{'P', 37}, {'W', 20}, {'H', 5}, {'F', 17}}) {
    SCOPED_TRACE(mode.first);
    BitmapImage upper(source);
    BitmapImage lower(source);
    ASSERT_TRUE(ScaleImage(upper, mode.first, mode.second));
    ASSERT_TRUE(ScaleImage(lower, static_cast<char>(mode.first - 'A' + 'a'), mode.second));
    EXPECT_EQ(lower.Width(), upper.Width());
    EXPECT_EQ(lower.Height(), upper.Height());
    EXPECT_TRUE(Pixels(lower) == Pixels(upper));
  }
}

// --- what the image keeps ---------------------------------------------------------

TEST(ScaleImage, ResultIsTwentyFourBitsWithoutTableFromEveryDepth) {
  for (int depth : {1, 4, 8, 16, 24, 32}) {
    SCOPED_TRACE(depth);
    BitmapImage image = Random(4, 4, 5);
    ASSERT_TRUE(image.SetDepth(depth));
    ASSERT_TRUE(ScaleImage(image, 'P', 50));
    EXPECT_EQ(image.Depth(), 24);
    EXPECT_EQ(image.Palette(), nullptr);
    EXPECT_TRUE(SameQuad(image.PaletteEntry(0), kWhite));
  }
}

TEST(ScaleImage, ZeroResolutionBecomesTheDefaultEvenWhenRefused) {
  const struct {
    std::int32_t x, y;
    char mode;
    std::int32_t expectedX, expectedY;
  } cases[] = {{0, 0, 'P', 3780, 3780},
               {0, 0, 'x', 3780, 3780},
               {2835, 11811, 'P', 2835, 11811},
               {2835, 0, 'W', 2835, 3780},
               {0, -40, 'q', 3780, -40}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << "/" << c.y << " " << c.mode);
    BitmapImage image = Random(6, 4, 2);
    image.SetPelsPerMeter(c.x, c.y);
    ScaleImage(image, c.mode, 50);
    EXPECT_EQ(image.XPelsPerMeter(), c.expectedX);
    EXPECT_EQ(image.YPelsPerMeter(), c.expectedY);
  }
}

// --- refusals ---------------------------------------------------------------------

// An 8-bit picture with a changed colour table, so that any change to
// size, depth, table or pixels shows.
BitmapImage Indexed() {
  BitmapImage image = Random(5, 3, 9);
  EXPECT_TRUE(image.SetDepth(8));
  EXPECT_TRUE(image.SetPaletteEntry(17, Bgra(1, 2, 3, 4)));
  return image;
}

void ExpectUnchanged(const BitmapImage& image, const BitmapImage& before) {
  EXPECT_EQ(image.Width(), before.Width());
  EXPECT_EQ(image.Height(), before.Height());
  EXPECT_EQ(image.Depth(), 8);
  EXPECT_TRUE(SameQuad(image.PaletteEntry(17), Bgra(1, 2, 3, 4)));
  EXPECT_TRUE(SameQuad(image.PaletteEntry(18), before.PaletteEntry(18)));
  EXPECT_TRUE(Pixels(image) == Pixels(before));
}

TEST(ScaleImage, UnknownModeIsRefusedAndNamedAsGiven) {
  DiagnosticsSwitchRestorer restorer;
  SetDiagnosticsOn();
  for (char mode : {'x', 'q', '1', ' ', static_cast<char>(0xE9)}) {
    SCOPED_TRACE(testing::Message() << "mode " << int{static_cast<unsigned char>(mode)});
    const BitmapImage before = Indexed();
    BitmapImage image(before);
    ClearLastDiagnostic();
    EXPECT_FALSE(ScaleImage(image, mode, 50));
    ExpectUnchanged(image, before);
    EXPECT_EQ(LastDiagnostic(),
              std::string("Bitmap Error: Unknown rescale mode ") + mode + " requested\n");
  }
}

TEST(ScaleImage, NoDiagnosticWhileSwitchedOffOrOnSuccess) {
  DiagnosticsSwitchRestorer restorer;
  SetDiagnosticsOff();
  EXPECT_FALSE(DiagnosticsEnabled());
  BitmapImage image = Indexed();
  ClearLastDiagnostic();
  EXPECT_FALSE(ScaleImage(image, 'x', 50));
  EXPECT_EQ(LastDiagnostic(), "");

  SetDiagnosticsOn();
  EXPECT_TRUE(DiagnosticsEnabled());
  EXPECT_TRUE(ScaleImage(image, 'P', 50));
  EXPECT_EQ(LastDiagnostic(), "");
}

// Sizes past what an image may hold are refused before anything changes,
// however large the product of side and value.
TEST(ScaleImage, OversizedTargetsAreRefusedWholesale) {
  const struct {
    char mode;
    int value;
  } cases[] = {{'P', INT_MAX}, {'P', 1000000}, {'W', INT_MAX}, {'H', INT_MAX},
               {'F', INT_MAX}, {'W', 40000},   {'p', INT_MAX}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.mode << " " << c.value);
    const BitmapImage before = Indexed();
    BitmapImage image(before);
    EXPECT_FALSE(ScaleImage(image, c.mode, c.value));
    ExpectUnchanged(image, before);
  }
}

}  // namespace
}  // namespace quendral
