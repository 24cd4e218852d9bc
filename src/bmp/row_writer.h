// Writes a BMP file front to back from its stored rows, bottom row first:
// the header values for a picture's size, depth and resolution, then the
// colour table or the masks, then rows as the caller encodes them. The
// whole-picture writer encodes an image's rows into it; the streaming mark
// job passes rows on from the reader.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bmp/headers.h"
#include "image/color_quad.h"

namespace quendral {

class File;

// What a picture's file holds, with every size as the format's writers
// have always computed it (in double precision, each a whole number).
struct BmpFilePlan {
  FileHeader file;
  InfoHeader info;
  std::size_t stride = 0;  // bytes of one stored row, padding included

  // False when the file would not fit the format's 32-bit sizes.
  bool fits = false;
};

// The header values for a picture. A resolution of 0 is stored as 3780
// pixels per metre.
BmpFilePlan PlanBmpFile(int width, int height, int depth, std::int32_t xPelsPerMeter,
                        std::int32_t yPelsPerMeter);

class BmpRowWriter {
 public:
  BmpRowWriter(File& file, const BmpFilePlan& plan) : file_(file), plan_(plan) {}

  // The headers, and the colour table of 2^depth entries (entries as stored: blue, green,
  // red, alpha) or the 5-6-5 masks. False when a write came up short.
  bool WriteHead(const ColorQuad* palette);
  // `count` stored rows of plan.stride bytes each, next in file order.
  bool WriteRows(const std::uint8_t* rows, std::size_t count);
  // Part of a row, for rows written in pieces.
  bool WriteBytes(const std::uint8_t* bytes, std::size_t count);

 private:
  File& file_;
  BmpFilePlan plan_;
};

}  // namespace quendral
