// The standard colour tables for 1, 4 and 8 bits per pixel.
#include "image/bitmap_image.h"

namespace quendral {
namespace {

ColorQuad Rgb(int red, int green, int blue) {
  return ColorQuad{static_cast<std::uint8_t>(blue), static_cast<std::uint8_t>(green),
                   static_cast<std::uint8_t>(red), 0};
}

void FillFourBitTable(ColorQuad* table) {
  for (int index = 0; index < 8; ++index)
    table[index] = Rgb(128 * (index & 1), 128 * ((index >> 1) & 1), 128 * ((index >> 2) & 1));
  for (int index = 8; index < 16; ++index) {
    const int k = index - 8;
    table[index] = Rgb(255 * (k & 1), 255 * ((k >> 1) & 1), 255 * ((k >> 2) & 1));
  }
  table[8] = Rgb(192, 192, 192);
}

void FillEightBitTable(ColorQuad* table) {
  for (int n = 0; n < 256; ++n) table[n] = Rgb(32 * (n % 8), 32 * ((n / 8) % 8), 64 * (n / 64));
  // Twenty fixed system colours overwrite both ends of the grid.
  static const int kLow[10][3] = {{0, 0, 0},     {128, 0, 0},     {0, 128, 0},    {128, 128, 0},
                                  {0, 0, 128},   {128, 0, 128},   {0, 128, 128},  {192, 192, 192},
                                  {192, 220, 192}, {166, 202, 240}};
  static const int kHigh[10][3] = {{255, 251, 240}, {160, 160, 164}, {128, 128, 128},
                                   {255, 0, 0},     {0, 255, 0},     {255, 255, 0},
                                   {0, 0, 255},     {255, 0, 255},   {0, 255, 255},
                                   {255, 255, 255}};
  for (int k = 0; k < 10; ++k) {
    table[k] = Rgb(kLow[k][0], kLow[k][1], kLow[k][2]);
    table[246 + k] = Rgb(kHigh[k][0], kHigh[k][1], kHigh[k][2]);
  }
}

}  // namespace

bool FillStandardTable(int depth, ColorQuad* table) {
  switch (depth) {
    case 1:
      table[0] = Rgb(0, 0, 0);
      table[1] = Rgb(255, 255, 255);
      return true;
    case 4:
      FillFourBitTable(table);
      return true;
    case 8:
      FillEightBitTable(table);
      return true;
    default:
      return false;
  }
}

bool BitmapImage::FillStandardPalette() {
  return palette_ != nullptr && FillStandardTable(depth_, palette_.get());
}

}  // namespace quendral
