// Loading BMP files built byte by byte: what is accepted, what is refused
// and the state a refusal leaves, row layouts, colour tables and the gap
// before the pixels, 16-bit words, and files that end early.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "bmp/row_loops.h"
#include "image/bitmap_image.h"
#include "platform/file.h"
#include "support/bmp_bytes.h"
#include "support/scratch_dir.h"

namespace quendral {
namespace {

using test::BmpFields;
using test::Bytes;

constexpr ColorQuad kBlack{0, 0, 0, 0};

// Any table of all 65,536 words' pixels will do for the 16-bit decoder.
const std::vector<ColorQuad>& ExpandedWords() {
  static const std::vector<ColorQuad> words = [] {
    std::vector<ColorQuad> table(65536);
    for (unsigned w = 0; w < 65536; ++w)
      table[w] = ColorQuad{static_cast<std::uint8_t>(w), static_cast<std::uint8_t>(w >> 8), 3, 0};
    return table;
  }();
  return words;
}

// Everything a load may change, to show that it changed nothing.
struct ImageState {
  int depth, width, height;
  std::int32_t xPelsPerMeter, yPelsPerMeter;
  std::vector<ColorQuad> pixels, palette;
  bool operator==(const ImageState& o) const {
    return depth == o.depth && width == o.width && height == o.height &&
           xPelsPerMeter == o.xPelsPerMeter && yPelsPerMeter == o.yPelsPerMeter &&
           pixels == o.pixels && palette == o.palette;
  }
};

ImageState Snapshot(const BitmapImage& image) {
  ImageState s{image.Depth(),
               image.Width(),
               image.Height(),
               image.XPelsPerMeter(),
               image.YPelsPerMeter(),
               {},
               {}};
  for (int j = 0; j < image.Height(); ++j)
    for (int i = 0; i < image.Width(); ++i) s.pixels.push_back(image.At(i, j));
  if (image.Depth() <= 8)
    for (int k = 0; k < image.ColorCount(); ++k) s.palette.push_back(image.PaletteEntry(k));
  return s;
}

// A 3 x 2 8-bit picture that no load would produce by chance.
void MakeDistinctive(BitmapImage& image) {
  image.SetDepth(8);
  image.Resize(3, 2);
  image.At(2, 1) = ColorQuad{1, 2, 3, 4};
  image.SetPaletteEntry(5, ColorQuad{9, 8, 7, 6});
  image.SetPelsPerMeter(1234, 5678);
}

// The image after a refusal: one white pixel at 1 bit with the standard table.
void ExpectReset(const BitmapImage& image, std::int32_t xPels, std::int32_t yPels,
                 const std::string& what) {
  EXPECT_EQ(image.Width(), 1) << what;
  EXPECT_EQ(image.Height(), 1) << what;
  EXPECT_EQ(image.Depth(), 1) << what;
  EXPECT_EQ(image.At(0, 0), kWhite) << what;
  EXPECT_EQ(image.PaletteEntry(0), kBlack) << what;
  EXPECT_EQ(image.PaletteEntry(1), kWhite) << what;
  EXPECT_EQ(image.XPelsPerMeter(), xPels) << what;
  EXPECT_EQ(image.YPelsPerMeter(), yPels) << what;
}

// Packs palette indices into one stored row, first pixel in the highest bits.
Bytes PackIndices(const std::vector<int>& indices, int depth, std::size_t stride) {
  Bytes row(stride, 0);
  for (std::size_t i = 0; i < indices.size(); ++i) {
    const std::size_t bit = i * static_cast<std::size_t>(depth);
    row[bit / 8] |= static_cast<std::uint8_t>(indices[i] << (8 - depth - bit % 8));
  }
  return row;
}

class Reader : public ::testing::Test {
 protected:
  // Writes `bytes` to a file and loads it; every file opened must be closed.
  bool LoadBytes(BitmapImage& image, const Bytes& bytes) {
    const std::string path = dir_.File("in.bmp");
    test::WriteFileBytes(path, bytes);
    const int openBefore = File::OpenCount();
    const bool loaded = image.Load(path.c_str());
    EXPECT_EQ(File::OpenCount(), openBefore) << "a file was left open";
    return loaded;
  }
  test::ScratchDir dir_;
};

TEST_F(Reader, AFileThatCannotBeOpenedResetsTheImageButNotItsResolution) {
  for (const bool nullPath : {false, true}) {
    BitmapImage image;
    MakeDistinctive(image);
    const std::string missing = dir_.File("missing.bmp");
    EXPECT_FALSE(image.Load(nullPath ? nullptr : missing.c_str()));
    ExpectReset(image, 1234, 5678, nullPath ? "null path" : "missing file");
  }
}

TEST_F(Reader, AWrongSignatureLeavesTheImageUntouched) {
  BmpFields reversed;
  reversed.bfType = 0x424D;  // "MB"
  const std::string text = "Just some text, long enough to fill both BMP headers twice over....";
  const Bytes cases[] = {
      test::BuildBmp(reversed, {}, {}, Bytes(4, 0)), Bytes(text.begin(), text.end()),
      Bytes{'X'},  // half a signature that cannot become "BM"
  };
  for (const Bytes& bytes : cases) {
    BitmapImage image;
    MakeDistinctive(image);
    const ImageState before = Snapshot(image);
    EXPECT_FALSE(LoadBytes(image, bytes));
    EXPECT_TRUE(Snapshot(image) == before) << "file starting " << int(bytes[0]);
  }
}

TEST_F(Reader, HeadersCutShortResetTheImageAndKeepItsResolution) {
  const Bytes whole = test::BuildBmp(BmpFields{}, {}, {}, Bytes(4, 0));
  for (const std::size_t length : {0, 1, 2, 14, 30, 53}) {
    BitmapImage image;
    MakeDistinctive(image);
    EXPECT_FALSE(LoadBytes(image, Bytes(whole.begin(), whole.begin() + length)));
    ExpectReset(image, 1234, 5678, std::to_string(length) + " bytes");
  }
}

TEST_F(Reader, RefusedKindsAndSizesResetTheImageWithTheFilesResolution) {
  struct Case {
    const char* name;
    std::uint32_t compression;
    std::uint16_t bitCount;
    std::int32_t width, height;
  };
  const Case cases[] = {
      {"RLE 8", 1, 8, 2, 2},
      {"RLE 4", 2, 4, 2, 2},
      {"bit fields at 24 bits", 3, 24, 2, 2},
      {"bit fields at 32 bits", 3, 32, 2, 2},
      {"compression 4", 4, 24, 2, 2},
      {"2 bits per pixel", 0, 2, 2, 2},
      {"0 bits per pixel", 0, 0, 2, 2},
      {"64 bits per pixel", 0, 64, 2, 2},
      {"stored top row first", 0, 24, 2, -10},
      {"no rows", 0, 24, 2, 0},
      {"no columns", 0, 8, 0, 2},
      {"negative width", 0, 24, -3, 2},
      // Rows wider than 32 bits can count, and pictures over 2^28 pixels.
      {"row of 2^31 bits at 32 bits", 0, 32, 1 << 26, 1},
      {"row over 2^31 bits at 24 bits", 0, 24, 89478486, 1},
      {"over 2^28 pixels in one row", 0, 1, (1 << 28) + 1, 1},
      {"over 2^28 pixels", 0, 24, 16385, 16384},
      {"2^31 - 1 pixels at 16 bits", 0, 16, 0x7FFFFFFF, 1},
  };
  for (const Case& c : cases) {
    BmpFields fields;
    fields.biCompression = c.compression;
    fields.biBitCount = c.bitCount;
    fields.biWidth = c.width;
    fields.biHeight = c.height;
    fields.biXPelsPerMeter = -7;
    fields.biYPelsPerMeter = 11811;
    BitmapImage image;
    MakeDistinctive(image);
    EXPECT_FALSE(LoadBytes(image, test::BuildBmp(fields, {}, {}, Bytes(64, 0)))) << c.name;
    ExpectReset(image, -7, 11811, c.name);
  }
}

TEST_F(Reader, RowsAreReadAtTheirPaddedSizeIgnoringBitsPastTheWidth) {
  struct Case {
    int depth, width;
    std::size_t stride, dataBytes;
    std::uint8_t lastDataByte;  // bits past the width set, which must not count
  };
  const Case cases[] = {
      {24, 1, 4, 3, 0x00}, {1, 33, 8, 5, 0x7F}, {4, 3, 4, 2, 0x0F},
      {16, 3, 8, 6, 0x00}, {8, 5, 8, 5, 0x00},  {32, 3, 12, 12, 0x00},
  };
  // Entry 0 is the only black one, and carries an alpha of its own.
  const ColorQuad blackEntry{0, 0, 0, 7};
  for (const Case& c : cases) {
    // Two rows of zero pixels whose padding is all ones: reading a row at
    // the wrong size brings ones (or the end of the file) into the top row.
    Bytes row(c.stride, 0xFF);
    std::fill_n(row.begin(), c.dataBytes, 0x00);
    row[c.dataBytes - 1] = c.lastDataByte;
    Bytes pixels = row;
    pixels.insert(pixels.end(), row.begin(), row.end());
    std::vector<ColorQuad> table;
    if (c.depth <= 8) {
      table.assign(std::size_t{1} << c.depth, ColorQuad{200, 200, 200, 0});
      table[0] = blackEntry;
    }
    BmpFields fields;
    fields.biBitCount = static_cast<std::uint16_t>(c.depth);
    fields.biWidth = c.width;
    fields.biHeight = 2;
    BitmapImage image;
    ASSERT_TRUE(LoadBytes(image, test::BuildBmp(fields, {}, table, pixels))) << c.depth;
    const ColorQuad expected = c.depth <= 8 ? blackEntry : kBlack;
    for (int j = 0; j < 2; ++j)
      for (int i = 0; i < c.width; ++i)
        ASSERT_EQ(image.At(i, j), expected) << c.depth << " bits, pixel " << i << "," << j;
  }
}

TEST_F(Reader, AFileCutShortKeepsTheRowsItGaveAndWhiteAbove) {
  // 2 x 4 pixels at 24 bits: rows of 6 bytes and 2 of padding.
  constexpr int kHeight = 4;
  constexpr std::size_t kStride = 8;
  auto colourOf = [](int j) {
    return ColorQuad{static_cast<std::uint8_t>(10 * j + 1), static_cast<std::uint8_t>(10 * j + 2),
                     static_cast<std::uint8_t>(10 * j + 3), 0};
  };
  Bytes pixels;
  for (int j = kHeight - 1; j >= 0; --j) {
    const ColorQuad c = colourOf(j);
    for (int i = 0; i < 2; ++i) pixels.insert(pixels.end(), {c.blue, c.green, c.red});
    pixels.insert(pixels.end(), {0, 0});
  }
  BmpFields fields;
  fields.biWidth = 2;
  fields.biHeight = kHeight;
  const Bytes whole = test::BuildBmp(fields, {}, {}, pixels);
  for (const std::size_t kept : {std::size_t{0}, kStride + 3, 2 * kStride, pixels.size() - 1}) {
    BitmapImage image;
    ASSERT_TRUE(LoadBytes(image, Bytes(whole.begin(), whole.end() - static_cast<std::ptrdiff_t>(
                                                                        pixels.size() - kept))));
    const int rowsGiven = static_cast<int>(kept / kStride);
    for (int j = 0; j < kHeight; ++j) {
      const ColorQuad expected = j >= kHeight - rowsGiven ? colourOf(j) : kWhite;
      for (int i = 0; i < 2; ++i)
        EXPECT_EQ(image.At(i, j), expected) << kept << " pixel bytes, row " << j;
    }
  }
}

TEST_F(Reader, TheColourTableComesFromBfOffBitsAndTheRestOfTheGapIsSkipped) {
  struct Case {
    const char* name;
    int depth;
    std::int64_t bfOffBits;
    int entriesInFile;
    std::size_t skipped;
  };
  const Case cases[] = {
      {"8 bits, 16 entries", 8, 54 + 64, 16, 0},
      {"4 bits, 16 entries and 10 bytes more", 4, 54 + 64 + 10, 16, 10},
      {"4 bits, 5 entries", 4, 54 + 20, 5, 0},
      {"1 bit, 2 entries and 3 bytes more", 1, 54 + 8 + 3, 2, 3},
      {"8 bits, offset inside the headers", 8, 20, 0, 0},
      {"8 bits, full table and a long gap", 8, 54 + 1024 + 10000, 256, 10000},
  };
  constexpr int kWidth = 6, kHeight = 2;
  for (const Case& c : cases) {
    test::TestRandom random(static_cast<std::uint32_t>(c.bfOffBits));
    std::vector<ColorQuad> table(static_cast<std::size_t>(c.entriesInFile));
    for (ColorQuad& e : table)
      e = ColorQuad{random.Byte(), random.Byte(), random.Byte(), random.Byte()};
    const int colours = 1 << c.depth;
    const std::size_t stride = test::StoredRowBytes(kWidth, c.depth);
    Bytes data(c.skipped, 0xAB);
    std::vector<std::vector<int>> indices(kHeight);
    for (int j = kHeight - 1; j >= 0; --j) {
      for (int i = 0; i < kWidth; ++i) indices[j].push_back((5 * (i + kWidth * j) + 3) % colours);
      const Bytes row = PackIndices(indices[j], c.depth, stride);
      data.insert(data.end(), row.begin(), row.end());
    }
    BmpFields fields;
    fields.biBitCount = static_cast<std::uint16_t>(c.depth);
    fields.biWidth = kWidth;
    fields.biHeight = kHeight;
    fields.bfOffBits = c.bfOffBits;
    BitmapImage image;
    ASSERT_TRUE(LoadBytes(image, test::BuildBmp(fields, {}, table, data))) << c.name;
    // Entries the file does not give are white, not the standard colours.
    auto entry = [&](int k) { return k < c.entriesInFile ? table[k] : kWhite; };
    for (int k = 0; k < colours; ++k)
      EXPECT_EQ(image.PaletteEntry(k), entry(k)) << c.name << " entry " << k;
    for (int j = 0; j < kHeight; ++j)
      for (int i = 0; i < kWidth; ++i)
        EXPECT_EQ(image.At(i, j), entry(indices[j][i])) << c.name << " pixel " << i << "," << j;
  }
}

TEST_F(Reader, AColourTableFollowsAnInfoHeaderLongerThan40Bytes) {
  struct Case {
    const char* name;
    int depth;
    std::uint32_t biSize;
    int entriesInFile;       // written right after the whole info header
    std::int64_t bfOffBits;  // -1: right after the table
    std::size_t fileCut;     // 0: the whole file
  };
  const Case cases[] = {
      {"8 bits, 124-byte header, full table", 8, 124, 256, -1, 0},
      {"8 bits, 108-byte header, 16 entries", 8, 108, 16, -1, 0},
      {"4 bits, 64-byte header, 5 entries", 4, 64, 5, -1, 0},
      {"4 bits, 56-byte header, full table and 3 bytes more", 4, 56, 16, 14 + 56 + 64 + 3, 0},
      {"1 bit, 52-byte header", 1, 52, 2, -1, 0},
      {"1 bit, 124-byte header", 1, 124, 2, -1, 0},
      // A header that would reach past the pixels is not believed: the
      // table is read at byte 54, as for any other file.
      {"8 bits, header claimed past bfOffBits", 8, 124, 16, 54 + 64, 0},
      // The file ends inside the longer header: the table keeps the
      // standard colours and every row is white.
      {"1 bit, cut inside the header", 1, 124, 2, 14 + 124 + 8, 14 + 60},
  };
  constexpr int kWidth = 5, kHeight = 2;
  for (const Case& c : cases) {
    test::TestRandom random(c.biSize * 7 + static_cast<std::uint32_t>(c.depth));
    const bool believed = c.bfOffBits < 0 || 14 + std::int64_t{c.biSize} <= c.bfOffBits;
    const std::size_t headerRest = believed ? c.biSize - 40 : 0;
    std::vector<ColorQuad> table(static_cast<std::size_t>(c.entriesInFile));
    for (ColorQuad& e : table)
      e = ColorQuad{random.Byte(), random.Byte(), random.Byte(), random.Byte()};
    const int colours = 1 << c.depth;
    BmpFields fields;
    fields.biSize = c.biSize;
    fields.biBitCount = static_cast<std::uint16_t>(c.depth);
    fields.biWidth = kWidth;
    fields.biHeight = kHeight;
    fields.bfOffBits = c.bfOffBits >= 0 ? c.bfOffBits
                                        : static_cast<std::int64_t>(54 + headerRest + 4 * table.size());
    Bytes file = test::HeaderBytes(fields);
    file.resize(file.size() + headerRest, 0xEE);  // the header's later fields
    for (const ColorQuad& e : table) file.insert(file.end(), {e.blue, e.green, e.red, e.alpha});
    file.resize(static_cast<std::size_t>(fields.bfOffBits), 0xAB);
    std::vector<std::vector<int>> indices(kHeight);
    for (int j = kHeight - 1; j >= 0; --j) {
      for (int i = 0; i < kWidth; ++i) indices[j].push_back((3 * (i + kWidth * j) + 1) % colours);
      const Bytes row = PackIndices(indices[j], c.depth, test::StoredRowBytes(kWidth, c.depth));
      file.insert(file.end(), row.begin(), row.end());
    }
    if (c.fileCut != 0) file.resize(c.fileCut);

    BitmapImage image;
    ASSERT_TRUE(LoadBytes(image, file)) << c.name;
    BitmapImage standard;
    standard.SetDepth(c.depth);
    const int given = std::min<int>(c.entriesInFile, colours);
    for (int k = 0; k < colours; ++k) {
      const ColorQuad expected = k >= given ? kWhite : c.fileCut ? standard.PaletteEntry(k) : table[k];
      EXPECT_EQ(image.PaletteEntry(k), expected) << c.name << " entry " << k;
    }
    for (int j = 0; j < kHeight; ++j)
      for (int i = 0; i < kWidth; ++i)
        EXPECT_EQ(image.At(i, j), c.fileCut ? kWhite : image.PaletteEntry(indices[j][i]))
            << c.name << " pixel " << i << "," << j;
  }
}

TEST_F(Reader, AnOffsetFarPastTheEndGivesAWhitePictureWithoutReadingGigabytes) {
  BmpFields fields;
  fields.biWidth = 2;
  fields.biHeight = 2;
  fields.bfOffBits = 0x7FFFFFF0;
  BitmapImage image;
  ASSERT_TRUE(LoadBytes(image, test::BuildBmp(fields, {}, {}, Bytes(16, 0))));
  for (int j = 0; j < 2; ++j)
    for (int i = 0; i < 2; ++i) EXPECT_EQ(image.At(i, j), kWhite);
}

TEST_F(Reader, SixteenBitWordsGiveFiveBitsPerChannelTimesEight) {
  const std::vector<std::uint32_t> fiveSixFive = {0xF800, 0x07E0, 0x001F};
  struct Case {
    const char* name;
    std::uint32_t compression;
    std::vector<std::uint32_t> masks;
    std::uint16_t word;
    ColorQuad expected;
  };
  const Case cases[] = {
      {"5-5-5 red", 0, {}, 0x7C00, {0, 0, 248, 0}},
      {"5-5-5 green", 0, {}, 0x03E0, {0, 248, 0, 0}},
      {"5-5-5 blue", 0, {}, 0x001F, {248, 0, 0, 0}},
      {"5-5-5 all bits", 0, {}, 0xFFFF, {248, 248, 248, 0}},
      {"5-5-5 lowest bits", 0, {}, 0x0421, {8, 8, 8, 0}},
      {"5-6-5 green", 3, fiveSixFive, 0x07E0, {0, 248, 0, 0}},
      {"5-6-5 lowest green bit is dropped", 3, fiveSixFive, 0x0020, {0, 0, 0, 0}},
      {"5-6-5 second green bit", 3, fiveSixFive, 0x0040, {0, 8, 0, 0}},
      {"5-6-5 red", 3, fiveSixFive, 0xF800, {0, 0, 248, 0}},
      {"5-6-5 all bits", 3, fiveSixFive, 0xFFFF, {248, 248, 248, 0}},
      {"only the low half of a mask counts",
       3,
       {0xFFFFF800, 0xFFFF07E0, 0xFFFF001F},
       0x07E0,
       {0, 248, 0, 0}},
  };
  for (const Case& c : cases) {
    BmpFields fields;
    fields.biBitCount = 16;
    fields.biCompression = c.compression;
    const Bytes pixel = {static_cast<std::uint8_t>(c.word), static_cast<std::uint8_t>(c.word >> 8),
                         0, 0};
    BitmapImage image;
    ASSERT_TRUE(LoadBytes(image, test::BuildBmp(fields, c.masks, {}, pixel))) << c.name;
    EXPECT_EQ(image.Depth(), 16) << c.name;
    EXPECT_EQ(image.At(0, 0), c.expected) << c.name;
  }
}

TEST_F(Reader, ASixteenBitFileCutShortGivesADefinedPicture) {
  // 3 x 2 pixels: the bottom row's first two words and one byte of the third.
  BmpFields fields;
  fields.biBitCount = 16;
  fields.biWidth = 3;
  fields.biHeight = 2;
  const Bytes cut = test::BuildBmp(fields, {}, {}, {0x00, 0x7C, 0xE0, 0x03, 0x1F});
  BitmapImage image;
  ASSERT_TRUE(LoadBytes(image, cut));
  EXPECT_EQ(image.At(0, 1), (ColorQuad{0, 0, 248, 0}));
  EXPECT_EQ(image.At(1, 1), (ColorQuad{0, 248, 0, 0}));
  // Every pixel the file does not give repeats one and the same value.
  const ColorQuad rest = image.At(2, 1);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(image.At(i, 0), rest) << i;
  BitmapImage again;
  ASSERT_TRUE(LoadBytes(again, cut));
  EXPECT_TRUE(Snapshot(again) == Snapshot(image));

  // No pixel data at all, and bit fields whose masks are missing too.
  fields.biCompression = 3;
  BitmapImage empty;
  ASSERT_TRUE(LoadBytes(empty, test::HeaderBytes(fields)));
  for (int j = 0; j < 2; ++j)
    for (int i = 0; i < 3; ++i) EXPECT_EQ(empty.At(i, j), empty.At(0, 0));
}

TEST_F(Reader, AlphaComesFromTheFourthByteOrTheTableEntry) {
  BmpFields fields;
  fields.biWidth = 2;
  fields.biBitCount = 32;
  BitmapImage image;
  ASSERT_TRUE(LoadBytes(image, test::BuildBmp(fields, {}, {}, {1, 2, 3, 4, 5, 6, 7, 0xFF})));
  EXPECT_EQ(image.At(0, 0), (ColorQuad{1, 2, 3, 4}));
  EXPECT_EQ(image.At(1, 0), (ColorQuad{5, 6, 7, 0xFF}));

  fields.biBitCount = 24;
  ASSERT_TRUE(LoadBytes(image, test::BuildBmp(fields, {}, {}, {1, 2, 3, 4, 5, 6, 0xEE, 0xEE})));
  EXPECT_EQ(image.At(0, 0), (ColorQuad{1, 2, 3, 0}));
  EXPECT_EQ(image.At(1, 0), (ColorQuad{4, 5, 6, 0}));

  fields.biBitCount = 1;
  const std::vector<ColorQuad> table = {{10, 20, 30, 40}, {50, 60, 70, 80}};
  ASSERT_TRUE(LoadBytes(image, test::BuildBmp(fields, {}, table, {0x40, 0, 0, 0})));
  EXPECT_EQ(image.At(0, 0), table[0]);
  EXPECT_EQ(image.At(1, 0), table[1]);
}

TEST_F(Reader, ALoadedPictureReplacesWhateverTheImageHeld) {
  BitmapImage image;
  MakeDistinctive(image);
  BmpFields fields;
  fields.biXPelsPerMeter = 0;
  fields.biYPelsPerMeter = -1;
  ASSERT_TRUE(LoadBytes(image, test::BuildBmp(fields, {}, {}, {9, 8, 7, 0})));
  EXPECT_EQ(image.Depth(), 24);
  EXPECT_EQ(image.Width(), 1);
  EXPECT_EQ(image.Height(), 1);
  EXPECT_EQ(image.At(0, 0), (ColorQuad{9, 8, 7, 0}));
  EXPECT_EQ(image.XPelsPerMeter(), 0);
  EXPECT_EQ(image.YPelsPerMeter(), -1);
}

// Each row decoder writes exactly `width` pixels and reads no byte past
// the row's data: a row placed at the very end of its buffer shows it to
// the sanitizers, and the pixel behind the row keeps its marker.
TEST(RowDecoders, WriteTheRowsPixelsAndNothingBehindThem) {
  const ColorQuad marker{1, 2, 3, 4};
  std::vector<ColorQuad> table(256);
  for (int k = 0; k < 256; ++k)
    table[k] = ColorQuad{static_cast<std::uint8_t>(k), static_cast<std::uint8_t>(255 - k), 7, 9};
  for (const int width : {1, 2, 3, 7, 8, 9, 33}) {
    for (const int depth : {1, 4, 8, 16, 24, 32}) {
      const std::size_t dataBytes = (static_cast<std::size_t>(width) * depth + 7) / 8;
      Bytes data(dataBytes);
      for (std::size_t k = 0; k < dataBytes; ++k) data[k] = static_cast<std::uint8_t>(37 * k + 11);
      std::vector<ColorQuad> out(static_cast<std::size_t>(width) + 1, marker);
      switch (depth) {
        case 32: rows::Expand32(data.data(), out.data(), width); break;
        case 24: rows::Expand24(data.data(), out.data(), width); break;
        case 16: rows::Expand16(data.data(), out.data(), width, ExpandedWords().data()); break;
        case 8: rows::Expand8(data.data(), out.data(), width, table.data()); break;
        case 4: rows::Expand4(data.data(), out.data(), width, table.data()); break;
        default: rows::Expand1(data.data(), out.data(), width, table.data()); break;
      }
      for (int i = 0; i < width; ++i) {
        const std::size_t bit = static_cast<std::size_t>(i) * depth;
        const unsigned byte = data[bit / 8];
        ColorQuad expected;
        switch (depth) {
          case 32: expected = ColorQuad{data[4 * i], data[4 * i + 1], data[4 * i + 2], data[4 * i + 3]}; break;
          case 24: expected = ColorQuad{data[3 * i], data[3 * i + 1], data[3 * i + 2], 0}; break;
          case 16: expected = ExpandedWords()[data[2 * i] | (data[2 * i + 1] << 8)]; break;
          default: expected = table[(byte >> (8 - depth - bit % 8)) & ((1u << depth) - 1)]; break;
        }
        EXPECT_EQ(out[i], expected) << depth << " bits, width " << width << ", pixel " << i;
      }
      EXPECT_EQ(out[width], marker) << depth << " bits, width " << width;
    }
  }
}

}  // namespace
}  // namespace quendral
