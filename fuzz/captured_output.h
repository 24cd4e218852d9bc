// What the differential targets share: an output stream held in memory and
// the byte-for-byte comparison of two jobs' outputs. Not on Windows, which
// has no memory streams.
#pragma once

#if !defined(_WIN32)
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "fuzz_check.h"
#include "platform/file.h"

namespace quendral::fuzz {

// An output stream in memory, read back once the job has finished with it.
class CapturedOutput {
 public:
  CapturedOutput() : file_(File::Adopt(open_memstream(&buffer_, &size_))) {}
  ~CapturedOutput() {
    file_.Close();
    std::free(buffer_);
  }
  File& file() { return file_; }
  std::vector<std::uint8_t> Bytes() {
    file_.Close();
    return std::vector<std::uint8_t>(buffer_, buffer_ + size_);
  }

 private:
  char* buffer_ = nullptr;
  std::size_t size_ = 0;
  File file_;
};

// Aborts at the first byte where the stream's output and the held job's
// differ, saying where.
inline void CheckSameBytes(CapturedOutput& streamed, CapturedOutput& held) {
  const std::vector<std::uint8_t> a = streamed.Bytes();
  const std::vector<std::uint8_t> b = held.Bytes();
  FUZZ_CHECK(a.size() == b.size());
  for (std::size_t k = 0; k < a.size(); ++k) {
    if (a[k] != b[k]) {
      std::fprintf(stderr, "first difference at byte %zu of %zu: stream %02X, in memory %02X\n", k,
                   a.size(), a[k], b[k]);
      FUZZ_CHECK(a[k] == b[k]);
    }
  }
}

}  // namespace quendral::fuzz
#endif
