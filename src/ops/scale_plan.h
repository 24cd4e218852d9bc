// What a rescale makes of a picture's size and where each target pixel
// reads the source: shared by the rescale of a picture in memory and the
// rescale of a file streamed row by row, so that both agree to the bit.
#pragma once

#include <cstdint>

namespace quendral {

// The mode letter upper-cased when it is one of P, W, H and F; otherwise 0,
// with the unknown-mode diagnostic recorded while diagnostics are on.
char CheckScaleMode(char mode);

struct ScaledSize {
  int width = 1;
  int height = 1;
};

// The new size for an upper-cased mode from CheckScaleMode, each side at
// least 1. False when the new picture would pass the pixel limit.
bool ComputeScaledSize(char upperMode, int value, int oldWidth, int oldHeight, ScaledSize& size);

// Where target position k of `newSize` lies in a source of `oldSize`: the
// floor of the position and what is left over, in [0, 1). Meant for every
// position but the last, which lies on the source's last one.
struct SourcePosition {
  int whole;
  double fraction;
};
SourcePosition MapPosition(int k, int oldSize, int newSize);

// A source index clamped into 0 .. size - 1, as clamped pixel access would.
inline int ClampIndex(int index, int size) {
  if (index >= size) index = size - 1;
  if (index < 0) index = 0;
  return index;
}

// An interpolated channel, truncated toward zero.
inline std::uint8_t ToByte(double value) {
  return static_cast<std::uint8_t>(static_cast<unsigned>(value));
}

}  // namespace quendral
