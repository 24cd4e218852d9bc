#include "ops/scale_rows.h"

#include <atomic>

#include "ops/scale_plan.h"
#include "platform/memory.h"

// x86-64 processors with AVX2 make four pixels at once; the choice is made
// when the program runs, so the build stays for every x86-64 processor.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(_WIN32)
#define QUENDRAL_SCALE_AVX2 1
#include <immintrin.h>
#endif

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
// Columns from `first` on.
void InterpolatePlain(const ColorQuad* upper, const ColorQuad* lower, double fy,
                      const ScaleColumns& columns, ColorQuad* out, int first) {
  const std::int32_t* left = columns.left();
  const std::int32_t* right = columns.right();
  const double* fx = columns.fx();
  const double* oneMinusFx = columns.oneMinusFx();
  const int count = columns.count();
  for (int k = first; k < count; ++k) {
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

#if defined(QUENDRAL_SCALE_AVX2)
// A byte shuffle that takes byte `channel` of each 32-bit pixel to the low
// byte of its 32 bits and clears the other three.
__attribute__((target("avx2"))) __m256i ChannelBytes(char channel) {
  const char z = -1;
  const char c = channel;
  return _mm256_setr_epi8(c, z, z, z, c + 4, z, z, z, c + 8, z, z, z, c + 12, z, z, z,  //
                          c, z, z, z, c + 4, z, z, z, c + 8, z, z, z, c + 12, z, z, z);
}

// The four left (low) or right (high) neighbours' values of one channel as
// doubles.
__attribute__((target("avx2"))) inline __m256d LeftValues(__m256i v) {
  return _mm256_cvtepi32_pd(_mm256_castsi256_si128(v));
}
__attribute__((target("avx2"))) inline __m256d RightValues(__m256i v) {
  return _mm256_cvtepi32_pd(_mm256_extracti128_si256(v, 1));
}

// The plain statement, four target pixels in the four lanes of each vector:
// every lane makes the same IEEE double products and sums in the same
// order as the plain loop, one operation at a time (AVX2 has no fused
// multiply-add, and nothing here is reassociated). A pixel's right-hand
// neighbour is the one after its left-hand one in memory, as it always is
// in a source at least 2 pixels wide, so one 8-byte load fetches both.
__attribute__((target("avx2"))) void InterpolateAvx2(const ColorQuad* upper,
                                                     const ColorQuad* lower, double fy,
                                                     const ScaleColumns& columns, ColorQuad* out) {
  const std::int32_t* left = columns.left();
  const double* fx = columns.fx();
  const int count = columns.count();
  const __m256d fyv = _mm256_set1_pd(fy);
  const __m256d onev = _mm256_set1_pd(1.0);
  // Left neighbours' pixels to the low half, right neighbours' to the high.
  const __m256i split = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
  const __m256i blueBytes = ChannelBytes(0);
  const __m256i greenBytes = ChannelBytes(1);
  const __m256i redBytes = ChannelBytes(2);
  const auto* upperWords = reinterpret_cast<const long long*>(upper);
  const auto* lowerWords = reinterpret_cast<const long long*>(lower);
  // Where the four pixels' neighbours lie within eight source pixels that
  // the row holds (an upscale, or a downscale to half or more), one load
  // of those eight and a permutation fetch them, cheaper than a gather.
  const int lastWindow = columns.oldWidth() - 8;
  const __m256i one = _mm256_set1_epi32(1);
  int k = 0;
  for (; k + 4 <= count; k += 4) {
    const __m128i at = _mm_loadu_si128(reinterpret_cast<const __m128i*>(left + k));
    __m256i up, down;
    const int first = left[k];
    if (left[k + 3] - first <= 6 && first <= lastWindow) {
      const __m128i offsets = _mm_sub_epi32(at, _mm_set1_epi32(first));
      const __m256i lefts = _mm256_castsi128_si256(offsets);
      const __m256i pick = _mm256_inserti128_si256(
          lefts, _mm256_castsi256_si128(_mm256_add_epi32(lefts, one)), 1);
      up = _mm256_permutevar8x32_epi32(
          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(upper + first)), pick);
      down = _mm256_permutevar8x32_epi32(
          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(lower + first)), pick);
    } else {
      up = _mm256_permutevar8x32_epi32(_mm256_i32gather_epi64(upperWords, at, 4), split);
      down = _mm256_permutevar8x32_epi32(_mm256_i32gather_epi64(lowerWords, at, 4), split);
    }

    const __m256d fxv = _mm256_loadu_pd(fx + k);
    const __m256d fxy = _mm256_mul_pd(fxv, fyv);
    // 1 - fx made again rather than loaded: the same IEEE difference, and
    // a quarter less column table to stream through the cache.
    const __m256d w00 = _mm256_add_pd(_mm256_sub_pd(_mm256_sub_pd(onev, fxv), fyv), fxy);
    const __m256d w01 = _mm256_sub_pd(fyv, fxy);
    const __m256d w10 = _mm256_sub_pd(fxv, fxy);
    const __m256d w11 = fxy;

    // Each channel: p00 and p10 from `up`, p01 and p11 from `down`.
    const __m256i upRed = _mm256_shuffle_epi8(up, redBytes);
    const __m256i downRed = _mm256_shuffle_epi8(down, redBytes);
    const __m256d red = _mm256_add_pd(
        _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(RightValues(upRed), w10), _mm256_mul_pd(LeftValues(downRed), w01)),
                      _mm256_mul_pd(RightValues(downRed), w11)),
        _mm256_mul_pd(LeftValues(upRed), w00));
    const __m256i upGreen = _mm256_shuffle_epi8(up, greenBytes);
    const __m256i downGreen = _mm256_shuffle_epi8(down, greenBytes);
    const __m256d green = _mm256_add_pd(
        _mm256_add_pd(
            _mm256_add_pd(_mm256_mul_pd(RightValues(upGreen), w10), _mm256_mul_pd(LeftValues(downGreen), w01)),
            _mm256_mul_pd(RightValues(downGreen), w11)),
        _mm256_mul_pd(LeftValues(upGreen), w00));
    const __m256i upBlue = _mm256_shuffle_epi8(up, blueBytes);
    const __m256i downBlue = _mm256_shuffle_epi8(down, blueBytes);
    const __m256d blue = _mm256_add_pd(
        _mm256_add_pd(
            _mm256_add_pd(_mm256_mul_pd(RightValues(downBlue), w11), _mm256_mul_pd(LeftValues(upBlue), w00)),
            _mm256_mul_pd(RightValues(upBlue), w10)),
        _mm256_mul_pd(LeftValues(downBlue), w01));

    // Truncated toward zero; every sum lies in (-1, 256), so the 32-bit
    // truncation's low byte is the byte the plain loop stores.
    const __m128i b = _mm256_cvttpd_epi32(blue);
    const __m128i g = _mm256_cvttpd_epi32(green);
    const __m128i r = _mm256_cvttpd_epi32(red);
    const __m128i byteMask = _mm_set1_epi32(0xFF);
    const __m128i pixels =
        _mm_or_si128(_mm_or_si128(_mm_and_si128(b, byteMask), _mm_slli_epi32(_mm_and_si128(g, byteMask), 8)),
                     _mm_slli_epi32(_mm_and_si128(r, byteMask), 16));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), pixels);
  }
  // The last few pixels as the plain loop makes them.
  InterpolatePlain(upper, lower, fy, columns, out, k);
}

bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}
#endif

std::atomic<bool> fastPathAllowed{true};

}  // namespace

void SetScaleFastPathAllowed(bool allowed) { fastPathAllowed = allowed; }

bool ScaleFastPathInUse() {
#if defined(QUENDRAL_SCALE_AVX2)
  return fastPathAllowed && HasAvx2();
#else
  return false;
#endif
}

void InterpolateRow(const ColorQuad* upper, const ColorQuad* lower, double fy,
                    const ScaleColumns& columns, ColorQuad* out) {
#if defined(QUENDRAL_SCALE_AVX2)
  if (columns.oldWidth() >= 2 && ScaleFastPathInUse()) {
    InterpolateAvx2(upper, lower, fy, columns, out);
  } else {
    InterpolatePlain(upper, lower, fy, columns, out, 0);
  }
#else
  InterpolatePlain(upper, lower, fy, columns, out, 0);
#endif
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
