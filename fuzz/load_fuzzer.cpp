// Any bytes as a BMP file. Whatever the bytes, loading gives either a clean
// refusal or a picture; a picture saved and loaded again comes back as the
// file format says it must, and every file opened is closed again.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>
#include <unordered_map>

#include "fuzz_check.h"
#include "image/bitmap_image.h"
#include "platform/file.h"

namespace quendral::fuzz {
namespace {

// Larger pictures are loaded only when their size is refused anyway: a file
// of a few bytes may claim a gigabyte of white pixels, which the reader
// gives, and which would only slow the search down (every pixel is compared
// under coverage tracing). 16-bit pictures large enough to reach the
// reader's way for large ones are let through for one input in 256,
// chosen by a hash of the bytes, so that the search still visits that way
// without paying for it on every run.
constexpr std::int64_t kPixelCap = std::int64_t{1} << 12;
constexpr std::int64_t kSixteenBitPixelCap = (std::int64_t{1} << 18) + 4096;

std::uint32_t Hash(const std::uint8_t* data, std::size_t size) {
  std::uint32_t hash = 2166136261u;  // FNV-1a
  for (std::size_t k = 0; k < size; ++k) hash = (hash ^ data[k]) * 16777619u;
  return hash;
}

bool ClaimsTooManyPixelsToSearch(const std::uint8_t* data, std::size_t size) {
  if (size < 30) return false;
  const auto field = [data](std::size_t at) {
    return static_cast<std::int32_t>(std::uint32_t{data[at]} | std::uint32_t{data[at + 1]} << 8 |
                                     std::uint32_t{data[at + 2]} << 16 |
                                     std::uint32_t{data[at + 3]} << 24);
  };
  const std::int32_t width = field(18);
  const std::int32_t height = field(22);
  const int bitCount = data[28] | data[29] << 8;
  if (width <= 0 || height <= 0) return false;
  const std::int64_t pixels = std::int64_t{width} * height;
  if (pixels <= kPixelCap || pixels > kMaxPixels) return false;
  return !(bitCount == 16 && pixels <= kSixteenBitPixelCap && Hash(data, size) % 256 == 0);
}

// A directory of this process's own for the pictures it saves; removed when
// the process ends.
class ScratchFiles {
 public:
  ScratchFiles() {
    std::error_code error;
    const std::filesystem::path base = std::filesystem::temp_directory_path(error);
    std::random_device random;
    for (int attempt = 0; attempt < 100 && dir_.empty(); ++attempt) {
      std::filesystem::path candidate = base / ("quendral-fuzz-" + std::to_string(random()));
      if (std::filesystem::create_directory(candidate, error)) dir_ = candidate;
    }
    FUZZ_CHECK(!dir_.empty());
  }
  ~ScratchFiles() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  std::string Path(const char* name) const { return (dir_ / name).string(); }

 private:
  std::filesystem::path dir_;
};

const ScratchFiles& Scratch() {
  static const ScratchFiles scratch;
  return scratch;
}

// Loads from a stream over the bytes where the platform has one, else from a
// file holding them.
bool LoadBytes(const std::uint8_t* data, std::size_t size, BitmapImage& image) {
  File file = File::FromMemory(data, size);
  if (file.IsOpen()) return image.Load(file);
  const std::string path = Scratch().Path("input.bmp");
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  return image.Load(path.c_str());
}

bool IsIndexed(int depth) {
  return depth == 1 || depth == 4 || depth == 8;
}

// A refused file leaves one white pixel at 1 bit, or, when it is not a BMP
// file at all, the image as it was (here: the default one).
void CheckRefused(const BitmapImage& image) {
  FUZZ_CHECK(image.Width() == 1 && image.Height() == 1);
  if (image.Depth() == 24) return;
  FUZZ_CHECK(image.Depth() == 1);
  FUZZ_CHECK(image.At(0, 0) == kWhite);
  FUZZ_CHECK(image.PaletteEntry(0) == (ColorQuad{0, 0, 0, 0}));
  FUZZ_CHECK(image.PaletteEntry(1) == kWhite);
}

// What the second load gives for a pixel of the first: the stored 5-6-5 word
// read back through the 5-6-5 masks.
ColorQuad ThroughFiveSixFive(const ColorQuad& p) {
  return ColorQuad{static_cast<std::uint8_t>(8 * (p.blue >> 3)),
                   static_cast<std::uint8_t>(8 * ((p.green >> 2) >> 1)),
                   static_cast<std::uint8_t>(8 * (p.red >> 3)), 0};
}

std::uint32_t Key(const ColorQuad& c) {
  return std::uint32_t{c.blue} | std::uint32_t{c.green} << 8 | std::uint32_t{c.red} << 16 |
         std::uint32_t{c.alpha} << 24;
}

// The checks are not traced for coverage: their comparisons say nothing
// about the reader, and tracing them would cost more than the load.
QUENDRAL_FUZZ_UNTRACED void CheckRoundTrip(BitmapImage& first) {
  const std::string path = Scratch().Path("round-trip.bmp");
  FUZZ_CHECK(first.Save(path.c_str()));
  BitmapImage second;
  FUZZ_CHECK(second.Load(path.c_str()));
  FUZZ_CHECK(second.Depth() == first.Depth());
  FUZZ_CHECK(second.Width() == first.Width() && second.Height() == first.Height());
  const auto stored = [](std::int32_t pels) { return pels == 0 ? 3780 : pels; };
  FUZZ_CHECK(second.XPelsPerMeter() == stored(first.XPelsPerMeter()));
  FUZZ_CHECK(second.YPelsPerMeter() == stored(first.YPelsPerMeter()));

  const int depth = first.Depth();
  if (IsIndexed(depth)) {
    // The whole table is written, so the whole table comes back; each pixel
    // becomes the entry nearest to it, found here by the plain search. So a
    // pixel that is a table entry comes back unchanged unless an earlier
    // entry has its colour, while the white rows of a file cut short become
    // whatever entry is nearest to white.
    for (int k = 0; k < first.ColorCount(); ++k)
      FUZZ_CHECK(second.PaletteEntry(k) == first.PaletteEntry(k));
  }
  std::unordered_map<std::uint32_t, ColorQuad> nearest;
  // Held apart from the search above: a pixel whose red, green and blue
  // stand in the table comes back as the first entry holding them, alpha
  // and all, since nothing is nearer than an exact match.
  std::unordered_map<std::uint32_t, ColorQuad> firstExact;
  if (IsIndexed(depth))
    for (int k = 0; k < first.ColorCount(); ++k)
      firstExact.emplace(Key(first.PaletteEntry(k)) & 0x00FFFFFFu, first.PaletteEntry(k));
  for (int j = 0; j < first.Height(); ++j) {
    const ColorQuad* before = first.Row(j);
    const ColorQuad* after = second.Row(j);
    for (int i = 0; i < first.Width(); ++i) {
      const ColorQuad& p = before[i];
      ColorQuad expected = p;
      if (depth == 16) {
        // Every channel the reader gives is a multiple of 8 up to 248, which
        // 5-6-5 keeps exactly.
        FUZZ_CHECK(p.alpha == 0 && p.red % 8 == 0 && p.green % 8 == 0 && p.blue % 8 == 0);
        expected = ThroughFiveSixFive(p);
        FUZZ_CHECK(expected == p);
      } else if (depth == 24) {
        FUZZ_CHECK(p.alpha == 0);
      } else if (IsIndexed(depth)) {
        auto found = nearest.find(Key(p));
        if (found == nearest.end())
          found = nearest.emplace(Key(p), first.PaletteEntry(first.NearestPaletteIndex(p))).first;
        expected = found->second;
        const auto exact = firstExact.find(Key(p) & 0x00FFFFFFu);
        if (exact != firstExact.end()) FUZZ_CHECK(after[i] == exact->second);
      }
      FUZZ_CHECK(after[i] == expected);
    }
  }
}

}  // namespace
}  // namespace quendral::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quendral;
  using namespace quendral::fuzz;
  if (ClaimsTooManyPixelsToSearch(data, size)) return 0;
  const int openBefore = File::OpenCount();
  BitmapImage image;
  const bool loaded = LoadBytes(data, size, image);
  FUZZ_CHECK(File::OpenCount() == openBefore);
  if (!loaded) {
    CheckRefused(image);
    return 0;
  }
  FUZZ_CHECK(image.Width() >= 1 && image.Height() >= 1);
  FUZZ_CHECK(IsIndexed(image.Depth()) == (image.Palette() != nullptr));
  CheckRoundTrip(image);
  FUZZ_CHECK(File::OpenCount() == openBefore);
  return 0;
}
