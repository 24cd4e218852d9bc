#include "ops/rescale.h"

#include <cstdint>
#include <limits>

#include "image/bitmap_image.h"
#include "ops/diagnostics.h"
#include "platform/runtime.h"

namespace quendral {
namespace {

struct Size {
  std::int64_t width;
  std::int64_t height;
};

// floor() of a double as a whole number; values outside 64 bits saturate.
std::int64_t FloorToInt(double value) {
  const double f = Floor(value);
  if (!(f > -9.2e18)) return std::numeric_limits<std::int64_t>::min() / 2;
  if (f > 9.2e18) return std::numeric_limits<std::int64_t>::max() / 2;
  return static_cast<std::int64_t>(f);
}

Size NewSize(char mode, int value, int w, int h) {
  if (mode == 'F') mode = w > h ? 'W' : 'H';
  switch (mode) {
    case 'P':
      // The products are whole numbers (formed in 64 bits, so that no
      // percentage overflows them) before the scaling by 0.01.
      return {FloorToInt(static_cast<double>(std::int64_t{w} * value) * 0.01),
              FloorToInt(static_cast<double>(std::int64_t{h} * value) * 0.01)};
    case 'W':
      return {value, FloorToInt((static_cast<double>(value) / static_cast<double>(w)) *
                                static_cast<double>(h))};
    default:  // 'H'
      return {FloorToInt((static_cast<double>(value) / static_cast<double>(h)) *
                         static_cast<double>(w)),
              value};
  }
}

// Where target position k of `newSize` lies in a source of `oldSize`.
struct SourcePosition {
  int whole;        // floor of the position
  double fraction;  // position - whole, in [0, 1)
};

SourcePosition MapPosition(int k, int oldSize, int newSize) {
  const double position =
      (static_cast<double>(k) * (static_cast<double>(oldSize) - 1.0)) /
      (static_cast<double>(newSize) - 1.0);
  const int whole = static_cast<int>(Floor(position));
  return {whole, position - static_cast<double>(whole)};
}

std::uint8_t ToByte(double value) { return static_cast<std::uint8_t>(static_cast<unsigned>(value)); }

// Source pixels are read through clamped access: a neighbour past the last
// column or row repeats it.
void Interpolate(const BitmapImage& source, BitmapImage& target) {
  const int oldW = source.Width();
  const int oldH = source.Height();
  const int newW = target.Width();
  const int newH = target.Height();

  for (int j = 0; j <= newH - 2; ++j) {
    const SourcePosition y = MapPosition(j, oldH, newH);
    const double fy = y.fraction;
    ColorQuad* out = target.Row(j);
    for (int k = 0; k <= newW - 2; ++k) {
      const SourcePosition x = MapPosition(k, oldW, newW);
      const double fx = x.fraction;
      const ColorQuad& p00 = source.At(x.whole, y.whole);
      const ColorQuad& p10 = source.At(x.whole + 1, y.whole);
      const ColorQuad& p01 = source.At(x.whole, y.whole + 1);
      const ColorQuad& p11 = source.At(x.whole + 1, y.whole + 1);
      const double fxy = fx * fy;
      const double w00 = ((1.0 - fx) - fy) + fxy;
      const double w01 = fy - fxy;
      const double w10 = fx - fxy;
      const double w11 = fxy;
      // Blue is summed in its own order; the orders decide the last bit.
      out[k].red = ToByte(((p10.red * w10 + p01.red * w01) + p11.red * w11) + p00.red * w00);
      out[k].green =
          ToByte(((p10.green * w10 + p01.green * w01) + p11.green * w11) + p00.green * w00);
      out[k].blue = ToByte(((p11.blue * w11 + p00.blue * w00) + p10.blue * w10) + p01.blue * w01);
    }
    // Last column: vertical interpolation along the source's last column.
    const ColorQuad& q0 = source.At(oldW - 1, y.whole);
    const ColorQuad& q1 = source.At(oldW - 1, y.whole + 1);
    ColorQuad& last = out[newW - 1];
    last.red = ToByte(q1.red * fy + q0.red * (1.0 - fy));
    last.green = ToByte(q1.green * fy + q0.green * (1.0 - fy));
    last.blue = ToByte(q1.blue * fy + q0.blue * (1.0 - fy));
  }

  // Last row: horizontal interpolation along the source's last row.
  ColorQuad* bottom = target.Row(newH - 1);
  for (int k = 0; k <= newW - 2; ++k) {
    const SourcePosition x = MapPosition(k, oldW, newW);
    const double fx = x.fraction;
    const ColorQuad& r0 = source.At(x.whole, oldH - 1);
    const ColorQuad& r1 = source.At(x.whole + 1, oldH - 1);
    bottom[k].red = ToByte(r1.red * fx + r0.red * (1.0 - fx));
    bottom[k].green = ToByte(r1.green * fx + r0.green * (1.0 - fx));
    bottom[k].blue = ToByte(r1.blue * fx + r0.blue * (1.0 - fx));
  }

  // The corner takes the source's corner whole, alpha included.
  bottom[newW - 1] = source.At(oldW - 1, oldH - 1);
}

}  // namespace

bool ScaleImage(BitmapImage& image, char mode, int value) {
  const char m = ToUpperAscii(mode);
  // The working copy comes first: taking it stores the default resolution
  // into a zero resolution field, whatever happens next.
  const BitmapImage source(image);
  if (source.Width() != image.Width() || source.Height() != image.Height()) return false;

  if (m != 'P' && m != 'W' && m != 'H' && m != 'F') {
    if (DiagnosticsEnabled()) {
      char message[1024];
      FormatInto(message, sizeof message, "Bitmap Error: Unknown rescale mode %c requested\n", mode);
      RecordDiagnostic(message);
    }
    return false;
  }

  Size size = NewSize(m, value, source.Width(), source.Height());
  if (size.width < 1) size.width = 1;
  if (size.height < 1) size.height = 1;
  if (size.width > std::numeric_limits<int>::max() || size.height > std::numeric_limits<int>::max() ||
      size.width * size.height > kMaxPixels)
    return false;
  // Resize keeps the picture as it was when the memory cannot be had.
  if (!image.Resize(static_cast<int>(size.width), static_cast<int>(size.height))) return false;
  image.SetDepth(24);
  Interpolate(source, image);
  return true;
}

}  // namespace quendral
