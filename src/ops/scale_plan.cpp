#include "ops/scale_plan.h"

#include <limits>

#include "image/bitmap_image.h"
#include "ops/diagnostics.h"
#include "platform/runtime.h"

namespace quendral {
namespace {

// floor() of a double as a whole number; values outside 64 bits saturate.
std::int64_t FloorToInt(double value) {
  const double f = Floor(value);
  if (!(f > -9.2e18)) return std::numeric_limits<std::int64_t>::min() / 2;
  if (f > 9.2e18) return std::numeric_limits<std::int64_t>::max() / 2;
  return static_cast<std::int64_t>(f);
}

struct WideSize {
  std::int64_t width;
  std::int64_t height;
};

WideSize NewSize(char mode, int value, int w, int h) {
  if (mode == 'F') mode = w > h ? 'W' : 'H';
  switch (mode) {
    case 'P':
      // The products are whole numbers (formed in 64 bits, so that no
      // percentage overflows them) before the scaling by 0.01.
      return {FloorToInt(static_cast<double>(std::int64_t{w} * value) * 0.01),
              FloorToInt(static_cast<double>(std::int64_t{h} * value) * 0.01)};
    case 'W':
      return {value, FloorToInt((static_cast<double>(value) / static_cast<double>(w)) *
                                static_cast<double>(h))};
    default:  // 'H'
      return {FloorToInt((static_cast<double>(value) / static_cast<double>(h)) *
                         static_cast<double>(w)),
              value};
  }
}

}  // namespace

char CheckScaleMode(char mode) {
  const char m = ToUpperAscii(mode);
  if (m == 'P' || m == 'W' || m == 'H' || m == 'F') return m;
  if (DiagnosticsEnabled()) {
    char message[1024];
    FormatInto(message, sizeof message, "Bitmap Error: Unknown rescale mode %c requested\n", mode);
    RecordDiagnostic(message);
  }
  return 0;
}

bool ComputeScaledSize(char upperMode, int value, int oldWidth, int oldHeight, ScaledSize& size) {
  WideSize wide = NewSize(upperMode, value, oldWidth, oldHeight);
  if (wide.width < 1) wide.width = 1;
  if (wide.height < 1) wide.height = 1;
  if (wide.width > std::numeric_limits<int>::max() || wide.height > std::numeric_limits<int>::max() ||
      wide.width * wide.height > kMaxPixels)
    return false;
  size = {static_cast<int>(wide.width), static_cast<int>(wide.height)};
  return true;
}

SourcePosition MapPosition(int k, int oldSize, int newSize) {
  const double position =
      (static_cast<double>(k) * (static_cast<double>(oldSize) - 1.0)) /
      (static_cast<double>(newSize) - 1.0);
  const int whole = static_cast<int>(Floor(position));
  return {whole, position - static_cast<double>(whole)};
}

}  // namespace quendral
