// Files made to hurt the reader: sizes at the edges of 32 bits, offsets
// before or far past the data, bit counts and compressions that do not
// exist, masks that select nothing or everything, colour indices past a
// short table, files cut short at every byte, and a directory for a file.
// Each is loaded in a child process with 1 GiB of address space and a time
// limit; the result must be a clean refusal or a correct picture.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bmp/probes.h"
#include "hardening/child_process.h"
#include "image/bitmap_image.h"
#include "platform/file.h"
#include "support/bmp_bytes.h"
#include "support/scratch_dir.h"

namespace quendral {
namespace {

using test::BmpFields;
using test::Bytes;

constexpr ColorQuad kBlack{0, 0, 0, 0};

// "" when the image is the one white pixel at 1 bit that a refusal leaves.
std::string CheckReset(BitmapImage& image) {
  if (image.Width() != 1 || image.Height() != 1 || image.Depth() != 1)
    return "not reset to 1 x 1 at 1 bit: " + std::to_string(image.Width()) + " x " +
           std::to_string(image.Height()) + " at " + std::to_string(image.Depth());
  if (image.At(0, 0) != kWhite) return "the reset pixel is not white";
  return "";
}

// "" when every pixel of the image is `colour`.
std::string CheckEvery(BitmapImage& image, ColorQuad colour) {
  for (int j = 0; j < image.Height(); ++j)
    for (int i = 0; i < image.Width(); ++i)
      if (image.Row(j)[i] != colour)
        return "pixel (" + std::to_string(i) + ", " + std::to_string(j) + ") differs";
  return "";
}

std::string LoadFromMemory(const Bytes& bytes, BitmapImage& image, bool& loaded) {
  const int openBefore = File::OpenCount();
  File file = File::FromMemory(bytes.data(), bytes.size());
  if (!file.IsOpen()) return "no memory stream";
  loaded = image.Load(file);
  file.Close();
  if (File::OpenCount() != openBefore) return "a file was left open";
  return "";
}

enum class Expect { kRefused, kLoaded };

struct HostileFile {
  const char* name;
  Bytes bytes;
  Expect expect;
  int width = 0, height = 0, depth = 0;
  // Further checks of a loaded picture; "" when they hold.
  std::function<std::string(BitmapImage&)> check;
};

BmpFields Fields(std::int32_t width, std::int32_t height, std::uint16_t bits,
                 std::uint32_t compression = 0) {
  BmpFields f;
  f.biWidth = width;
  f.biHeight = height;
  f.biBitCount = bits;
  f.biCompression = compression;
  return f;
}

HostileFile Refused(const char* name, Bytes bytes) {
  return HostileFile{name, std::move(bytes), Expect::kRefused, 0, 0, 0, nullptr};
}

HostileFile Loaded(const char* name, Bytes bytes, int width, int height, int depth,
                   std::function<std::string(BitmapImage&)> check = nullptr) {
  return HostileFile{name,  std::move(bytes), Expect::kLoaded, width, height,
                     depth, std::move(check)};
}

// A 16-bit file of 2 x 2 pixels, all words 0xFFFF, with the given masks.
Bytes SixteenBitWithMasks(std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
  return test::BuildBmp(Fields(2, 2, 16, 3), {red, green, blue}, {}, Bytes(8, 0xFF));
}

std::vector<HostileFile> HostileFiles() {
  std::vector<HostileFile> files;
  const auto headersOnly = [&files](const char* name, std::int32_t w, std::int32_t h,
                                    std::uint16_t bits, std::uint32_t compression = 0) {
    files.push_back(Refused(name, test::HeaderBytes(Fields(w, h, bits, compression))));
  };
  // Sizes whose rows or pixel count leave what can be held: refused before
  // any allocation, whatever the (absent) pixel data.
  headersOnly("width 0x7FFFFFFF at 24 bits", 0x7FFFFFFF, 1, 24);
  headersOnly("width 0x7FFFFFFF at 1 bit", 0x7FFFFFFF, 1, 1);
  headersOnly("height 0x7FFFFFFF", 1, 0x7FFFFFFF, 24);
  headersOnly("both 0x7FFFFFFF", 0x7FFFFFFF, 0x7FFFFFFF, 32);
  headersOnly("width x 32 bits is 2^32", 0x08000000, 1, 32);
  headersOnly("width x 24 bits just past 2^31", 0x05555556, 1, 24);
  headersOnly("width x 16 bits is 2^34", 0x40000000, 1, 16);
  headersOnly("65535 x 65535 at 8 bits", 65535, 65535, 8);
  headersOnly("65535 x 65535 at 1 bit", 65535, 65535, 1);
  headersOnly("width 0", 0, 5, 24);
  headersOnly("height 0", 5, 0, 24);
  headersOnly("width -1", -1, 5, 24);
  headersOnly("height -1 (top-down)", 5, -1, 24);
  headersOnly("height INT32_MIN", 5, INT32_MIN, 8);
  for (const std::uint16_t bits : {0, 2, 3, 64, 65535})
    files.push_back(Refused("an unknown bit count", test::HeaderBytes(Fields(2, 2, bits))));
  for (const std::uint32_t compression : {1u, 2u, 4u, 0xFFFFFFFFu})
    files.push_back(
        Refused("an unknown compression", test::HeaderBytes(Fields(2, 2, 8, compression))));
  for (const std::uint16_t bits : {1, 4, 8, 24, 32})
    files.push_back(
        Refused("bit fields at a depth but 16", test::HeaderBytes(Fields(2, 2, bits, 3))));

  // Offsets before the end of the headers or far past the end of the file:
  // no table, no gap, the pixels read from byte 54 on.
  for (const std::int64_t offset : {0ll, 20ll, 53ll, 0xFFFFFFFFll}) {
    BmpFields f = Fields(2, 1, 24);
    f.bfOffBits = offset;
    files.push_back(Loaded("an offset before the pixels", test::BuildBmp(f, {}, {}, Bytes(8, 0x11)),
                           2, 1, 24, [](BitmapImage& image) {
                             return CheckEvery(image, ColorQuad{0x11, 0x11, 0x11, 0});
                           }));
    f.biBitCount = 8;
    files.push_back(Loaded("an offset before the table", test::BuildBmp(f, {}, {}, Bytes(4, 0x07)),
                           2, 1, 8, [](BitmapImage& image) { return CheckEvery(image, kWhite); }));
  }
  {
    BmpFields f = Fields(3, 3, 24);
    f.bfOffBits = 0x7FFFFFFF;
    files.push_back(Loaded("an offset 2 GiB past the headers", test::HeaderBytes(f), 3, 3, 24,
                           [](BitmapImage& image) { return CheckEvery(image, kWhite); }));
  }

  // Bit-field masks: only the low 16 bits of each count.
  files.push_back(Loaded("masks of zero", SixteenBitWithMasks(0, 0, 0), 2, 2, 16,
                         [](BitmapImage& image) { return CheckEvery(image, kBlack); }));
  files.push_back(Loaded("masks in the high half only",
                         SixteenBitWithMasks(0xFFFF0000, 0x00010000, 0x80000000), 2, 2, 16,
                         [](BitmapImage& image) { return CheckEvery(image, kBlack); }));
  files.push_back(Loaded("masks of all ones",
                         SixteenBitWithMasks(0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF), 2, 2, 16,
                         [](BitmapImage& image) {
                           return CheckEvery(image, ColorQuad{248, 248, 248, 0});
                         }));

  // Indices past a short colour table give white; those inside it its entries.
  const ColorQuad red{0, 0, 200, 9}, blue{200, 0, 0, 8};
  files.push_back(Loaded("8-bit indices past a 2-entry table",
                         test::BuildBmp(Fields(4, 1, 8), {}, {red, blue}, Bytes{0, 1, 2, 255}), 4,
                         1, 8, [=](BitmapImage& image) -> std::string {
                           const ColorQuad expected[4] = {red, blue, kWhite, kWhite};
                           for (int i = 0; i < 4; ++i)
                             if (image.At(i, 0) != expected[i]) return "pixel " + std::to_string(i);
                           return "";
                         }));
  files.push_back(Loaded("4-bit indices past a 1-entry table",
                         test::BuildBmp(Fields(3, 1, 4), {}, {red}, Bytes{0x0F, 0xE0, 0, 0}), 3, 1,
                         4, [=](BitmapImage& image) -> std::string {
                           const ColorQuad expected[3] = {red, kWhite, kWhite};
                           for (int i = 0; i < 3; ++i)
                             if (image.At(i, 0) != expected[i]) return "pixel " + std::to_string(i);
                           return "";
                         }));
  // A picture as large as an image may be, claimed by 54 bytes: white if the
  // memory is there, else refused; either way within the limits.
  files.push_back(Loaded("8192 x 8192 claimed by the headers alone",
                         test::HeaderBytes(Fields(8192, 8192, 24)), 8192, 8192, 24));
  return files;
}

std::string LoadHostile(const HostileFile& file) {
  BitmapImage image;
  bool loaded = false;
  std::string failure = LoadFromMemory(file.bytes, image, loaded);
  if (!failure.empty()) return failure;
  if (file.expect == Expect::kRefused) return loaded ? "loaded" : CheckReset(image);
  if (!loaded) return "refused";
  if (image.Width() != file.width || image.Height() != file.height || image.Depth() != file.depth)
    return "loaded as " + std::to_string(image.Width()) + " x " + std::to_string(image.Height()) +
           " at " + std::to_string(image.Depth());
  return file.check ? file.check(image) : "";
}

TEST(HostileFiles, CraftedHeadersGiveACleanRefusalOrACorrectPicture) {
  for (const HostileFile& file : HostileFiles()) {
    const test::ChildOutcome outcome = test::RunInChild([&] { return LoadHostile(file); });
    EXPECT_TRUE(outcome.exited && outcome.failure.empty())
        << file.name << ": " << outcome.Describe();
  }
}

// A valid file of each kind, cut at every byte: headers cut short are
// refused; after them the picture loads, the rows that arrived whole as in
// the whole file, the rest white (at 16 bits, defined but not pinned).
struct Kind {
  const char* name;
  int depth;
  std::uint32_t compression;
};

Bytes SmallFile(const Kind& kind, std::size_t& offBits, std::size_t& stride) {
  test::TestRandom random(static_cast<std::uint32_t>(kind.depth * 7 + kind.compression));
  const int width = 5, height = 3;
  stride = test::StoredRowBytes(width, kind.depth);
  Bytes pixels(stride * height);
  for (auto& byte : pixels) byte = random.Byte();
  std::vector<ColorQuad> table;
  if (kind.depth <= 8)
    for (int k = 0; k < (1 << kind.depth); ++k)
      table.push_back({random.Byte(), random.Byte(), random.Byte(), random.Byte()});
  std::vector<std::uint32_t> masks;
  if (kind.compression == 3) masks = {0xF800, 0x07E0, 0x001F};
  offBits = 54 + 4 * masks.size() + 4 * table.size();
  return test::BuildBmp(
      Fields(width, height, static_cast<std::uint16_t>(kind.depth), kind.compression), masks, table,
      pixels);
}

std::string LoadEveryPrefix(const Kind& kind) {
  std::size_t offBits = 0, stride = 0;
  const Bytes whole = SmallFile(kind, offBits, stride);
  BitmapImage reference;
  bool loaded = false;
  std::string failure = LoadFromMemory(whole, reference, loaded);
  if (!failure.empty() || !loaded) return "the whole file did not load";
  const int height = reference.Height(), width = reference.Width();
  for (std::size_t cut = 0; cut < whole.size(); ++cut) {
    const std::string at = " when cut at " + std::to_string(cut);
    BitmapImage image;
    failure =
        LoadFromMemory(Bytes(whole.begin(), whole.begin() + static_cast<long>(cut)), image, loaded);
    if (!failure.empty()) return failure + at;
    if (cut < 54) {
      failure = loaded ? "loaded" : CheckReset(image);
      if (!failure.empty()) return failure + at;
      continue;
    }
    if (!loaded) return "refused" + at;
    if (image.Width() != width || image.Height() != height || image.Depth() != kind.depth)
      return "wrong size or depth" + at;
    const int whole_rows = cut < offBits ? 0 : static_cast<int>((cut - offBits) / stride);
    for (int j = 0; j < height; ++j) {
      const bool arrived = j >= height - whole_rows;
      if (!arrived && kind.depth == 16) continue;
      for (int i = 0; i < width; ++i) {
        const ColorQuad expected = arrived ? reference.At(i, j) : kWhite;
        if (image.At(i, j) != expected)
          return "pixel (" + std::to_string(i) + ", " + std::to_string(j) + ") wrong" + at;
      }
    }
  }
  return "";
}

TEST(HostileFiles, AFileCutAtEveryByteLoadsTheRowsThatArrived) {
  const Kind kinds[] = {{"1 bit", 1, 0},    {"4 bits", 4, 0},          {"8 bits", 8, 0},
                        {"16 bits", 16, 0}, {"16 bits, masks", 16, 3}, {"24 bits", 24, 0},
                        {"32 bits", 32, 0}};
  for (const Kind& kind : kinds) {
    const test::ChildOutcome outcome = test::RunInChild([&] { return LoadEveryPrefix(kind); });
    EXPECT_TRUE(outcome.exited && outcome.failure.empty())
        << kind.name << ": " << outcome.Describe();
  }
}

TEST(HostileFiles, ADirectoryIsNoPictureToLoadOrProbe) {
  test::ScratchDir dir;
  const test::ChildOutcome outcome = test::RunInChild([&]() -> std::string {
    const int openBefore = File::OpenCount();
    BitmapImage image;
    if (image.Load(dir.path().c_str())) return "a directory loaded";
    std::string failure = CheckReset(image);
    if (!failure.empty()) return failure;
    ShowHeaders(dir.path().c_str());
    if (ReadFileHeader(dir.path().c_str()).bfSize != 0) return "a directory has a file size";
    if (FileBitDepth(dir.path().c_str()) != 0) return "a directory has a bit depth";
    if (File::OpenCount() != openBefore) return "a file was left open";
    return "";
  });
  EXPECT_TRUE(outcome.exited && outcome.failure.empty()) << outcome.Describe();
}

}  // namespace
}  // namespace quendral
