// Bytes in one stored BMP row: width x depth bits, filled up to a multiple of 4.
#pragma once

#include <cstdint>

namespace quendral {

// Computed the way the file format's users have always computed it (a
// double estimate corrected upward); exact for every width and depth, in
// 64 bits so that no product can overflow.
inline std::int64_t RowStride(std::int64_t width, std::int64_t depth) {
  const std::int64_t bits = width * depth;
  auto size = static_cast<std::int64_t>(static_cast<double>(bits) * 0.125);
  while (8 * size < bits) ++size;
  while (size % 4 != 0) ++size;
  return size;
}

}  // namespace quendral
