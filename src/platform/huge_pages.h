// Large pixel blocks on large pages, where the system offers them.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace quendral {

// Asks the system to back the whole 2 MiB pages inside a block that has
// not been touched yet with huge pages. A camera picture takes some 24,000
// ordinary pages, and on first touch each one costs a fault that can take
// longer than all the work done on it; huge pages take some 50 faults.
// Only a request: where it is refused or unknown the block works as before.
inline void AdviseHugePages(void* block, std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
  if (bytes < 4 * kHugePage) return;  // too small to be worth a system call
  const auto start = reinterpret_cast<std::uintptr_t>(block);
  const std::uintptr_t first = (start + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t last = (start + bytes) & ~(kHugePage - 1);
  if (last > first) (void)madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
  (void)block;
  (void)bytes;
#endif
}

}  // namespace quendral
