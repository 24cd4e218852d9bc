#include "ops/rescale.h"

#include <algorithm>
#include <cstdint>
#include <memory>

#include "image/bitmap_image.h"
#include "ops/scale_plan.h"
#include "platform/memory.h"

namespace quendral {
namespace {

// One target column's source position. It does not depend on the row, so
// it is computed once for all rows. The neighbours' columns are clamped
// into the source as clamped pixel access would clamp them, so that the
// rows can be indexed directly.
struct SourceColumn {
  int left;           // clamp(sx)
  int right;          // clamp(sx + 1)
  double fx;          // x - sx
  double oneMinusFx;  // 1.0 - fx
};

SourceColumn SourceColumnOf(int k, int oldW, int newW) {
  const SourcePosition x = MapPosition(k, oldW, newW);
  return {ClampIndex(x.whole, oldW), ClampIndex(x.whole + 1, oldW), x.fraction, 1.0 - x.fraction};
}

// Target columns are interpolated a block at a time, the block's source
// positions computed once for all rows; a block's table stays in the
// processor's cache whatever the width.
constexpr int kColumnBlock = 4096;

// The target's last column, last row and corner lie on the source's last
// column and row; everything else is interpolated between four neighbours.
// Each sum below is formed in its stated order: the orders decide the last
// bit, and so the byte. `columns` has room for kColumnBlock entries.
void Interpolate(const BitmapImage& source, SourceColumn* columns, BitmapImage& target) {
  const int oldW = source.Width();
  const int oldH = source.Height();
  const int newW = target.Width();
  const int newH = target.Height();
  const ColorQuad* sourceBottom = source.Row(oldH - 1);
  ColorQuad* bottom = target.Row(newH - 1);

  for (int first = 0; first < newW - 1; first += kColumnBlock) {
    const int count = std::min(kColumnBlock, newW - 1 - first);
    for (int n = 0; n < count; ++n) columns[n] = SourceColumnOf(first + n, oldW, newW);

    for (int j = 0; j <= newH - 2; ++j) {
      const SourcePosition y = MapPosition(j, oldH, newH);
      const double fy = y.fraction;
      const ColorQuad* upper = source.Row(ClampIndex(y.whole, oldH));
      const ColorQuad* lower = source.Row(ClampIndex(y.whole + 1, oldH));
      ColorQuad* out = target.Row(j) + first;
      for (int n = 0; n < count; ++n) {
        const SourceColumn& x = columns[n];
        const ColorQuad& p00 = upper[x.left];
        const ColorQuad& p10 = upper[x.right];
        const ColorQuad& p01 = lower[x.left];
        const ColorQuad& p11 = lower[x.right];
        const double fxy = x.fx * fy;
        const double w00 = (x.oneMinusFx - fy) + fxy;  // ((1 - fx) - fy) + fx fy
        const double w01 = fy - fxy;
        const double w10 = x.fx - fxy;
        const double w11 = fxy;
        out[n].red = ToByte(((p10.red * w10 + p01.red * w01) + p11.red * w11) + p00.red * w00);
        out[n].green =
            ToByte(((p10.green * w10 + p01.green * w01) + p11.green * w11) + p00.green * w00);
        out[n].blue =
            ToByte(((p11.blue * w11 + p00.blue * w00) + p10.blue * w10) + p01.blue * w01);
      }
    }

    // Last row: horizontal interpolation along the source's last row.
    for (int n = 0; n < count; ++n) {
      const SourceColumn& x = columns[n];
      const ColorQuad& r0 = sourceBottom[x.left];
      const ColorQuad& r1 = sourceBottom[x.right];
      ColorQuad& out = bottom[first + n];
      out.red = ToByte(r1.red * x.fx + r0.red * x.oneMinusFx);
      out.green = ToByte(r1.green * x.fx + r0.green * x.oneMinusFx);
      out.blue = ToByte(r1.blue * x.fx + r0.blue * x.oneMinusFx);
    }
  }

  // Last column: vertical interpolation along the source's last column.
  for (int j = 0; j <= newH - 2; ++j) {
    const SourcePosition y = MapPosition(j, oldH, newH);
    const double fy = y.fraction;
    const ColorQuad& q0 = source.Row(ClampIndex(y.whole, oldH))[oldW - 1];
    const ColorQuad& q1 = source.Row(ClampIndex(y.whole + 1, oldH))[oldW - 1];
    ColorQuad& last = target.Row(j)[newW - 1];
    last.red = ToByte(q1.red * fy + q0.red * (1.0 - fy));
    last.green = ToByte(q1.green * fy + q0.green * (1.0 - fy));
    last.blue = ToByte(q1.blue * fy + q0.blue * (1.0 - fy));
  }

  // The corner takes the source's corner whole, alpha included.
  bottom[newW - 1] = sourceBottom[oldW - 1];
}

}  // namespace

bool ScaleImage(BitmapImage& image, char mode, int value) {
  // The working copy comes first: taking it stores the default resolution
  // into a zero resolution field, whatever happens next.
  const BitmapImage source(image);
  if (source.Width() != image.Width() || source.Height() != image.Height()) return false;
  const char m = CheckScaleMode(mode);
  if (m == 0) return false;
  ScaledSize size;
  if (!ComputeScaledSize(m, value, source.Width(), source.Height(), size)) return false;
  // Without the memory for the columns or the new pixels the picture stays
  // as it was (Resize keeps it when it fails).
  const std::unique_ptr<SourceColumn[]> columns = AllocateArray<SourceColumn>(kColumnBlock);
  if (!columns || !image.Resize(size.width, size.height)) return false;
  image.SetDepth(24);
  Interpolate(source, columns.get(), image);
  return true;
}

}  // namespace quendral
