// A file being written that replaces its target only once it is complete.
#pragma once

#include <string>

#include "platform/file.h"

namespace quendral {

// For a regular file or a new name, the bytes go to a new file beside the
// target, which takes the target's place on Commit; until then a file
// already at the path (the input of an in-place call included) is intact,
// and an uncommitted output is removed. A path that names something else (a
// device, a pipe) is written directly, as nothing there can be kept intact.
class OutputFile {
 public:
  // Opens the place to write. On failure the result is not open and
  // `error` holds the system's reason (an errno value).
  static OutputFile Begin(const char* path, int& error);

  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&&) = delete;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();

  bool IsOpen() const { return file_.IsOpen(); }
  File& file() { return file_; }

  // Flushes, closes and moves the new file into place. False (with the
  // reason in `error`) when any of that failed; nothing is left behind then.
  bool Commit(int& error);

 private:
  OutputFile() = default;
  void Discard();

  File file_;
  std::string target_;
  std::string temporary_;  // empty when writing the target directly
};

}  // namespace quendral
