// What every fuzz target shares: the entry point that libFuzzer and the
// replay driver call, a failure that both report, and a reader of the
// fuzzer's bytes as small typed values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

// A broken invariant must stop the run whatever the build: abort() is a
// crash to libFuzzer and a failed test to the replay driver.
#define FUZZ_CHECK(condition)                                                                \
  do {                                                                                       \
    if (!(condition)) {                                                                      \
      std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                          \
    }                                                                                        \
  } while (false)

// Leaves a function out of the fuzzer's coverage tracing (clang 13 on).
#if defined(__clang__) && __clang_major__ >= 13
#define QUENDRAL_FUZZ_UNTRACED __attribute__((no_sanitize("coverage")))
#else
#define QUENDRAL_FUZZ_UNTRACED
#endif

namespace quendral::fuzz {

// Takes values off the front of the input; once it is used up every value
// is 0, so that any input, however short, describes one complete case.
class InputBytes {
 public:
  InputBytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  std::uint8_t Byte() {
    if (size_ == 0) return 0;
    --size_;
    return *data_++;
  }
  std::int32_t Int32() {
    std::uint32_t value = 0;
    for (int k = 0; k < 4; ++k) value |= std::uint32_t{Byte()} << (8 * k);
    return static_cast<std::int32_t>(value);
  }
  // Mostly small numbers around 0, sometimes the edges of the 32-bit range
  // or any 32-bit value: clipping and size arithmetic break at the edges.
  std::int32_t Coordinate() {
    const std::uint8_t kind = Byte();
    if (kind < 192) return static_cast<std::int32_t>(kind % 96) - 40;
    if (kind < 240) {
      static const std::int32_t kEdges[] = {INT32_MIN, INT32_MIN + 1, -65536,        -1,       0,
                                            1,         65535,         INT32_MAX - 1, INT32_MAX};
      return kEdges[kind % (sizeof kEdges / sizeof kEdges[0])];
    }
    return Int32();
  }
  bool Empty() const { return size_ == 0; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
};

}  // namespace quendral::fuzz
