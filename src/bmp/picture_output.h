// Where a job's picture goes: a path, replaced only by a complete file, or
// a stream already open. The mark, scale and convert jobs save through the
// same sinks.
#pragma once

#include <functional>
#include <optional>
#include <utility>

#include "image/bitmap_image.h"
#include "platform/file.h"
#include "platform/output_file.h"

namespace quendral {

// What a job that reads one picture and writes one came to (the mark and
// convert jobs; the rescale adds a step of its own).
struct JobResult {
  bool loaded = false;   // the input was read as a picture
  bool written = false;  // the new picture reached the output
  SaveStatus save;       // why the output was or was not written
};

// Marks `status` as a failed write; `error` is the errno value seen, EIO
// when there was none. An earlier reason is kept.
void RecordWriteFailure(SaveStatus& status, int error);

class PictureOutput;

// The last step of a streamed job whose rows were written (`rowsWritten`)
// or not: the input is closed first, so that the output may replace it,
// and the output finished. True when the picture is complete in its place.
bool FinishStreamedJob(bool rowsWritten, File& input, PictureOutput& output, SaveStatus& status);

// Saves a picture held in memory through `output`: refused as too large
// before the output is opened when the file would not fit the format.
// True when the picture is complete in its place; `status` says why not.
bool SaveThrough(BitmapImage& image, PictureOutput& output, SaveStatus& status);

// Where a written picture goes.
class PictureOutput {
 public:
  virtual ~PictureOutput() = default;
  // The file to write, asked for only once the input has loaded; null,
  // with `status` saying why, when it cannot be opened.
  virtual File* Open(SaveStatus& status) = 0;
  // Once every byte is written: true when the picture is complete in its
  // place.
  virtual bool Finish(SaveStatus& status) = 0;
};

// A path, through a new file that takes the path's place only when it is
// complete; the path is asked for when the output is opened.
class ReplacingOutput final : public PictureOutput {
 public:
  explicit ReplacingOutput(std::function<const char*()> path,
                           OutputFile::Publish publish = OutputFile::Publish::kReplace,
                           OutputLedger* ledger = nullptr)
      : path_(std::move(path)), publish_(publish), ledger_(ledger) {}
  File* Open(SaveStatus& status) override;
  bool Finish(SaveStatus& status) override;

 private:
  std::function<const char*()> path_;
  OutputFile::Publish publish_;
  OutputLedger* ledger_;
  std::optional<OutputFile> output_;
};

// A stream already open for writing (standard output, a memory stream),
// written straight.
class DirectOutput final : public PictureOutput {
 public:
  explicit DirectOutput(File& file) : file_(file) {}
  File* Open(SaveStatus&) override { return &file_; }
  bool Finish(SaveStatus& status) override;

 private:
  File& file_;
};

}  // namespace quendral
