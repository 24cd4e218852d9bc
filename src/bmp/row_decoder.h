// Stored rows of one file to pixels: the one decoder of each depth, which
// the whole-picture reader and the streaming jobs share.
#pragma once

#include <cstdint>
#include <memory>

#include "bmp/row_reader.h"
#include "image/color_quad.h"

namespace quendral {

class StoredRowDecoder {
 public:
  // For a reader whose headers were accepted and whose tables are read; the
  // reader must outlive the decoder.
  explicit StoredRowDecoder(const BmpRowReader& reader) : reader_(reader) {}

  // Readies the decoder for about `pixels` pixels: from 2^18 on, 16-bit
  // words are decoded through a table of all 65,536 answers, which repays
  // its making many times over. False when its memory cannot be had.
  bool Prepare(std::int64_t pixels);

  // One stored row (reader.stride() bytes) to reader.width() pixels; every
  // byte of every pixel is written.
  void Decode(const std::uint8_t* in, ColorQuad* out) const { DecodePixels(in, out, reader_.width()); }

  // The same for the first `count` pixels of stored bytes starting on a
  // byte (a piece of a row).
  void DecodePixels(const std::uint8_t* in, ColorQuad* out, int count) const;

 private:
  const BmpRowReader& reader_;
  std::unique_ptr<ColorQuad[]> wordTable_;
};

}  // namespace quendral
