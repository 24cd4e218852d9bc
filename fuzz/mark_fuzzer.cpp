// Any bytes as the export's input: the streaming mark job and the same job
// through a whole picture in memory must agree on every input, accepted or
// refused: whether it loaded, whether and why the output was written, and
// every byte written. The first difference is a crash.
#include <cstdint>

#include "captured_output.h"
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
  if (fuzz::ClaimsTooManyPixels(data, size)) return 0;
  File streamInput = File::FromMemory(data, size);
  File memoryInput = File::FromMemory(data, size);
  if (!streamInput.IsOpen() || !memoryInput.IsOpen()) return 0;  // no memory streams here
  fuzz::CapturedOutput streamBytes, memoryBytes;
  FUZZ_CHECK(streamBytes.file().IsOpen() && memoryBytes.file().IsOpen());
  DirectOutput streamOutput(streamBytes.file());
  DirectOutput memoryOutput(memoryBytes.file());

  // One input in two streams through chunks smaller than a row or a few
  // rows, chosen by its last byte, so that small files reach the ways of
  // pictures whose rows do not fit a chunk.
  const std::uint8_t last = size > 0 ? data[size - 1] : 0;
  const std::size_t chunk = last % 2 == 0 ? kMarkChunkBytes : 1 + last % 61;
  const MarkJobResult streamed = StreamMarkJob(streamInput, streamOutput, chunk);
  const MarkJobResult held = InMemoryMarkJob(memoryInput, memoryOutput);
  FUZZ_CHECK(streamed.loaded == held.loaded);
  FUZZ_CHECK(streamed.written == held.written);
  FUZZ_CHECK(streamed.save.outcome == held.save.outcome);
  fuzz::ExpectSameBytes(streamBytes.Bytes(), memoryBytes.Bytes());
  return 0;
#endif
}
