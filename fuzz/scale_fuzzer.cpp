// Rescaling small pictures of every depth by any mode and value. A call
// either refuses and leaves the picture as it was, or gives a 24-bit
// picture of at least 1 x 1 whose colours stay within what the source held.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "image/bitmap_image.h"
#include "ops/diagnostics.h"
#include "ops/rescale.h"
#include "platform/runtime.h"

namespace quendral::fuzz {
namespace {

constexpr int kDepths[] = {1, 4, 8, 16, 24, 32};

// Outputs from this many pixels up are skipped unless the size is refused
// anyway: they cost time and teach the search nothing new.
constexpr double kOutputPixelCap = 1 << 16;

// The new size as the rescaling rules give it, give or take one pixel a
// side (rounding); only used to keep outputs small.
double EstimatedPixels(char mode, std::int32_t value, int w, int h) {
  mode = ToUpperAscii(mode);
  if (mode == 'F') mode = w > h ? 'W' : 'H';
  double newW = 1, newH = 1;
  switch (mode) {
    case 'P':
      newW = w * static_cast<double>(value) * 0.01;
      newH = h * static_cast<double>(value) * 0.01;
      break;
    case 'W':
      newW = value;
      newH = value / double(w) * h;
      break;
    case 'H':
      newW = value / double(h) * w;
      newH = value;
      break;
    default:
      return 1;
  }
  return (std::max(newW, 1.0) + 1) * (std::max(newH, 1.0) + 1);
}

bool WorthCalling(char mode, std::int32_t value, int w, int h) {
  const double pixels = EstimatedPixels(mode, value, w, h);
  return pixels <= kOutputPixelCap || pixels > 4.0 * double(kMaxPixels);
}

struct Snapshot {
  int depth, width, height;
  std::vector<ColorQuad> pixels, palette;
  explicit Snapshot(const BitmapImage& image)
      : depth(image.Depth()), width(image.Width()), height(image.Height()) {
    for (int j = 0; j < height; ++j)
      pixels.insert(pixels.end(), image.Row(j), image.Row(j) + width);
    for (int k = 0; image.Palette() != nullptr && k < image.ColorCount(); ++k)
      palette.push_back(image.PaletteEntry(k));
  }
  bool SameAs(const BitmapImage& image) const {
    const Snapshot now(image);
    return depth == now.depth && width == now.width && height == now.height &&
           pixels == now.pixels && palette == now.palette;
  }
};

// Each channel of a result is a weighted mean of source bytes, truncated:
// never above the source's largest value and never more than 1 below its
// smallest (a sum that comes to 254.99999... gives 254).
void CheckChannelRange(const Snapshot& source, const BitmapImage& result) {
  std::uint8_t low[3] = {255, 255, 255}, high[3] = {0, 0, 0};
  for (const ColorQuad& p : source.pixels) {
    const std::uint8_t c[3] = {p.blue, p.green, p.red};
    for (int k = 0; k < 3; ++k) {
      low[k] = std::min(low[k], c[k]);
      high[k] = std::max(high[k], c[k]);
    }
  }
  for (int j = 0; j < result.Height(); ++j) {
    for (int i = 0; i < result.Width(); ++i) {
      const ColorQuad& p = result.Row(j)[i];
      const std::uint8_t c[3] = {p.blue, p.green, p.red};
      for (int k = 0; k < 3; ++k) FUZZ_CHECK(c[k] <= high[k] && c[k] + 1 >= low[k]);
      const bool corner = i == result.Width() - 1 && j == result.Height() - 1;
      if (!corner) FUZZ_CHECK(p.alpha == 0);
    }
  }
}

}  // namespace
}  // namespace quendral::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quendral;
  using namespace quendral::fuzz;
  InputBytes in(data, size);
  const int width = 1 + in.Byte() % 48;
  const int height = 1 + in.Byte() % 48;
  const std::uint8_t flags = in.Byte();
  const char mode = static_cast<char>(in.Byte());
  std::int32_t value = in.Int32();
  if (!WorthCalling(mode, value, width, height)) value %= 300;
  if (!WorthCalling(mode, value, width, height)) return 0;

  BitmapImage image;
  image.SetDepth(kDepths[flags % 6]);
  FUZZ_CHECK(image.Resize(width, height));
  if (flags & 0x08) image.SetPelsPerMeter(in.Int32(), in.Int32());
  for (int j = 0; j < height; ++j)
    for (int i = 0; i < width; ++i)
      image.Row(j)[i] = ColorQuad{in.Byte(), in.Byte(), in.Byte(), in.Byte()};
  const std::int32_t xPels = image.XPelsPerMeter(), yPels = image.YPelsPerMeter();
  const Snapshot before(image);

  if (flags & 0x10)
    SetDiagnosticsOff();
  else
    SetDiagnosticsOn();
  ClearLastDiagnostic();
  const bool scaled = ScaleImage(image, mode, value);

  // A zero resolution becomes the default on every path; others stay.
  FUZZ_CHECK(image.XPelsPerMeter() == (xPels == 0 ? 3780 : xPels));
  FUZZ_CHECK(image.YPelsPerMeter() == (yPels == 0 ? 3780 : yPels));
  const char upper = ToUpperAscii(mode);
  const bool known = upper == 'P' || upper == 'W' || upper == 'H' || upper == 'F';
  if (!known) {
    FUZZ_CHECK(!scaled);
    // Text stops at a NUL, as the formatted C string does.
    const std::string message =
        std::string("Bitmap Error: Unknown rescale mode ") + mode + " requested\n";
    const std::string expected(message.c_str());
    FUZZ_CHECK(LastDiagnostic() == (DiagnosticsEnabled() ? expected : std::string()));
  }
  if (!scaled) {
    FUZZ_CHECK(before.SameAs(image));
    // Only sizes beyond the pixel limit are refused for a known mode.
    FUZZ_CHECK(!known || EstimatedPixels(mode, value, width, height) > double(kMaxPixels));
    return 0;
  }
  FUZZ_CHECK(known);
  FUZZ_CHECK(image.Depth() == 24 && image.Palette() == nullptr);
  FUZZ_CHECK(image.Width() >= 1 && image.Height() >= 1);
  FUZZ_CHECK(image.Row(image.Height() - 1)[image.Width() - 1] ==
             before.pixels[before.pixels.size() - 1]);
  CheckChannelRange(before, image);
  if (image.Width() == width && image.Height() == height) {
    // Every fraction is 0: each colour stays where it was.
    for (std::size_t n = 0; n < before.pixels.size(); ++n) {
      const ColorQuad& a = before.pixels[n];
      const ColorQuad& b = image.Row(static_cast<int>(n) / width)[static_cast<int>(n) % width];
      FUZZ_CHECK(a.blue == b.blue && a.green == b.green && a.red == b.red);
    }
  }
  return 0;
}
