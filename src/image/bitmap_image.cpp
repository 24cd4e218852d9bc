#include "image/bitmap_image.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "platform/huge_pages.h"
#include "platform/memory.h"

namespace quendral {
namespace {

// 100 / 2.54 and 2.54 / 100 as the nearest doubles.
constexpr double kPelsPerMeterPerDpi = 39.37007874015748;
constexpr double kDpiPerPelsPerMeter = 0.0254;
constexpr std::int32_t kDefaultPelsPerMeter = 3780;

// Truncation toward zero; values beyond the 32-bit range saturate instead of
// being undefined.
std::int32_t TruncateToInt32(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

int Clamp(int value, int size) {
  if (value >= size) value = size - 1;
  if (value < 0) value = 0;
  return value;
}

int DpiFromPelsPerMeter(std::int32_t& pelsPerMeter) {
  if (pelsPerMeter == 0) pelsPerMeter = kDefaultPelsPerMeter;
  return TruncateToInt32(pelsPerMeter * kDpiPerPelsPerMeter);
}

}  // namespace

int IntegerPower(int base, int exponent) {
  // Unsigned arithmetic keeps an overflowing product defined; the library
  // only uses results that fit.
  std::uint32_t result = 1;
  for (int k = 0; k < exponent; ++k) result *= static_cast<std::uint32_t>(base);
  return static_cast<int>(result);
}

BitmapImage::BitmapImage() : pixels_(AllocateArray<ColorQuad>(1)) {
  if (!pixels_) throw std::bad_alloc();
  pixels_[0] = kWhite;
}

BitmapImage::BitmapImage(const BitmapImage& source) : BitmapImage() {
  SetDepth(source.Depth());
  // Not made white first: every pixel is copied below. Should the memory
  // not be had, the image stays the default one white pixel.
  ResizeUnfilled(source.Width(), source.Height());
  SetResolution(source.HorizontalDpi(), source.VerticalDpi());
  if (IsIndexedDepth(depth_)) {
    for (int k = 0; k < ColorCount(); ++k) SetPaletteEntry(k, source.PaletteEntry(k));
  }
  // Row by row, each pixel taken through the source's clamped access; when
  // both sizes agree this is a straight copy of the rows.
  if (width_ == source.width_ && height_ == source.height_) {
    std::copy_n(source.pixels_.get(), static_cast<std::size_t>(width_) * height_, pixels_.get());
  } else {
    for (int j = 0; j < height_; ++j)
      for (int i = 0; i < width_; ++i) Row(j)[i] = source.At(i, j);
  }
}

int BitmapImage::ColorCount() const {
  return depth_ == 32 ? IntegerPower(2, 24) : IntegerPower(2, depth_);
}

ColorQuad& BitmapImage::At(int i, int j) { return Row(Clamp(j, height_))[Clamp(i, width_)]; }

const ColorQuad& BitmapImage::At(int i, int j) const {
  return Row(Clamp(j, height_))[Clamp(i, width_)];
}

ColorQuad BitmapImage::ReadPixel(int i, int j) const { return At(i, j); }

bool BitmapImage::WritePixel(int i, int j, ColorQuad colour) {
  if (i < 0 || i >= width_ || j < 0 || j >= height_) return false;
  Row(j)[i] = colour;
  return true;
}

ColorQuad BitmapImage::PaletteEntry(int index) const {
  if (!IsIndexedDepth(depth_) || !palette_ || index < 0 || index >= ColorCount()) return kWhite;
  return palette_[index];
}

bool BitmapImage::SetPaletteEntry(int index, ColorQuad colour) {
  if (!IsIndexedDepth(depth_) || !palette_ || index < 0 || index >= ColorCount()) return false;
  palette_[index] = colour;
  return true;
}

bool BitmapImage::SetDepth(int newDepth) {
  switch (newDepth) {
    case 1: case 4: case 8: case 16: case 24: case 32:
      break;
    default:
      return false;
  }
  // Without memory for the new table the image keeps its depth and table
  // and the call fails.
  const int oldDepth = depth_;
  std::unique_ptr<ColorQuad[]> oldTable = std::move(palette_);
  depth_ = newDepth;
  if (EnsurePalette()) return true;
  depth_ = oldDepth;
  palette_ = std::move(oldTable);
  return false;
}

bool BitmapImage::EnsurePalette() {
  if (!IsIndexedDepth(depth_) || palette_) return true;
  palette_ = AllocateArray<ColorQuad>(static_cast<std::size_t>(IntegerPower(2, depth_)));
  if (!palette_) return false;
  return FillStandardPalette();
}

bool BitmapImage::Resize(int newWidth, int newHeight) {
  if (!ResizeUnfilled(newWidth, newHeight)) return false;
  std::fill_n(pixels_.get(), static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_),
              kWhite);
  return true;
}

bool BitmapImage::ResizeUnfilled(int newWidth, int newHeight) {
  if (newWidth < 1 || newHeight < 1) return false;
  const std::int64_t count = std::int64_t{newWidth} * newHeight;
  if (count > kMaxPixels) return false;
  // The new block is had before the old one goes, so a refusal keeps the
  // old picture whole.
  std::unique_ptr<ColorQuad[]> pixels = AllocateArray<ColorQuad>(static_cast<std::size_t>(count));
  if (!pixels) return false;
  AdviseHugePages(pixels.get(), static_cast<std::size_t>(count) * sizeof(ColorQuad));
  pixels_ = std::move(pixels);
  width_ = newWidth;
  height_ = newHeight;
  return true;
}

void BitmapImage::SetResolution(int horizontalDpi, int verticalDpi) {
  xPelsPerMeter_ = TruncateToInt32(horizontalDpi * kPelsPerMeterPerDpi);
  yPelsPerMeter_ = TruncateToInt32(verticalDpi * kPelsPerMeterPerDpi);
}

int BitmapImage::HorizontalDpi() const { return DpiFromPelsPerMeter(xPelsPerMeter_); }

int BitmapImage::VerticalDpi() const { return DpiFromPelsPerMeter(yPelsPerMeter_); }

}  // namespace quendral
