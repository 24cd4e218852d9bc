// The 24-bit row loops with byte shuffles, for x86-64 processors that have
// SSSE3 (chosen when the program runs): the same bytes as the plain loops,
// four pixels a shuffle.
#include "bmp/row_loops.h"

#if defined(QUENDRAL_ROW_SHUFFLES)
#include <immintrin.h>

namespace quendral::rows {
namespace {

bool HasShuffles() {
  static const bool has = __builtin_cpu_supports("ssse3");
  return has;
}

}  // namespace

// Four pixels from 12 bytes: each stored three bytes to blue, green, red,
// and a zero byte as alpha. A 16-byte load reads 4 bytes past the 12, so
// the loop stops where those would leave the row.
__attribute__((target("ssse3"))) int Expand24Shuffled(const std::uint8_t* in, ColorQuad* out,
                                                      int width) {
  if (!HasShuffles()) return 0;
  const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  int i = 0;
  for (; i + 6 <= width; i += 4) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 3 * static_cast<std::size_t>(i)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_shuffle_epi8(bytes, spread));
  }
  return i;
}

// Four pixels to 12 bytes, alpha left out. Each 16-byte store writes 4
// bytes past the 12, which the next store puts right; the loop stops
// where those would leave the row.
__attribute__((target("ssse3"))) int Pack24Shuffled(const ColorQuad* in, std::uint8_t* out,
                                                    int width) {
  if (!HasShuffles()) return 0;
  const __m128i gather = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  int i = 0;
  for (; i + 6 <= width; i += 4) {
    const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * static_cast<std::size_t>(i)),
                     _mm_shuffle_epi8(pixels, gather));
  }
  return i;
}

}  // namespace quendral::rows
#endif
