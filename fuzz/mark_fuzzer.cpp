// Any bytes as the export's input: the streaming mark job and the same job
// through a whole picture in memory must agree on every input, accepted or
// refused: whether it loaded, whether and why the output was written, and
// every byte written. The first difference is a crash.
#include <cstdint>

#include "differential_job.h"
#include "export/mark_job.h"
#include "fuzz_check.h"
#include "platform/file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quendral;
#if defined(_WIN32)
  // Windows has no memory streams; the other builds run this target.
  (void)data;
  (void)size;
  return 0;
#else
  // One input in two streams through chunks smaller than a row or a few
  // rows, chosen by its last byte, so that small files reach the ways of
  // pictures whose rows do not fit a chunk.
  const std::uint8_t last = size > 0 ? data[size - 1] : 0;
  const std::size_t chunk = last % 2 == 0 ? kMarkChunkBytes : 1 + last % 61;
  fuzz::ExpectSameJob(
      data, size, [&](File& in, PictureOutput& out) { return StreamMarkJob(in, out, chunk); },
      [](File& in, PictureOutput& out) { return InMemoryMarkJob(in, out); });
  return 0;
#endif
}
