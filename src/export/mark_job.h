// Load, mark and save: the export's whole job, with its outcome in detail.
// The job streams the file from input to output a few rows at a time; the
// same job over a picture held whole in memory stays beside it as the
// plain statement of what the stream must give, byte for byte.
#pragma once

#include <functional>
#include <optional>
#include <utility>

#include "image/bitmap_image.h"
#include "platform/file.h"
#include "platform/output_file.h"

namespace quendral {

struct MarkJobResult {
  bool loaded = false;   // the input was read as a picture
  bool written = false;  // the marked picture reached the output
  SaveStatus save;       // why the output was or was not written
};

// Where a marked picture goes.
class MarkOutput {
 public:
  virtual ~MarkOutput() = default;
  // The file to write, asked for only once the input has loaded; null,
  // with `status` saying why, when it cannot be opened.
  virtual File* Open(SaveStatus& status) = 0;
  // Once every byte is written: true when the picture is complete in its
  // place.
  virtual bool Finish(SaveStatus& status) = 0;
};

// A path, through a new file that takes the path's place only when it is
// complete; the path is asked for when the output is opened.
class ReplacingOutput final : public MarkOutput {
 public:
  explicit ReplacingOutput(std::function<const char*()> path) : path_(std::move(path)) {}
  File* Open(SaveStatus& status) override;
  bool Finish(SaveStatus& status) override;

 private:
  std::function<const char*()> path_;
  std::optional<OutputFile> output_;
};

// A stream already open for writing (standard output, a memory stream),
// written straight.
class DirectOutput final : public MarkOutput {
 public:
  explicit DirectOutput(File& file) : file_(file) {}
  File* Open(SaveStatus&) override { return &file_; }
  bool Finish(SaveStatus& status) override;

 private:
  File& file_;
};

// Rows pass through a chunk of about this many bytes, reused from the
// first row to the last: the job's memory does not grow with the picture.
inline constexpr std::size_t kMarkChunkBytes = std::size_t{1} << 20;

// The job on a file open for reading at its first byte. The input is closed
// once its rows are read, before the output takes its place, so that the
// output may replace the input. Nothing is written when the input does not
// load. Rows wider than the chunk go through it in pieces; from an input
// whose size is unknown (a pipe) such a row is held whole, as far as the
// input gives it. Never throws.
MarkJobResult StreamMarkJob(File& input, MarkOutput& output,
                            std::size_t chunkBytes = kMarkChunkBytes) noexcept;
// The same job through a whole picture in memory: Load, MarkTriangles, Save.
MarkJobResult InMemoryMarkJob(File& input, MarkOutput& output) noexcept;
// The last step of a job through a whole picture: saves `image` at its
// depth to `output`, recording in `result` whether and why it was written.
void SaveHeldPicture(BitmapImage& image, MarkOutput& output, MarkJobResult& result);

// The job from a path to the path that `outputPath()` gives.
template <typename OutputPath>
MarkJobResult RunMarkJob(const char* inputPath, OutputPath&& outputPath) noexcept {
  try {
    File input = File::Open(inputPath, "rb");
    if (!input.IsOpen()) return MarkJobResult{};
    ReplacingOutput output([&]() -> const char* { return outputPath(); });
    return StreamMarkJob(input, output);
  } catch (...) {
    // Only running out of memory can land here, before anything was read.
    return MarkJobResult{};
  }
}

}  // namespace quendral
