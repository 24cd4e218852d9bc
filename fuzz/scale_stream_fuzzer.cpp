// Any bytes as `quendral scale`'s input, its mode and value taken from the
// input's last five bytes: the streaming rescale (StreamScaleJob) and the
// same job through a whole picture in memory (Load, ScaleImage, Save) must
// agree on every input, accepted or refused: whether it loaded, whether it
// was rescaled, whether and why the output was written, and every byte
// written. The first difference is a crash.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bmp/headers.h"
#include "captured_output.h"
#include "fuzz_check.h"
#include "image/bitmap_image.h"
#include "ops/scale_job.h"
#include "ops/scale_rows.h"
#include "platform/file.h"

namespace quendral::fuzz {
namespace {

#if !defined(_WIN32)
// The whole-picture job makes every pixel the header claims and every
// pixel of the new size; larger cases only slow the search down. Sizes
// beyond the pixel limit are still tried: both jobs must refuse them.
constexpr double kPixelCap = 1 << 16;

double ClaimedPixels(const std::uint8_t* data, std::size_t size) {
  if (size < 26) return 0;
  const auto field = [data](std::size_t at) {
    return static_cast<double>(static_cast<std::int32_t>(LoadLittleEndian32(data + at)));
  };
  return field(18) * field(22);
}

// The new size as the rescaling rules give it, give or take a pixel a side.
double EstimatedNewPixels(char mode, std::int32_t value, const std::uint8_t* data, std::size_t size) {
  if (size < 26) return 1;
  const double w = static_cast<std::int32_t>(LoadLittleEndian32(data + 18));
  const double h = static_cast<std::int32_t>(LoadLittleEndian32(data + 22));
  if (w < 1 || h < 1) return 1;
  if (mode == 'F' || mode == 'f') mode = w > h ? 'W' : 'H';
  double newW = 1, newH = 1;
  switch (mode) {
    case 'P': case 'p': newW = w * value * 0.01; newH = h * value * 0.01; break;
    case 'W': case 'w': newW = value; newH = value / w * h; break;
    case 'H': case 'h': newW = value / h * w; newH = value; break;
    default: return 1;
  }
  return (std::max(newW, 1.0) + 1) * (std::max(newH, 1.0) + 1);
}

bool WorthCalling(char mode, std::int32_t value, const std::uint8_t* data, std::size_t size) {
  const double pixels = EstimatedNewPixels(mode, value, data, size);
  return pixels <= kPixelCap || pixels > 4.0 * static_cast<double>(kMaxPixels);
}
#endif

}  // namespace
}  // namespace quendral::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quendral;
#if defined(_WIN32)
  // Windows has no memory streams; the other builds run this target.
  (void)data;
  (void)size;
  return 0;
#else
  // The last five bytes: a mode byte (mostly one of the eight letters, now
  // and then a letter from A to P, most of which both jobs must refuse
  // alike) and the value.
  if (size < 5) return 0;
  const std::size_t fileSize = size - 5;
  fuzz::InputBytes tail(data + fileSize, 5);
  const std::uint8_t modeByte = tail.Byte();
  const char mode =
      modeByte < 240 ? "PWHFpwhf"[modeByte % 8] : static_cast<char>('A' + (modeByte - 240));
  std::int32_t value = tail.Int32();
  if (fuzz::ClaimedPixels(data, fileSize) > fuzz::kPixelCap) return 0;
  if (!fuzz::WorthCalling(mode, value, data, fileSize)) value %= 300;
  if (!fuzz::WorthCalling(mode, value, data, fileSize)) return 0;
  // Both ways of making a row are held against the picture in memory.
  SetScaleFastPathAllowed(modeByte % 16 < 8);

  File streamInput = File::FromMemory(data, fileSize);
  File memoryInput = File::FromMemory(data, fileSize);
  if (!streamInput.IsOpen() || !memoryInput.IsOpen()) return 0;  // no memory streams here
  fuzz::CapturedOutput streamBytes, memoryBytes;
  FUZZ_CHECK(streamBytes.file().IsOpen() && memoryBytes.file().IsOpen());
  DirectOutput streamOutput(streamBytes.file());
  DirectOutput memoryOutput(memoryBytes.file());
  const ScaleJobResult streamed = StreamScaleJob(streamInput, streamOutput, mode, value);
  const ScaleJobResult held = InMemoryScaleJob(memoryInput, memoryOutput, mode, value);
  FUZZ_CHECK(streamed.loaded == held.loaded);
  FUZZ_CHECK(streamed.scaled == held.scaled);
  FUZZ_CHECK(streamed.written == held.written);
  FUZZ_CHECK(streamed.save.outcome == held.save.outcome);
  fuzz::CheckSameBytes(streamBytes, memoryBytes);
  return 0;
#endif
}
