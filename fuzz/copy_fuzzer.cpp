// Pixel and rectangle copies between small pictures, and within one, with
// any rectangle and position. The result is held against a plain statement
// of the copy: clip, then copy pixel by pixel through clamped access.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "fuzz_check.h"
#include "image/bitmap_image.h"
#include "ops/pixel_copy.h"

namespace quendral::fuzz {
namespace {

// Few distinct colours, so that the key colour often matches; alpha varies
// on its own, as the key ignores it.
ColorQuad PixelFrom(std::uint8_t byte) {
  static const ColorQuad kColours[4] = {
      {0, 0, 0, 0}, {255, 255, 255, 0}, {10, 20, 30, 0}, {10, 20, 31, 0}};
  ColorQuad c = kColours[byte & 3];
  c.alpha = static_cast<std::uint8_t>(byte >> 2);
  return c;
}

void FillImage(BitmapImage& image, InputBytes& in) {
  const int width = 1 + in.Byte() % 24;
  const int height = 1 + in.Byte() % 24;
  FUZZ_CHECK(image.Resize(width, height));
  for (int j = 0; j < height; ++j)
    for (int i = 0; i < width; ++i) image.Row(j)[i] = PixelFrom(in.Byte());
}

// Clamped access, as the copies read and write pixels.
int Clamp(std::int64_t v, int size) {
  return static_cast<int>(std::clamp<std::int64_t>(v, 0, size - 1));
}

// The key matches on red, green and blue; alpha plays no part.
bool MatchesKey(const ColorQuad& pixel, const ColorQuad* key) {
  return key != nullptr && pixel.red == key->red && pixel.green == key->green &&
         pixel.blue == key->blue;
}

std::vector<ColorQuad> Pixels(const BitmapImage& image) {
  std::vector<ColorQuad> pixels;
  for (int j = 0; j < image.Height(); ++j)
    pixels.insert(pixels.end(), image.Row(j), image.Row(j) + image.Width());
  return pixels;
}

// The rectangle's rows in either order, its columns as given; right and
// bottom cut to the source and to the room left in the target, left and top
// to 0; then every pixel in reading order.
void ReferenceCopy(BitmapImage& source, std::int64_t left, std::int64_t right, std::int64_t rowA,
                   std::int64_t rowB, BitmapImage& target, std::int64_t targetColumn,
                   std::int64_t targetRow, const ColorQuad* key) {
  std::int64_t top = std::min(rowA, rowB), bottom = std::max(rowA, rowB);
  right = std::min<std::int64_t>(right, source.Width() - 1);
  left = std::max<std::int64_t>(left, 0);
  bottom = std::min<std::int64_t>(bottom, source.Height() - 1);
  top = std::max<std::int64_t>(top, 0);
  if ((right - left) + targetColumn >= target.Width())
    right = left - targetColumn + target.Width() - 1;
  if ((bottom - top) + targetRow >= target.Height()) bottom = top - targetRow + target.Height() - 1;
  for (std::int64_t r = top; r <= bottom; ++r) {
    for (std::int64_t c = left; c <= right; ++c) {
      const ColorQuad pixel = source.Row(Clamp(r, source.Height()))[Clamp(c, source.Width())];
      if (MatchesKey(pixel, key)) continue;
      target.Row(Clamp(targetRow + (r - top),
                       target.Height()))[Clamp(targetColumn + (c - left), target.Width())] = pixel;
    }
  }
}

}  // namespace
}  // namespace quendral::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quendral;
  using namespace quendral::fuzz;
  InputBytes in(data, size);
  const std::uint8_t flags = in.Byte();
  const bool sameImage = (flags & 1) != 0;
  const bool keyed = (flags & 2) != 0;
  const bool singlePixel = (flags & 4) != 0;
  const std::int32_t left = in.Coordinate(), right = in.Coordinate();
  const std::int32_t rowA = in.Coordinate(), rowB = in.Coordinate();
  const std::int32_t targetColumn = in.Coordinate(), targetRow = in.Coordinate();
  const ColorQuad key = PixelFrom(in.Byte());

  BitmapImage first, second;
  FillImage(first, in);
  FillImage(second, in);
  BitmapImage& source = first;
  BitmapImage& target = sameImage ? first : second;
  // The reference works on copies that alias in the same way.
  BitmapImage expectedFirst(first), expectedSecond(second);
  BitmapImage& expectedSource = expectedFirst;
  BitmapImage& expectedTarget = sameImage ? expectedFirst : expectedSecond;

  if (singlePixel) {
    // A single pixel is a one-pixel rectangle that clamps instead of clipping.
    if (keyed)
      CopyPixelKeyed(source, left, rowA, target, targetColumn, targetRow, key);
    else
      CopyPixel(source, left, rowA, target, targetColumn, targetRow);
    const ColorQuad pixel =
        expectedSource.Row(Clamp(rowA, source.Height()))[Clamp(left, source.Width())];
    if (!MatchesKey(pixel, keyed ? &key : nullptr))
      expectedTarget.Row(Clamp(targetRow, target.Height()))[Clamp(targetColumn, target.Width())] =
          pixel;
  } else {
    if (keyed)
      CopyRegionKeyed(source, left, right, rowA, rowB, target, targetColumn, targetRow, key);
    else
      CopyRegion(source, left, right, rowA, rowB, target, targetColumn, targetRow);
    ReferenceCopy(expectedSource, left, right, rowA, rowB, expectedTarget, targetColumn, targetRow,
                  keyed ? &key : nullptr);
  }
  FUZZ_CHECK(Pixels(first) == Pixels(expectedFirst));
  FUZZ_CHECK(Pixels(second) == Pixels(expectedSecond));
  return 0;
}
