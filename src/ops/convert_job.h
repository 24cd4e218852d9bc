// Load, change the depth, save: the convert command's job. The job streams
// the file from input to output a few rows at a time, converting each row
// as it passes; the same composition over a picture held whole in memory
// stays beside it as the plain statement of what the stream must give,
// byte for byte.
#pragma once

#include <cstddef>

#include "bmp/picture_output.h"
#include "platform/file.h"

namespace quendral {

// What a picture is converted to: a depth (1, 4, 8, 16, 24 or 32) and, at
// 1, 4 and 8 bits, the grey table instead of the standard one.
struct ConvertTarget {
  int depth = 24;
  bool grey = false;
};

// Whether the target is one a picture can be converted to: a depth an
// image takes, and the grey table only at depths that have a table.
bool IsValidConvertTarget(const ConvertTarget& target);

// Rows pass through chunks of about this many bytes, reused from the first
// row to the last: the job's memory does not grow with the picture.
inline constexpr std::size_t kConvertChunkBytes = std::size_t{256} << 10;

// The job on a file open for reading at its first byte: what Load, then
// SetDepth(target.depth), then FillGrayPalette() when target.grey, then Save
// give. The input is closed once its rows are read, before the output takes
// its place, so that the output may replace the input. Nothing is read or
// written for an invalid target, and nothing is written when the input
// does not load. Rows wider than the chunk go through it in pieces; from an
// input whose size is unknown (a pipe) such a row is held whole, as far as
// the input gives it. Never throws.
JobResult StreamConvertJob(File& input, PictureOutput& output, const ConvertTarget& target,
                               std::size_t chunkBytes = kConvertChunkBytes) noexcept;
// The same job through a whole picture in memory.
JobResult InMemoryConvertJob(File& input, PictureOutput& output,
                                 const ConvertTarget& target) noexcept;

}  // namespace quendral
