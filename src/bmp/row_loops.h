// The inner loops of the BMP reader and writer: one stored row to image
// pixels and back. Each states in a comment what it computes; the loops are
// written so that compilers turn them into few wide operations, and tests
// hold each one against the plain per-pixel statement.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "image/color_quad.h"

// x86-64 processors with SSSE3 do most of a 24-bit row with byte shuffles
// (row_loops_x86.cpp): the same bytes. Each gives how many pixels it did
// from the start of the row, 0 where the processor lacks them.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(_WIN32)
#define QUENDRAL_ROW_SHUFFLES 1
#endif

namespace quendral::rows {

#if defined(QUENDRAL_ROW_SHUFFLES)
int Expand24Shuffled(const std::uint8_t* in, ColorQuad* out, int width);
int Pack24Shuffled(const ColorQuad* in, std::uint8_t* out, int width);
#else
inline int Expand24Shuffled(const std::uint8_t*, ColorQuad*, int) { return 0; }
inline int Pack24Shuffled(const ColorQuad*, std::uint8_t*, int) { return 0; }
#endif

// A 32-bit word whose bytes in memory are b0 b1 b2 b3, whatever the host's
// byte order; masks built this way select bytes by their place in memory.
inline std::uint32_t BytePattern(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2,
                                 std::uint8_t b3) {
  const std::uint8_t bytes[4] = {b0, b1, b2, b3};
  std::uint32_t word;
  std::memcpy(&word, bytes, 4);
  return word;
}

// Rows moved by one read or write call: as many as fill 256 KiB, which
// stays in the processor's cache between the file and the pixels, and at
// least one; never more than the picture has.
inline std::size_t RowsPerTransfer(std::size_t rowBytes, int height) {
  constexpr std::size_t kTransferBytes = std::size_t{256} << 10;
  std::size_t rows = kTransferBytes / rowBytes;
  if (rows < 1) rows = 1;
  if (rows > static_cast<std::size_t>(height)) rows = static_cast<std::size_t>(height);
  return rows;
}

// --- reading: stored row -> pixels, every byte of every pixel written -------

// Pixel i = bytes 4i .. 4i + 3 as blue, green, red, alpha: the stored order
// is the pixel's own, so the row is copied as it stands.
inline void Expand32(const std::uint8_t* in, ColorQuad* out, int width) {
  std::memcpy(out, in, 4 * static_cast<std::size_t>(width));
}

// Pixel i = bytes 3i, 3i + 1, 3i + 2 as blue, green, red, with alpha 0.
// All but the last pixel take four bytes at once (the fourth, the next
// pixel's blue, is masked off), so no byte past the row is read.
inline void Expand24(const std::uint8_t* in, ColorQuad* out, int width) {
  const std::uint32_t colourBytes = BytePattern(0xFF, 0xFF, 0xFF, 0x00);
  int i = Expand24Shuffled(in, out, width);
  for (; i + 1 < width; ++i) {
    std::uint32_t word;
    std::memcpy(&word, in + 3 * static_cast<std::size_t>(i), 4);
    word &= colourBytes;
    std::memcpy(out + i, &word, 4);
  }
  for (; i < width; ++i) {
    const std::uint8_t* p = in + 3 * static_cast<std::size_t>(i);
    out[i] = ColorQuad{p[0], p[1], p[2], 0};
  }
}

// Pixel i = table[byte i].
inline void Expand8(const std::uint8_t* in, ColorQuad* out, int width, const ColorQuad* table) {
  for (int i = 0; i < width; ++i) out[i] = table[in[i]];
}

// Pixel i = table[high nibble of byte i / 2] for even i, table[low nibble]
// for odd i.
inline void Expand4(const std::uint8_t* in, ColorQuad* out, int width, const ColorQuad* table) {
  const int pairs = width / 2;
  for (int k = 0; k < pairs; ++k) {
    out[2 * k] = table[in[k] >> 4];
    out[2 * k + 1] = table[in[k] & 0x0F];
  }
  if (width % 2 != 0) out[width - 1] = table[in[pairs] >> 4];
}

// Pixel i = table[bit 7 - i mod 8 of byte i / 8]: the leftmost pixel in
// the highest bit.
inline void Expand1(const std::uint8_t* in, ColorQuad* out, int width, const ColorQuad* table) {
  const int bytes = width / 8;
  for (int k = 0; k < bytes; ++k, out += 8) {
    const unsigned byte = in[k];
    for (int b = 0; b < 8; ++b) out[b] = table[(byte >> (7 - b)) & 1];
  }
  for (int b = 0; b < width % 8; ++b) out[b] = table[(in[bytes] >> (7 - b)) & 1];
}

// Pixel i = lut[little-endian 16-bit word i]; the table holds the pixel
// that each word decodes to.
inline void Expand16(const std::uint8_t* in, ColorQuad* out, int width, const ColorQuad* lut) {
  for (int i = 0; i < width; ++i) out[i] = lut[in[2 * i] | (in[2 * i + 1] << 8)];
}

// --- writing: pixels -> stored row, the row's padding left alone -----------

// Bytes 4i .. 4i + 3 = blue, green, red, alpha of pixel i: the pixels'
// own bytes.
inline void Pack32(const ColorQuad* in, std::uint8_t* out, int width) {
  std::memcpy(out, in, 4 * static_cast<std::size_t>(width));
}

// Bytes 3i, 3i + 1, 3i + 2 = blue, green, red of pixel i. All but the last
// pixel are stored four bytes at once; the fourth byte lands on the next
// pixel's blue, which the next store puts right, so nothing is written past
// the row's 3 x width bytes.
inline void Pack24(const ColorQuad* in, std::uint8_t* out, int width) {
  int i = Pack24Shuffled(in, out, width);
  for (; i + 1 < width; ++i) std::memcpy(out + 3 * static_cast<std::size_t>(i), in + i, 4);
  for (; i < width; ++i) {
    std::uint8_t* p = out + 3 * static_cast<std::size_t>(i);
    p[0] = in[i].blue;
    p[1] = in[i].green;
    p[2] = in[i].red;
  }
}

// Word i, little-endian at bytes 2i and 2i + 1, = the 5-6-5 packing of
// pixel i: red's top 5 bits, green's top 6, blue's top 5.
inline void Pack565(const ColorQuad* in, std::uint8_t* out, int width) {
  for (int i = 0; i < width; ++i) {
    const unsigned word = ((in[i].red >> 3) << 11) | ((in[i].green >> 2) << 5) | (in[i].blue >> 3);
    out[2 * i] = static_cast<std::uint8_t>(word);
    out[2 * i + 1] = static_cast<std::uint8_t>(word >> 8);
  }
}

// Pixel i's colour-table index, matcher.Match(pixel i), packed most
// significant bits first: at 8 bits byte i; at 4 and 1 bits byte k holds
// the low 8 bits of the sum of index(i) x 2^(depth x (pixels per byte - 1 -
// place of pixel i in the byte)) over its pixels, so the first pixel of a
// byte weighs 16 (4 bits) or 128 (1 bit), and bits past the last pixel are
// 0. The loops do that for the whole bytes of a row, then for the part byte.
template <typename Matcher>
void PackIndices(const ColorQuad* in, std::uint8_t* out, int width, int depth, Matcher& matcher) {
  if (depth == 8) {
    matcher.MatchRun(in, out, width);
    return;
  }
  // Indices a piece at a time (a whole number of bytes), then packed.
  constexpr int kPiece = 256;
  std::uint8_t indices[kPiece];
  const int pixelsPerByte = 8 / depth;
  for (int done = 0; done < width; done += kPiece) {
    const int count = std::min(kPiece, width - done);
    matcher.MatchRun(in + done, indices, count);
    std::uint8_t* bytes = out + done / pixelsPerByte;
    const int wholeBytes = count / pixelsPerByte;
    const std::uint8_t* index = indices;
    if (depth == 4) {
      for (int k = 0; k < wholeBytes; ++k, index += 2)
        bytes[k] = static_cast<std::uint8_t>(16u * index[0] + index[1]);
    } else {
      for (int k = 0; k < wholeBytes; ++k, index += 8) {
        unsigned sum = 0;
        for (int b = 0; b < 8; ++b) sum += static_cast<unsigned>(index[b]) << (7 - b);
        bytes[k] = static_cast<std::uint8_t>(sum);
      }
    }
    const int rest = count - wholeBytes * pixelsPerByte;
    if (rest > 0) {
      unsigned sum = 0;
      for (int b = 0; b < rest; ++b)
        sum += static_cast<unsigned>(index[b]) << (depth * (pixelsPerByte - 1 - b));
      bytes[wholeBytes] = static_cast<std::uint8_t>(sum);
    }
  }
}

}  // namespace quendral::rows
