// Any bytes as the convert job's input: the streaming job and the same job
// through a whole picture in memory (Load, SetDepth, FillGrayPalette,
// Save) must agree on every input (see differential_job.h). The input's
// last byte chooses the depth and table, the one before it the chunk.
#include <cstdint>

#include "differential_job.h"
#include "fuzz_check.h"
#include "ops/convert_job.h"
#include "platform/file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quendral;
#if defined(_WIN32)
  // Windows has no memory streams; the other builds run this target.
  (void)data;
  (void)size;
  return 0;
#else
  // Every depth with the standard table, and 1, 4 and 8 bits with the grey
  // one; chunks of the job's own size, smaller than a row (rows in pieces),
  // or of a few rows.
  static const ConvertTarget kTargets[] = {{1, false}, {4, false}, {8, false}, {16, false},
                                           {24, false}, {32, false}, {1, true}, {4, true},
                                           {8, true}};
  const std::uint8_t last = size > 0 ? data[size - 1] : 0;
  const std::uint8_t before = size > 1 ? data[size - 2] : 0;
  const ConvertTarget target = kTargets[last % 9];
  std::size_t chunk = kConvertChunkBytes;
  if (before % 3 == 1) chunk = 1 + before % 61;
  if (before % 3 == 2) chunk = 64 + 16 * (before % 64);

  fuzz::ExpectSameJob(
      data, size,
      [&](File& in, PictureOutput& out) { return StreamConvertJob(in, out, target, chunk); },
      [&](File& in, PictureOutput& out) { return InMemoryConvertJob(in, out, target); });
  return 0;
#endif
}
