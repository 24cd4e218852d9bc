// Saving pictures: the exact bytes of small files, the layout at every
// depth, the row encoders, and what a save that cannot finish leaves behind.
#include <gtest/gtest.h>
#include <sys/stat.h>
#if !defined(_WIN32)
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "bmp/row_loops.h"
#include "image/bitmap_image.h"
#include "support/bmp_bytes.h"
#include "support/scratch_dir.h"

namespace quendral {
namespace {

using test::Bytes;
using Names = std::vector<std::string>;

constexpr int kDepths[] = {1, 4, 8, 16, 24, 32};
constexpr ColorQuad kBlack{0, 0, 0, 0};

std::uint32_t U32(const Bytes& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}
std::uint16_t U16(const Bytes& b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

void Prepare(BitmapImage& image, int depth, int width, int height) {
  ASSERT_TRUE(image.SetDepth(depth));
  ASSERT_TRUE(image.Resize(width, height));
}

void FillRandom(BitmapImage& image, std::uint32_t seed) {
  test::TestRandom random(seed);
  for (int j = 0; j < image.Height(); ++j)
    for (int i = 0; i < image.Width(); ++i)
      image.At(i, j) = ColorQuad{random.Byte(), random.Byte(), random.Byte(), random.Byte()};
}

class Writer : public ::testing::Test {
 protected:
  Bytes SaveBytes(BitmapImage& image) {
    const std::string path = dir_.File("out.bmp");
    EXPECT_TRUE(image.Save(path.c_str()));
    return test::ReadFileBytes(path);
  }
  test::ScratchDir dir_;
};

TEST_F(Writer, OneWhitePixelAt24BitsIsThe58ByteFile) {
  BitmapImage image;
  Prepare(image, 24, 1, 1);
  // clang-format off
  const Bytes expected = {
      0x42, 0x4D, 58, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,           // file header
      40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 24, 0,           // info header up to the bit count
      0, 0, 0, 0, 4, 0, 0, 0, 0xC4, 0x0E, 0, 0, 0xC4, 0x0E, 0, 0, // kind, data size, resolution
      0, 0, 0, 0, 0, 0, 0, 0,                                     // colours used and important
      0xFF, 0xFF, 0xFF, 0x00};                                    // blue, green, red, padding
  // clang-format on
  EXPECT_EQ(SaveBytes(image), expected);
}

TEST_F(Writer, OnePixelAt16BitsIsThe70ByteFileWithFiveSixFiveMasks) {
  struct Case {
    const char* name;
    ColorQuad colour;
    std::uint8_t low, high;
  };
  const Case cases[] = {
      {"white", kWhite, 0xFF, 0xFF},
      {"white, alpha dropped", {255, 255, 255, 77}, 0xFF, 0xFF},
      {"red", {0, 0, 255, 0}, 0x00, 0xF8},
      {"green", {0, 255, 0, 0}, 0xE0, 0x07},
      {"blue", {255, 0, 0, 0}, 0x1F, 0x00},
      {"red 8, green 4, blue 8", {8, 4, 8, 0}, 0x21, 0x08},
      {"bits below each channel's top are dropped", {7, 3, 7, 0}, 0x00, 0x00},
  };
  for (const Case& c : cases) {
    BitmapImage image;
    Prepare(image, 16, 1, 1);
    image.At(0, 0) = c.colour;
    // clang-format off
    const Bytes expected = {
        0x42, 0x4D, 70, 0, 0, 0, 0, 0, 0, 0, 66, 0, 0, 0,
        40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 16, 0,
        3, 0, 0, 0, 4, 0, 0, 0, 0xC4, 0x0E, 0, 0, 0xC4, 0x0E, 0, 0,
        0, 0, 0, 0, 0, 0, 0, 0,
        0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0x00, 0, 0,  // red, green, blue masks
        c.low, c.high, 0, 0};
    // clang-format on
    EXPECT_EQ(SaveBytes(image), expected) << c.name;
  }
}

TEST_F(Writer, HeadersTableAndZeroPaddingAtEveryDepth) {
  struct Case {
    int depth, width, height;
    std::uint32_t offBits;
    std::size_t stride;
    std::uint32_t compression;
  };
  const Case cases[] = {
      {1, 9, 3, 62, 4, 0},   {1, 32, 2, 62, 4, 0},  {4, 3, 3, 118, 4, 0},
      {8, 5, 2, 1078, 8, 0}, {16, 3, 3, 66, 8, 3},  {16, 4, 2, 66, 8, 3},
      {24, 5, 3, 54, 16, 0}, {24, 4, 2, 54, 12, 0}, {32, 3, 2, 54, 12, 0},
  };
  for (const Case& c : cases) {
    const std::string name = std::to_string(c.depth) + " bits, width " + std::to_string(c.width);
    BitmapImage image;
    Prepare(image, c.depth, c.width, c.height);
    FillRandom(image, static_cast<std::uint32_t>(c.depth * 100 + c.width));
    // A table entry is written as stored, its alpha included.
    image.SetPaletteEntry(1, ColorQuad{1, 2, 3, 0x44});
    const Bytes file = SaveBytes(image);
    const std::size_t pixelBytes = c.stride * static_cast<std::size_t>(c.height);
    ASSERT_EQ(file.size(), c.offBits + pixelBytes) << name;
    EXPECT_EQ(U16(file, 0), 0x4D42) << name;
    EXPECT_EQ(U32(file, 2), file.size()) << name;
    EXPECT_EQ(U32(file, 6), 0u) << name << ": reserved fields";
    EXPECT_EQ(U32(file, 10), c.offBits) << name;
    EXPECT_EQ(U32(file, 14), 40u) << name;
    EXPECT_EQ(U32(file, 18), static_cast<std::uint32_t>(c.width)) << name;
    EXPECT_EQ(U32(file, 22), static_cast<std::uint32_t>(c.height)) << name;
    EXPECT_EQ(U16(file, 26), 1) << name;
    EXPECT_EQ(U16(file, 28), c.depth) << name;
    EXPECT_EQ(U32(file, 30), c.compression) << name;
    EXPECT_EQ(U32(file, 34), pixelBytes) << name;
    EXPECT_EQ(U32(file, 46), 0u) << name;
    EXPECT_EQ(U32(file, 50), 0u) << name;
    if (c.depth <= 8) {
      for (int k = 0; k < (1 << c.depth); ++k) {
        const ColorQuad e = image.PaletteEntry(k);
        const std::size_t at = 54 + 4 * static_cast<std::size_t>(k);
        EXPECT_EQ(Bytes(file.begin() + at, file.begin() + at + 4),
                  (Bytes{e.blue, e.green, e.red, e.alpha}))
            << name << " entry " << k;
      }
    }
    const std::size_t dataBytes = (static_cast<std::size_t>(c.width) * c.depth + 7) / 8;
    for (int row = 0; row < c.height; ++row)
      for (std::size_t k = dataBytes; k < c.stride; ++k)
        EXPECT_EQ(file[c.offBits + row * c.stride + k], 0)
            << name << " padding of file row " << row;
  }
}

TEST_F(Writer, RowsHoldTheirPixelsBottomRowFirst) {
  const ColorQuad black = kBlack;
  struct Case {
    const char* name;
    int depth, width, height;
    std::vector<ColorQuad> pixels;  // top row first
    Bytes pixelData;                // as the file holds it
  };
  // clang-format off
  const Case cases[] = {
      {"1 bit, 9 wide: first pixel in bit 7, ninth in bit 7 of the next byte", 1, 9, 1,
       {black, kWhite, kWhite, black, kWhite, kWhite, kWhite, kWhite, kWhite},
       {0x6F, 0x80, 0, 0}},
      {"4 bits, 3 wide: first pixel in the high nibble", 4, 3, 1,
       {{0, 0, 255, 0}, {255, 0, 0, 0}, {128, 128, 128, 0}},  // entries 9, 12, 7
       {0x9C, 0x70, 0, 0}},
      {"8 bits: one index a byte", 8, 3, 1,
       {{192, 220, 192, 0}, kWhite, {0, 0, 255, 0}},  // entries 8, 255, 249
       {8, 255, 249, 0}},
      {"24 bits, 5 wide: 15 bytes and one of padding", 24, 5, 1,
       {{1, 2, 3, 9}, {4, 5, 6, 9}, {7, 8, 9, 9}, {10, 11, 12, 9}, {13, 14, 15, 9}},
       {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0}},
      {"32 bits: alpha as stored, no padding", 32, 2, 1,
       {{1, 2, 3, 4}, {5, 6, 7, 0xFF}},
       {1, 2, 3, 4, 5, 6, 7, 0xFF}},
      {"16 bits, 3 wide: 6 bytes and 2 of padding", 16, 3, 1,
       {{255, 0, 0, 0}, {0, 255, 0, 0}, {0, 0, 255, 0}},
       {0x1F, 0x00, 0xE0, 0x07, 0x00, 0xF8, 0, 0}},
      {"the bottom row comes first", 24, 1, 3,
       {{1, 1, 1, 0}, {2, 2, 2, 0}, {3, 3, 3, 0}},
       {3, 3, 3, 0, 2, 2, 2, 0, 1, 1, 1, 0}},
  };
  // clang-format on
  for (const Case& c : cases) {
    BitmapImage image;
    Prepare(image, c.depth, c.width, c.height);
    for (int j = 0; j < c.height; ++j)
      for (int i = 0; i < c.width; ++i) image.At(i, j) = c.pixels[j * c.width + i];
    const Bytes file = SaveBytes(image);
    ASSERT_GE(file.size(), U32(file, 10)) << c.name;
    EXPECT_EQ(Bytes(file.begin() + U32(file, 10), file.end()), c.pixelData) << c.name;
  }
}

TEST_F(Writer, AZeroResolutionIsWrittenAs3780AndTheImageKeepsIt) {
  struct Case {
    std::int32_t x, y, writtenX, writtenY;
  };
  for (const Case c :
       {Case{0, 0, 3780, 3780}, Case{2835, 0, 2835, 3780}, Case{-5, 11811, -5, 11811}}) {
    BitmapImage image;
    Prepare(image, 24, 1, 1);
    image.SetPelsPerMeter(c.x, c.y);
    const Bytes file = SaveBytes(image);
    EXPECT_EQ(static_cast<std::int32_t>(U32(file, 38)), c.writtenX);
    EXPECT_EQ(static_cast<std::int32_t>(U32(file, 42)), c.writtenY);
    EXPECT_EQ(image.XPelsPerMeter(), c.x);
    EXPECT_EQ(image.YPelsPerMeter(), c.y);
  }
}

// The direct-colour row encoders give the bytes a save stores for the row
// and write nothing behind them: not the padding, not past the buffer.
TEST_F(Writer, RowEncodersGiveTheStoredBytesAndTouchNothingBehindThem) {
  constexpr std::uint8_t kUntouched = 0xA5;
  for (const int width : {1, 2, 3, 5, 8}) {
    for (const int depth : {16, 24, 32}) {
      BitmapImage image;
      Prepare(image, depth, width, 2);
      FillRandom(image, static_cast<std::uint32_t>(depth * 100 + width));
      const std::size_t dataBytes = static_cast<std::size_t>(width) * depth / 8;
      Bytes buffer(dataBytes + 4, kUntouched);
      switch (depth) {
        case 32: rows::Pack32(image.Row(0), buffer.data(), width); break;
        case 24: rows::Pack24(image.Row(0), buffer.data(), width); break;
        default: rows::Pack565(image.Row(0), buffer.data(), width); break;
      }
      // Row 0 is the file's last row.
      const Bytes file = SaveBytes(image);
      const std::size_t stride = test::StoredRowBytes(width, depth);
      Bytes expected(file.end() - static_cast<std::ptrdiff_t>(stride),
                     file.end() - static_cast<std::ptrdiff_t>(stride - dataBytes));
      expected.resize(dataBytes + 4, kUntouched);
      EXPECT_EQ(buffer, expected) << depth << " bits, width " << width;
    }
  }
}

// --- saves that cannot finish -------------------------------------------------

// A picture too large for the 32-bit size fields is refused; within the
// pixel limit none is (at most 4 bytes a pixel, padding included), so there
// is nothing to save here that could show it. Raising the limit calls for
// that test.
static_assert(kMaxPixels * 4 + 54 + 1024 <= 0xFFFFFFFFll,
              "pictures within the pixel limit can now overflow the size fields");

TEST_F(Writer, APathInAMissingDirectoryFailsAndCreatesNothing) {
  BitmapImage image;
  Prepare(image, 24, 2, 2);
  EXPECT_FALSE(image.Save(dir_.File("missing/out.bmp").c_str()));
  EXPECT_FALSE(image.Save(nullptr));
  EXPECT_FALSE(image.Save(""));
  EXPECT_EQ(dir_.Entries(), Names{});
}

TEST_F(Writer, ALongerFileAtThePathIsReplacedWholeKeepingItsPermissions) {
  const std::string path = dir_.File("out.bmp");
  test::WriteFileBytes(path, Bytes(10000, 0x5A));
#if !defined(_WIN32)
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
#endif
  BitmapImage image;
  Prepare(image, 24, 1, 1);
  ASSERT_TRUE(image.Save(path.c_str()));
  EXPECT_EQ(test::ReadFileBytes(path).size(), 58u);
  EXPECT_EQ(dir_.Entries(), Names{"out.bmp"});
#if !defined(_WIN32)
  struct stat record;
  ASSERT_EQ(stat(path.c_str(), &record), 0);
  EXPECT_EQ(record.st_mode & 07777, 0640u);
#endif
}

#if !defined(_WIN32)
// Full devices, file size limits and links as POSIX systems have them.

enum class ChildSave { kSaved, kRefused, kAbnormal };

// Saves in a child process whose files may not grow past `limit` bytes, as
// when the medium fills up: its writes come up short instead of the process
// being stopped.
ChildSave SaveUnderFileSizeLimit(BitmapImage& image, const std::string& path, rlim_t limit) {
  const pid_t pid = fork();
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit cap{limit, limit};
    if (setrlimit(RLIMIT_FSIZE, &cap) != 0) _exit(2);
    _exit(image.Save(path.c_str()) ? 0 : 1);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return ChildSave::kAbnormal;
  switch (WEXITSTATUS(status)) {
    case 0:
      return ChildSave::kSaved;
    case 1:
      return ChildSave::kRefused;
    default:
      return ChildSave::kAbnormal;
  }
}

TEST_F(Writer, AFullDeviceFailsAtEveryDepth) {
  struct stat record;
  if (stat("/dev/full", &record) != 0 || !S_ISCHR(record.st_mode)) GTEST_SKIP() << "no /dev/full";
  for (const int depth : kDepths) {
    BitmapImage image;
    Prepare(image, depth, 40, 30);
    EXPECT_FALSE(image.Save("/dev/full")) << depth << " bits";
  }
  ASSERT_EQ(stat("/dev/full", &record), 0);
  EXPECT_TRUE(S_ISCHR(record.st_mode)) << "the device must have been written, not replaced";
}

// Whatever point the medium fills up at, the file at the path stays as it
// was (here: the very picture being saved, loaded from it) and no partial
// or temporary file is left; with just enough room the save succeeds.
TEST_F(Writer, AMediumFillingUpLeavesTheExistingFileIntactAtEveryDepth) {
  for (const int depth : kDepths) {
    const std::string name = std::to_string(depth) + " bits";
    const std::string picture = dir_.File("picture.bmp");
    BitmapImage original;
    Prepare(original, depth, 37, 29);
    FillRandom(original, static_cast<std::uint32_t>(depth));
    ASSERT_TRUE(original.Save(picture.c_str())) << name;
    const Bytes before = test::ReadFileBytes(picture);
    const rlim_t size = before.size();

    // The picture to save differs from the file in two pixels.
    BitmapImage image;
    ASSERT_TRUE(image.Load(picture.c_str())) << name;
    for (ColorQuad* p : {&image.At(0, 0), &image.At(36, 28)}) *p = *p == kBlack ? kWhite : kBlack;
    for (const rlim_t limit : {rlim_t{0}, rlim_t{54}, size / 2, size - 1}) {
      for (const std::string& path : {picture, dir_.File("new.bmp")}) {
        EXPECT_EQ(SaveUnderFileSizeLimit(image, path, limit), ChildSave::kRefused)
            << name << ", room for " << limit << " bytes, " << path;
        EXPECT_EQ(test::ReadFileBytes(picture), before) << name << ", room for " << limit;
        EXPECT_EQ(dir_.Entries(), Names{"picture.bmp"}) << name << ", room for " << limit;
      }
    }
    ASSERT_EQ(SaveUnderFileSizeLimit(image, picture, size), ChildSave::kSaved) << name;
    EXPECT_EQ(dir_.Entries(), Names{"picture.bmp"}) << name;
    test::ScratchDir elsewhere;
    const std::string reference = elsewhere.File("reference.bmp");
    ASSERT_TRUE(image.Save(reference.c_str())) << name;
    EXPECT_EQ(test::ReadFileBytes(picture), test::ReadFileBytes(reference)) << name;
    EXPECT_NE(test::ReadFileBytes(picture), before) << name;
  }
}

TEST_F(Writer, ASymbolicLinkStaysALinkToTheNewPicture) {
  const std::string target = dir_.File("target.bmp");
  const std::string link = dir_.File("link.bmp");
  test::WriteFileBytes(target, Bytes(100, 0x5A));
  ASSERT_EQ(symlink("target.bmp", link.c_str()), 0);
  BitmapImage image;
  Prepare(image, 24, 1, 1);
  ASSERT_TRUE(image.Save(link.c_str()));
  struct stat record;
  ASSERT_EQ(lstat(link.c_str(), &record), 0);
  EXPECT_TRUE(S_ISLNK(record.st_mode));
  EXPECT_EQ(test::ReadFileBytes(target).size(), 58u);
  EXPECT_EQ(dir_.Entries(), (Names{"link.bmp", "target.bmp"}));
}

#endif  // !defined(_WIN32)

}  // namespace
}  // namespace quendral
