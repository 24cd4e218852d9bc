#include "ops/scale_rows.h"

#include "ops/scale_plan.h"
#include "platform/memory.h"

namespace quendral {

bool ScaleColumns::Prepare(int oldWidth, int newWidth) {
  oldWidth_ = oldWidth;
  newWidth_ = newWidth;
  const std::size_t n = static_cast<std::size_t>(newWidth) - 1;
  left_ = AllocateArray<std::int32_t>(n + 1);
  right_ = AllocateArray<std::int32_t>(n + 1);
  fx_ = AllocateArray<double>(n + 1);
  oneMinusFx_ = AllocateArray<double>(n + 1);
  if (!left_ || !right_ || !fx_ || !oneMinusFx_) return false;
  for (std::size_t k = 0; k < n; ++k) {
    const SourcePosition x = MapPosition(static_cast<int>(k), oldWidth, newWidth);
    left_[k] = ClampIndex(x.whole, oldWidth);
    right_[k] = ClampIndex(x.whole + 1, oldWidth);
    fx_[k] = x.fraction;
    oneMinusFx_[k] = 1.0 - x.fraction;
  }
  return true;
}

namespace {

// The plain statement: with p00, p10 the left and right neighbours in the
// upper row and p01, p11 in the lower,
//   w00 = ((1 - fx) - fy) + fx fy, w01 = fy - fx fy, w10 = fx - fx fy,
//   w11 = fx fy,
//   red and green = ((p10 w10 + p01 w01) + p11 w11) + p00 w00,
//   blue          = ((p11 w11 + p00 w00) + p10 w10) + p01 w01,
// each truncated to a byte.
void InterpolatePlain(const ColorQuad* upper, const ColorQuad* lower, double fy,
                      const ScaleColumns& columns, ColorQuad* out) {
  const std::int32_t* left = columns.left();
  const std::int32_t* right = columns.right();
  const double* fx = columns.fx();
  const double* oneMinusFx = columns.oneMinusFx();
  const int count = columns.count();
  for (int k = 0; k < count; ++k) {
    const ColorQuad p00 = upper[left[k]];
    const ColorQuad p10 = upper[right[k]];
    const ColorQuad p01 = lower[left[k]];
    const ColorQuad p11 = lower[right[k]];
    const double fxy = fx[k] * fy;
    const double w00 = (oneMinusFx[k] - fy) + fxy;
    const double w01 = fy - fxy;
    const double w10 = fx[k] - fxy;
    const double w11 = fxy;
    out[k].red = ToByte(((p10.red * w10 + p01.red * w01) + p11.red * w11) + p00.red * w00);
    out[k].green =
        ToByte(((p10.green * w10 + p01.green * w01) + p11.green * w11) + p00.green * w00);
    out[k].blue = ToByte(((p11.blue * w11 + p00.blue * w00) + p10.blue * w10) + p01.blue * w01);
    out[k].alpha = 0;
  }
}

bool fastPathAllowed = true;

}  // namespace

void SetScaleFastPathAllowed(bool allowed) { fastPathAllowed = allowed; }
bool ScaleFastPathInUse() { return false; }

void InterpolateRow(const ColorQuad* upper, const ColorQuad* lower, double fy,
                    const ScaleColumns& columns, ColorQuad* out) {
  InterpolatePlain(upper, lower, fy, columns, out);
  // The last column lies on the source's last column: between two rows only.
  const int last = columns.oldWidth() - 1;
  const ColorQuad q0 = upper[last];
  const ColorQuad q1 = lower[last];
  ColorQuad& pixel = out[columns.newWidth() - 1];
  pixel.red = ToByte(q1.red * fy + q0.red * (1.0 - fy));
  pixel.green = ToByte(q1.green * fy + q0.green * (1.0 - fy));
  pixel.blue = ToByte(q1.blue * fy + q0.blue * (1.0 - fy));
  pixel.alpha = 0;
}

void InterpolateLastRow(const ColorQuad* bottom, const ScaleColumns& columns, ColorQuad* out) {
  const std::int32_t* left = columns.left();
  const std::int32_t* right = columns.right();
  const double* fx = columns.fx();
  const double* oneMinusFx = columns.oneMinusFx();
  for (int k = 0; k < columns.count(); ++k) {
    const ColorQuad r0 = bottom[left[k]];
    const ColorQuad r1 = bottom[right[k]];
    out[k].red = ToByte(r1.red * fx[k] + r0.red * oneMinusFx[k]);
    out[k].green = ToByte(r1.green * fx[k] + r0.green * oneMinusFx[k]);
    out[k].blue = ToByte(r1.blue * fx[k] + r0.blue * oneMinusFx[k]);
    out[k].alpha = 0;
  }
  out[columns.newWidth() - 1] = bottom[columns.oldWidth() - 1];
}

}  // namespace quendral
