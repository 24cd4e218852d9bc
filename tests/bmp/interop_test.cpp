// Agreement with an independent BMP implementation, ImageMagick's convert:
// it reads the files we write at every depth with the pixels we meant, and
// we read the files it writes at the depths we accept with the pixels it
// reads from them. Skipped when convert is not installed.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "image/bitmap_image.h"
#include "support/bmp_bytes.h"
#include "support/scratch_dir.h"

namespace quendral {
namespace {

using test::Bytes;

#if defined(_WIN32)
// Windows has a system command of the same name that converts disks.
bool HaveConvert() {
  return false;
}
#define popen _popen
#define pclose _pclose
#else
// Only ImageMagick's own convert will do: another program of that name (or
// a stand-in that prints a notice) would fail every comparison.
bool HaveConvert() {
  return std::system("convert -version 2>/dev/null | grep -q ImageMagick") == 0;
}
#endif

// The standard output of a shell command; empty when it failed.
Bytes Capture(const std::string& command) {
  Bytes out;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  std::uint8_t chunk[4096];
  std::size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0)
    out.insert(out.end(), chunk, chunk + got);
  if (pclose(pipe) != 0) out.clear();
  return out;
}

// Scratch paths hold no quote of their own, so single quotes protect them.
std::string Quoted(const std::string& path) {
  return "'" + path + "'";
}

// The picture as convert reads it: red, green, blue, alpha, top row first.
Bytes MagickPixels(const std::string& bmpPath) {
  return Capture("convert " + Quoted("bmp:" + bmpPath) + " -depth 8 rgba:- 2>/dev/null");
}

// Compares one pixel of ours with convert's reading of the same file. At
// 16 bits the two widen 5 and 6 bits to 8 differently, so only the stored
// bits are compared: 5 for red and blue, 6 for green when convert reads our
// file (`ourFile`), and the 5 that our reader keeps of green otherwise.
testing::AssertionResult SamePixel(const ColorQuad& ours, const std::uint8_t* rgba, int depth,
                                   bool ourFile) {
  ColorQuad theirs{rgba[2], rgba[1], rgba[0], rgba[3]};
  ColorQuad mine = ours;
  if (depth == 16) {
    const int greenShift = ourFile ? 2 : 3;
    for (ColorQuad* p : {&mine, &theirs}) {
      p->red = static_cast<std::uint8_t>(p->red >> 3);
      p->green = static_cast<std::uint8_t>(p->green >> greenShift);
      p->blue = static_cast<std::uint8_t>(p->blue >> 3);
    }
  }
  if (depth != 32) mine.alpha = theirs.alpha = 0;  // only 32-bit files carry alpha
  if (mine == theirs) return testing::AssertionSuccess();
  return testing::AssertionFailure()
         << "ours (r,g,b,a) " << int(mine.red) << "," << int(mine.green) << "," << int(mine.blue)
         << "," << int(mine.alpha) << ", convert's " << int(theirs.red) << "," << int(theirs.green)
         << "," << int(theirs.blue) << "," << int(theirs.alpha);
}

constexpr int kTheirWidth = 9, kTheirHeight = 7;

class Interop : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveConvert()) GTEST_SKIP() << "ImageMagick's convert is not installed";
  }

  // Has convert write random pixels (`channels` 3 or 4 bytes each, kept in
  // `raw`) as a BMP file with the given options; its path, or empty.
  std::string WriteWithConvert(const std::string& output, int channels, std::uint32_t seed,
                               Bytes& raw) {
    test::TestRandom random(seed);
    raw.assign(static_cast<std::size_t>(channels * kTheirWidth * kTheirHeight), 0);
    for (std::uint8_t& b : raw) b = random.Byte();
    const std::string rawPath = dir_.File("input.raw");
    const std::string bmpPath = dir_.File("theirs.bmp");
    test::WriteFileBytes(rawPath, raw);
    const std::string command = "convert -size " + std::to_string(kTheirWidth) + "x" +
                                std::to_string(kTheirHeight) + " -depth 8 " +
                                (channels == 4 ? "rgba:" : "rgb:") + Quoted(rawPath) + " " +
                                output + Quoted(bmpPath) + " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) {
      ADD_FAILURE() << "convert failed: " << command;
      return "";
    }
    return bmpPath;
  }

  test::ScratchDir dir_;
};

TEST_F(Interop, ConvertReadsOurFilesAtEveryDepth) {
  constexpr int kWidth = 9, kHeight = 5;
  for (const int depth : {1, 4, 8, 16, 24, 32}) {
    const std::string path = dir_.File("ours-" + std::to_string(depth) + ".bmp");
    test::TestRandom random(static_cast<std::uint32_t>(depth));
    BitmapImage image;
    ASSERT_TRUE(image.SetDepth(depth));
    ASSERT_TRUE(image.Resize(kWidth, kHeight));
    for (int j = 0; j < kHeight; ++j)
      for (int i = 0; i < kWidth; ++i)
        image.At(i, j) = ColorQuad{random.Byte(), random.Byte(), random.Byte(), random.Byte()};
    ASSERT_TRUE(image.Save(path.c_str()));

    const Bytes theirs = MagickPixels(path);
    ASSERT_EQ(theirs.size(), 4u * kWidth * kHeight) << depth << " bits: convert could not read it";
    for (int j = 0; j < kHeight; ++j) {
      for (int i = 0; i < kWidth; ++i) {
        ColorQuad meant = image.At(i, j);
        if (depth <= 8) meant = image.PaletteEntry(image.NearestPaletteIndex(meant));
        EXPECT_TRUE(
            SamePixel(meant, &theirs[4 * static_cast<std::size_t>(j * kWidth + i)], depth, true))
            << depth << " bits, pixel " << i << "," << j;
      }
    }
  }
}

TEST_F(Interop, WeReadConvertsFilesAtTheDepthsWeAccept) {
  struct Case {
    const char* name;
    int channels;
    const char* output;  // convert's options and the output format
    int depth;
  };
  const Case cases[] = {
      {"24 bits", 3, "-type TrueColor BMP3:", 24},
      {"24 bits behind a long info header", 3, "-type TrueColor BMP:", 24},
      {"32 bits with alpha", 4, "-define bmp3:alpha=true BMP3:", 32},
      {"16 bits, 5-6-5 bit fields", 3, "-define bmp:subtype=RGB565 BMP:", 16},
      {"8-bit colour table", 3, "-colors 200 -type Palette -compress None BMP3:", 8},
      {"4-bit colour table", 3, "-colors 16 -type Palette -compress None BMP3:", 4},
      {"1 bit", 3, "-type Bilevel BMP3:", 1},
      // The colour table follows the whole of a longer info header.
      {"8-bit table behind a long info header", 3, "-colors 200 -type Palette -compress None BMP:",
       8},
      {"4-bit table behind a long info header", 3, "-colors 16 -type Palette -compress None BMP:",
       4},
      {"1 bit behind a long info header", 3, "-type Bilevel BMP:", 1},
  };
  for (const Case& c : cases) {
    Bytes raw;
    const std::string path =
        WriteWithConvert(c.output, c.channels, static_cast<std::uint32_t>(c.depth), raw);
    ASSERT_FALSE(path.empty()) << c.name;
    BitmapImage image;
    ASSERT_TRUE(image.Load(path.c_str())) << c.name;
    EXPECT_EQ(image.Depth(), c.depth) << c.name;
    ASSERT_EQ(image.Width(), kTheirWidth) << c.name;
    ASSERT_EQ(image.Height(), kTheirHeight) << c.name;
    const Bytes theirs = MagickPixels(path);
    ASSERT_EQ(theirs.size(), 4u * kTheirWidth * kTheirHeight) << c.name;
    for (int j = 0; j < kTheirHeight; ++j) {
      for (int i = 0; i < kTheirWidth; ++i) {
        const std::size_t k = static_cast<std::size_t>(j * kTheirWidth + i);
        EXPECT_TRUE(SamePixel(image.At(i, j), &theirs[4 * k], c.depth, false))
            << c.name << ", pixel " << i << "," << j;
        // The full-colour files hold the input exactly.
        if (c.depth >= 24) {
          const std::uint8_t* in = &raw[static_cast<std::size_t>(c.channels) * k];
          const ColorQuad given{in[2], in[1], in[0], c.channels == 4 ? in[3] : std::uint8_t{0}};
          EXPECT_EQ(image.At(i, j), given) << c.name << ", pixel " << i << "," << j;
        }
      }
    }
  }
}

TEST_F(Interop, ConvertsRunLengthFilesAreRefused) {
  Bytes raw;
  const std::string path =
      WriteWithConvert("-colors 200 -type Palette -compress RLE BMP3:", 3, 1, raw);
  ASSERT_FALSE(path.empty());
  ASSERT_EQ(test::ReadFileBytes(path)[30], 1) << "convert did not write RLE 8";
  BitmapImage image;
  EXPECT_FALSE(image.Load(path.c_str()));
  EXPECT_EQ(image.Width(), 1);
  EXPECT_EQ(image.Depth(), 1);
}

}  // namespace
}  // namespace quendral
