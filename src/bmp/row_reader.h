// Pulls a BMP file's pixel rows, bottom row first, as they are stored,
// after reading and judging its headers, colour table and masks. The
// whole-picture reader pulls every row into an image; the streaming mark
// job pulls a few at a time and passes them on.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bmp/header_parser.h"
#include "image/color_quad.h"

namespace quendral {

class File;

// How a 16-bit file's words become pixels: each channel is its masked bits
// brought down to at most 5 bits, times 8.
struct BitFields {
  std::uint16_t mask[3] = {0x7C00, 0x03E0, 0x001F};  // red, green, blue: 5-5-5
  int shift[3] = {0, 0, 0};

  // Alpha is 0.
  ColorQuad Decode(std::uint16_t word) const {
    return ColorQuad{static_cast<std::uint8_t>(8 * ((word & mask[2]) >> shift[2])),
                     static_cast<std::uint8_t>(8 * ((word & mask[1]) >> shift[1])),
                     static_cast<std::uint8_t>(8 * ((word & mask[0]) >> shift[0])), 0};
  }
};

class BmpRowReader {
 public:
  // The file must be open for reading at its first byte and outlive the
  // reader.
  explicit BmpRowReader(File& file) : file_(file) {}
  BmpRowReader(const BmpRowReader&) = delete;
  BmpRowReader& operator=(const BmpRowReader&) = delete;

  // Reads the sixteen header fields and judges them. Nothing else is read.
  HeaderVerdict ReadHeaders();
  const BmpHeaders& headers() const { return headers_; }

  // For accepted headers only: reads the colour table or the masks and
  // passes over what stands between them and the pixels. Nothing here can
  // fail; a file that ends early leaves what it did not give at its
  // defaults, and the rows then come out as ReadRows says.
  void ReadTables();

  int width() const { return headers_.info.biWidth; }
  int height() const { return headers_.info.biHeight; }
  int depth() const { return headers_.info.biBitCount; }
  // Bytes of one stored row, padding included.
  std::size_t stride() const { return stride_; }
  // The 2^depth entries at 1, 4 and 8 bits: the file's, then white.
  const ColorQuad* palette() const { return palette_; }
  const BitFields& bitFields() const { return fields_; }
  int rowsLeft() const { return rowsLeft_; }

  // Reads the next `count` stored rows (at most rowsLeft()) into `out`,
  // count x stride() bytes, and gives how many of them the file held in
  // full. At 1, 4, 8, 24 and 32 bits the rows past those, in this call and
  // every later one, are white: a file that ends inside a row gives no more
  // rows. At 16 bits every row is given: where the file has ended, each
  // missing word is the last word read (its low byte replaced by a lone
  // byte that arrived), or 0 before any. Padding bytes are left as read.
  std::size_t ReadRows(std::uint8_t* out, std::size_t count);

  // For rows too wide to take whole: reads the next `bytes` bytes of the
  // current row (at most what is left of it; at 16 bits an even count),
  // and gives how many the file held. At 16 bits that is always `bytes`,
  // missing words made as ReadRows makes them. A row read to its end in
  // pieces counts as read; one the file ends inside is, at the other
  // depths, white, as are all rows after it.
  std::size_t ReadRowBytes(std::uint8_t* out, std::size_t bytes);

 private:
  std::size_t ReadWordRows(std::uint8_t* out, std::size_t count);
  // Makes the words of `out[0, bytes)` that the file did not give, `got`
  // bytes having arrived.
  void FillMissingWords(std::uint8_t* out, std::size_t got, std::size_t bytes);

  File& file_;
  BmpHeaders headers_;
  std::size_t stride_ = 0;
  int rowsLeft_ = 0;
  bool ended_ = false;
  std::size_t rowOffset_ = 0;  // bytes of the current row read in pieces
  std::uint16_t word_ = 0;  // the last 16-bit word read
  ColorQuad palette_[256] = {};
  BitFields fields_;
};

}  // namespace quendral
