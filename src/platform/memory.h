// Allocation that reports failure instead of throwing.
#pragma once

#include <cstddef>
#include <memory>
#include <new>

namespace quendral {

// An array of `count` default-initialised elements, or null when the memory
// cannot be had. Callers that size arrays from file data check the count
// against their own limits first.
template <typename T>
std::unique_ptr<T[]> AllocateArray(std::size_t count) {
  return std::unique_ptr<T[]>(new (std::nothrow) T[count]);
}

}  // namespace quendral
