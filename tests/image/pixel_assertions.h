// Pixel comparisons whose failures name the channels, and position-tagged
// pictures that make a misplaced pixel visible.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "image/bitmap_image.h"

namespace quendral::test {

inline ColorQuad Bgra(int blue, int green, int red, int alpha = 0) {
  return ColorQuad{static_cast<std::uint8_t>(blue), static_cast<std::uint8_t>(green),
                   static_cast<std::uint8_t>(red), static_cast<std::uint8_t>(alpha)};
}

inline ColorQuad Rgb(int red, int green, int blue) {
  return Bgra(blue, green, red, 0);
}

inline std::string Describe(const ColorQuad& c) {
  std::ostringstream out;
  out << "(b " << int{c.blue} << ", g " << int{c.green} << ", r " << int{c.red} << ", a "
      << int{c.alpha} << ")";
  return out.str();
}

// All four bytes, alpha included.
inline ::testing::AssertionResult SameQuad(const ColorQuad& actual, const ColorQuad& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "got " << Describe(actual) << ", expected " << Describe(expected);
}

// A colour that differs for every (i, j) below 255 and has non-zero red,
// green and alpha, so that copies, clamping and marking are all visible.
inline ColorQuad Tag(int i, int j) {
  return Bgra(i, 1 + j % 255, 1 + (i * 7 + j * 13) % 255, 1 + (i + j) % 255);
}

inline void PaintTags(BitmapImage& image) {
  for (int j = 0; j < image.Height(); ++j)
    for (int i = 0; i < image.Width(); ++i) image.At(i, j) = Tag(i, j);
}

// Every pixel, row by row.
inline std::vector<ColorQuad> Pixels(const BitmapImage& image) {
  std::vector<ColorQuad> pixels;
  for (int j = 0; j < image.Height(); ++j)
    for (int i = 0; i < image.Width(); ++i) pixels.push_back(image.ReadPixel(i, j));
  return pixels;
}

inline bool AllPixelsAre(const BitmapImage& image, const ColorQuad& colour) {
  for (const ColorQuad& p : Pixels(image))
    if (p != colour) return false;
  return true;
}

}  // namespace quendral::test
