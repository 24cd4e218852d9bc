// What the differential targets of the streaming jobs share: one input run
// through a streamed job and the same job through a whole picture, both
// writing to memory, which must agree on every input, accepted or refused:
// whether it loaded, whether and why the output was written, and every
// byte written. The first difference is a crash.
#pragma once

#include <cstdint>

#include "bmp/headers.h"
#include "captured_output.h"
#include "export/mark_job.h"
#include "fuzz_check.h"
#include "platform/file.h"

namespace quendral::fuzz {

#if !defined(_WIN32)
// The whole-picture job makes every pixel a header claims; files claiming
// more than this are left out, as they would only slow the search down.
// The stream's own bound on memory is the benchmarks' business.
inline constexpr std::int64_t kPixelCap = std::int64_t{1} << 16;

inline bool ClaimsTooManyPixels(const std::uint8_t* data, std::size_t size) {
  if (size < 26) return false;
  const auto field = [data](std::size_t at) {
    return static_cast<std::int32_t>(LoadLittleEndian32(data + at));
  };
  const std::int64_t pixels = std::int64_t{field(18)} * field(22);
  return pixels > kPixelCap;
}

// Runs `streamed` and `held`, each (File& input, PictureOutput& output) ->
// JobResult, on the input and holds them equal.
template <typename StreamedJob, typename HeldJob>
void ExpectSameJob(const std::uint8_t* data, std::size_t size, StreamedJob streamed, HeldJob held) {
  if (ClaimsTooManyPixels(data, size)) return;
  File streamInput = File::FromMemory(data, size);
  File memoryInput = File::FromMemory(data, size);
  if (!streamInput.IsOpen() || !memoryInput.IsOpen()) return;  // no memory streams here
  CapturedOutput streamBytes, memoryBytes;
  FUZZ_CHECK(streamBytes.file().IsOpen() && memoryBytes.file().IsOpen());
  DirectOutput streamOutput(streamBytes.file());
  DirectOutput memoryOutput(memoryBytes.file());
  const JobResult a = streamed(streamInput, streamOutput);
  const JobResult b = held(memoryInput, memoryOutput);
  FUZZ_CHECK(a.loaded == b.loaded);
  FUZZ_CHECK(a.written == b.written);
  FUZZ_CHECK(a.save.outcome == b.save.outcome);
  CheckSameBytes(streamBytes, memoryBytes);
}
#endif

}  // namespace quendral::fuzz
