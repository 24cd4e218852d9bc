// The rows of a rescaled picture made one at a time from two source rows:
// the inner loops of the streamed rescale. Each target pixel comes out
// exactly as the in-memory rescale makes it, every product and sum in the
// same order and in double precision.
#pragma once

#include <cstdint>
#include <memory>

#include "image/color_quad.h"

namespace quendral {

// Where each target column but the last reads the source, computed once for
// every row: the source columns to its left and right (clamped into the
// source) and the fraction between them.
class ScaleColumns {
 public:
  // False when the table's memory cannot be had.
  bool Prepare(int oldWidth, int newWidth);

  int oldWidth() const { return oldWidth_; }
  int newWidth() const { return newWidth_; }
  int count() const { return newWidth_ - 1; }  // the columns in the table
  const std::int32_t* left() const { return left_.get(); }
  const std::int32_t* right() const { return right_.get(); }
  const double* fx() const { return fx_.get(); }
  const double* oneMinusFx() const { return oneMinusFx_.get(); }

 private:
  int oldWidth_ = 0;
  int newWidth_ = 0;
  std::unique_ptr<std::int32_t[]> left_, right_;
  std::unique_ptr<double[]> fx_, oneMinusFx_;
};

// A target row above the last: every pixel between the four neighbours in
// `upper` and `lower` (source rows sy and sy + 1, clamped) with row fraction
// `fy`; its last pixel between the two rows' last pixels. Alpha is 0.
void InterpolateRow(const ColorQuad* upper, const ColorQuad* lower, double fy,
                    const ScaleColumns& columns, ColorQuad* out);

// The target's last row: along the source's last row `bottom`, and its last
// pixel the source's last pixel whole, alpha included.
void InterpolateLastRow(const ColorQuad* bottom, const ScaleColumns& columns, ColorQuad* out);

// Whether InterpolateRow may take a faster path of this processor (the same
// bytes either way); on by default. Off forces the plain loop, so that
// tests and benchmarks can hold the two against each other.
void SetScaleFastPathAllowed(bool allowed);
bool ScaleFastPathInUse();

}  // namespace quendral
