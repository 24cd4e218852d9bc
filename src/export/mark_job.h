// Load, mark and save: the export's whole job, with its outcome in detail.
// The job streams the file from input to output a few rows at a time; the
// same job over a picture held whole in memory stays beside it as the
// plain statement of what the stream must give, byte for byte.
#pragma once

#include "bmp/picture_output.h"
#include "image/bitmap_image.h"
#include "platform/file.h"

namespace quendral {

// Rows pass through a chunk of about this many bytes, reused from the
// first row to the last: the job's memory does not grow with the picture.
inline constexpr std::size_t kMarkChunkBytes = std::size_t{1} << 20;

// The job on a file open for reading at its first byte. The input is closed
// once its rows are read, before the output takes its place, so that the
// output may replace the input. Nothing is written when the input does not
// load. Rows wider than the chunk go through it in pieces; from an input
// whose size is unknown (a pipe) such a row is held whole, as far as the
// input gives it. Never throws.
JobResult StreamMarkJob(File& input, PictureOutput& output,
                            std::size_t chunkBytes = kMarkChunkBytes) noexcept;
// The same job through a whole picture in memory: Load, MarkTriangles, Save.
JobResult InMemoryMarkJob(File& input, PictureOutput& output) noexcept;

// The job from a path to the path that `outputPath()` gives.
template <typename OutputPath>
JobResult RunMarkJob(const char* inputPath, OutputPath&& outputPath) noexcept {
  try {
    File input = File::Open(inputPath, "rb");
    if (!input.IsOpen()) return JobResult{};
    ReplacingOutput output([&]() -> const char* { return outputPath(); });
    return StreamMarkJob(input, output);
  } catch (...) {
    // Only running out of memory can land here, before anything was read.
    return JobResult{};
  }
}

}  // namespace quendral
