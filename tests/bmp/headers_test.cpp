// The two fixed BMP headers: their defaults, their byte order and their
// field-by-field transfer.
#include "bmp/headers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "platform/file.h"
#include "support/bmp_bytes.h"
#include "support/scratch_dir.h"

namespace quendral {
namespace {

using test::Bytes;

// Where each of the sixteen fields lies on disk.
struct FieldPlace {
  const char* name;
  int offset;
  int width;
};
constexpr FieldPlace kFieldPlaces[] = {
    {"bfType", 0, 2},           {"bfSize", 2, 4},           {"bfReserved1", 6, 2},
    {"bfReserved2", 8, 2},      {"bfOffBits", 10, 4},       {"biSize", 14, 4},
    {"biWidth", 18, 4},         {"biHeight", 22, 4},        {"biPlanes", 26, 2},
    {"biBitCount", 28, 2},      {"biCompression", 30, 4},   {"biSizeImage", 34, 4},
    {"biXPelsPerMeter", 38, 4}, {"biYPelsPerMeter", 42, 4}, {"biClrUsed", 46, 4},
    {"biClrImportant", 50, 4},
};

// 54 header bytes that all differ (byte k holds k + 1), so that a field
// moved, cut or swapped with its neighbour shows.
Bytes DistinctBytes() {
  Bytes bytes(kHeadersSize);
  for (std::size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<std::uint8_t>(k + 1);
  return bytes;
}

Bytes Encode(const FileHeader& f, const InfoHeader& i) {
  Bytes out(kHeadersSize);
  EncodeHeaders(f, i, out.data());
  return out;
}

TEST(Headers, NewRecordsCarryTheirDefaults) {
  const FileHeader f;
  EXPECT_EQ(f.bfType, 0x4D42);
  EXPECT_EQ(f.bfReserved1, 0);
  EXPECT_EQ(f.bfReserved2, 0);
  const InfoHeader i;
  EXPECT_EQ(i.biPlanes, 1);
  EXPECT_EQ(i.biCompression, 0u);
  EXPECT_EQ(i.biXPelsPerMeter, 3780);
  EXPECT_EQ(i.biYPelsPerMeter, 3780);
  EXPECT_EQ(i.biClrUsed, 0u);
  EXPECT_EQ(i.biClrImportant, 0u);
  EXPECT_TRUE(CheckTypeSizes());

  // Written out, a new file header starts "BM" and has four zero bytes of
  // reserved fields.
  const Bytes bytes = Encode(f, i);
  EXPECT_EQ(bytes[0], 0x42);
  EXPECT_EQ(bytes[1], 0x4D);
  EXPECT_EQ(Bytes(bytes.begin() + 6, bytes.begin() + 10), Bytes(4, 0));
}

TEST(Headers, SwapByteOrderMovesTheLowByteToTheTop) {
  InfoHeader i;
  i.biWidth = 1;
  i.biPlanes = 1;
  i.SwapByteOrder();
  EXPECT_EQ(i.biWidth, 1 << 24);
  EXPECT_EQ(i.biPlanes, 0x0100);
  FileHeader f;
  f.SwapByteOrder();
  EXPECT_EQ(f.bfType, 0x424D);
}

class HeaderReads : public ::testing::Test {
 protected:
  File OpenWith(const Bytes& bytes) {
    const std::string path = dir_.File("fields.bin");
    test::WriteFileBytes(path, bytes);
    return File::Open(path.c_str(), "rb");
  }
  test::ScratchDir dir_;
};

TEST_F(HeaderReads, ReadFieldKeepsTheBytesThatDidNotArrive) {
  struct Case {
    const char* name;
    Bytes file;
    int width;
    std::uint32_t before;
    std::uint32_t after;
    bool complete;
  };
  const Case cases[] = {
      {"16 bits whole", {0x34, 0x12}, 16, 0xFFFF, 0x1234, true},
      {"16 bits, one byte", {0x34}, 16, 0xABCD, 0xAB34, false},
      {"16 bits, nothing", {}, 16, 0xABCD, 0xABCD, false},
      {"32 bits whole", {1, 2, 3, 4}, 32, 0, 0x04030201, true},
      {"32 bits, three bytes", {1, 2, 3}, 32, 0xAABBCCDD, 0xAA030201, false},
      {"32 bits, one byte", {9}, 32, 0xAABBCCDD, 0xAABBCC09, false},
  };
  for (const Case& c : cases) {
    File file = OpenWith(c.file);
    ASSERT_TRUE(file.IsOpen());
    bool complete = false;
    std::uint32_t value = 0;
    if (c.width == 16) {
      auto field = static_cast<std::uint16_t>(c.before);
      complete = ReadField(file, field);
      value = field;
    } else {
      std::uint32_t field = c.before;
      complete = ReadField(file, field);
      value = field;
    }
    EXPECT_EQ(complete, c.complete) << c.name;
    EXPECT_EQ(value, c.after) << c.name;
    // A read that came up short has met the end: every later read fails.
    if (!c.complete) {
      EXPECT_TRUE(file.AtEnd()) << c.name;
      std::uint16_t next = 0x5555;
      EXPECT_FALSE(ReadField(file, next)) << c.name;
      EXPECT_EQ(next, 0x5555) << c.name;
    }
  }
}

TEST_F(HeaderReads, SignedFieldsComeBackNegative) {
  File file = OpenWith({0xF6, 0xFF, 0xFF, 0xFF});
  std::int32_t value = 0;
  EXPECT_TRUE(ReadField(file, value));
  EXPECT_EQ(value, -10);
}

TEST_F(HeaderReads, ReadExactCountsWholeItems) {
  struct Case {
    std::size_t fileBytes;
    bool complete;
  };
  for (const Case c : {Case{8, true}, Case{12, true}, Case{7, false}, Case{0, false}}) {
    File file = OpenWith(Bytes(c.fileBytes, 0x11));
    std::uint8_t buffer[12] = {};
    EXPECT_EQ(ReadExact(buffer, 4, 2, file), c.complete) << c.fileBytes << " bytes";
  }
}

// Reading the fields from distinct bytes and encoding them again must give
// the same bytes; the values read show that each field was found in place.
TEST_F(HeaderReads, FieldsAreReadAndEncodedLittleEndianInFileOrder) {
  File file = OpenWith(DistinctBytes());
  FileHeader f;
  InfoHeader i;
  EXPECT_TRUE(ReadFileHeaderFields(file, f));
  EXPECT_TRUE(ReadInfoHeaderFields(file, i));
  EXPECT_EQ(f.bfType, 0x0201);
  EXPECT_EQ(f.bfSize, 0x06050403u);
  EXPECT_EQ(f.bfOffBits, 0x0E0D0C0Bu);
  EXPECT_EQ(i.biWidth, 0x16151413);
  EXPECT_EQ(i.biHeight, 0x1A191817);
  EXPECT_EQ(i.biBitCount, 0x1E1D);
  EXPECT_EQ(i.biClrImportant, 0x36353433u);
  EXPECT_EQ(Encode(f, i), DistinctBytes());
}

TEST_F(HeaderReads, SwapByteOrderReversesEachFieldWithinItsOwnWidth) {
  File file = OpenWith(DistinctBytes());
  FileHeader f;
  InfoHeader i;
  ASSERT_TRUE(ReadFileHeaderFields(file, f) && ReadInfoHeaderFields(file, i));
  const Bytes before = Encode(f, i);
  f.SwapByteOrder();
  i.SwapByteOrder();
  const Bytes swapped = Encode(f, i);
  for (const FieldPlace& place : kFieldPlaces) {
    Bytes expected(before.begin() + place.offset, before.begin() + place.offset + place.width);
    std::reverse(expected.begin(), expected.end());
    EXPECT_EQ(Bytes(swapped.begin() + place.offset, swapped.begin() + place.offset + place.width),
              expected)
        << place.name;
  }
  f.SwapByteOrder();
  i.SwapByteOrder();
  EXPECT_EQ(Encode(f, i), before) << "swapping twice must give the record back";
}

TEST_F(HeaderReads, HeadersCutShortReportIncompleteButKeepWhatArrived) {
  Bytes bytes = DistinctBytes();
  bytes.resize(kHeadersSize - 1);  // the last byte of biClrImportant is missing
  File file = OpenWith(bytes);
  FileHeader f;
  InfoHeader i;
  EXPECT_TRUE(ReadFileHeaderFields(file, f));
  EXPECT_FALSE(ReadInfoHeaderFields(file, i));
  EXPECT_EQ(i.biWidth, 0x16151413);
  EXPECT_EQ(i.biClrUsed, 0x3231302Fu);
}

}  // namespace
}  // namespace quendral
