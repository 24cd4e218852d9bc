// The header probes: what they report for whole, missing, empty, foreign
// and cut-short files, and that they leave no file open behind them.
#include "bmp/probes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "bmp/headers.h"
#include "platform/file.h"
#include "support/bmp_bytes.h"
#include "support/scratch_dir.h"

namespace quendral {
namespace {

using test::Bytes;

void ExpectSame(const FileHeader& actual, const FileHeader& expected) {
  EXPECT_EQ(actual.bfType, expected.bfType);
  EXPECT_EQ(actual.bfSize, expected.bfSize);
  EXPECT_EQ(actual.bfReserved1, expected.bfReserved1);
  EXPECT_EQ(actual.bfReserved2, expected.bfReserved2);
  EXPECT_EQ(actual.bfOffBits, expected.bfOffBits);
}

void ExpectSame(const InfoHeader& actual, const InfoHeader& expected) {
  EXPECT_EQ(actual.biSize, expected.biSize);
  EXPECT_EQ(actual.biWidth, expected.biWidth);
  EXPECT_EQ(actual.biHeight, expected.biHeight);
  EXPECT_EQ(actual.biPlanes, expected.biPlanes);
  EXPECT_EQ(actual.biBitCount, expected.biBitCount);
  EXPECT_EQ(actual.biCompression, expected.biCompression);
  EXPECT_EQ(actual.biSizeImage, expected.biSizeImage);
  EXPECT_EQ(actual.biXPelsPerMeter, expected.biXPelsPerMeter);
  EXPECT_EQ(actual.biYPelsPerMeter, expected.biYPelsPerMeter);
  EXPECT_EQ(actual.biClrUsed, expected.biClrUsed);
  EXPECT_EQ(actual.biClrImportant, expected.biClrImportant);
}

// A 3 x 2 picture at 24 bits whose every header field differs from the
// records' defaults, so that a field read from the wrong place shows.
test::BmpFields DistinctFields() {
  test::BmpFields f;
  f.bfReserved1 = 0x1234;
  f.bfReserved2 = 0xBEEF;
  f.biWidth = 3;
  f.biHeight = -2;
  f.biPlanes = 7;
  f.biBitCount = 24;
  f.biCompression = 0x01020304;
  f.biSizeImage = 24;
  f.biXPelsPerMeter = 2835;
  f.biYPelsPerMeter = -11811;
  f.biClrUsed = 5;
  f.biClrImportant = 6;
  return f;
}

class Probes : public testing::Test {
 protected:
  void SetUp() override { openBefore_ = File::OpenCount(); }
  void TearDown() override {
    EXPECT_EQ(File::OpenCount(), openBefore_) << "a probe left a file open";
  }

  std::string Write(const std::string& name, const Bytes& bytes) {
    const std::string path = dir_.File(name);
    test::WriteFileBytes(path, bytes);
    return path;
  }

  test::ScratchDir dir_;
  int openBefore_ = 0;
};

TEST_F(Probes, TwentyFourBitFileReportsEveryField) {
  const test::BmpFields f = DistinctFields();
  const Bytes bytes = test::BuildBmp(f, {}, {}, Bytes(24, 0x5A));
  const std::string path = Write("picture.bmp", bytes);

  FileHeader expectedFile;
  expectedFile.bfSize = static_cast<std::uint32_t>(bytes.size());
  expectedFile.bfReserved1 = 0x1234;
  expectedFile.bfReserved2 = 0xBEEF;
  expectedFile.bfOffBits = 54;
  ExpectSame(ReadFileHeader(path.c_str()), expectedFile);

  InfoHeader expectedInfo;
  expectedInfo.biSize = 40;
  expectedInfo.biWidth = 3;
  expectedInfo.biHeight = -2;
  expectedInfo.biPlanes = 7;
  expectedInfo.biBitCount = 24;
  expectedInfo.biCompression = 0x01020304;
  expectedInfo.biSizeImage = 24;
  expectedInfo.biXPelsPerMeter = 2835;
  expectedInfo.biYPelsPerMeter = -11811;
  expectedInfo.biClrUsed = 5;
  expectedInfo.biClrImportant = 6;
  ExpectSame(ReadInfoHeader(path.c_str()), expectedInfo);

  EXPECT_EQ(FileBitDepth(path.c_str()), 24);
  ShowHeaders(path.c_str());
  EXPECT_EQ(test::ReadFileBytes(path), bytes);
}

TEST_F(Probes, BitDepthIsTheUnsignedFieldAsStored) {
  for (int bitCount : {0, 1, 4, 8, 16, 32, 0x7FFF, 0x8000, 0xFFFF}) {
    test::BmpFields f;
    f.biBitCount = static_cast<std::uint16_t>(bitCount);
    const std::string path = Write("depth.bmp", test::BuildBmp(f, {}, {}, {}));
    EXPECT_EQ(FileBitDepth(path.c_str()), bitCount);
  }
}

TEST_F(Probes, UnopenableFileGivesZeroTypeAndDefaults) {
  const std::string missing = dir_.File("missing.bmp");
  for (const char* path : {missing.c_str(), static_cast<const char*>(nullptr)}) {
    SCOPED_TRACE(path ? path : "null path");
    FileHeader expectedFile;
    expectedFile.bfType = 0;
    ExpectSame(ReadFileHeader(path), expectedFile);
    ExpectSame(ReadInfoHeader(path), InfoHeader());
    EXPECT_EQ(FileBitDepth(path), 0);
    ShowHeaders(path);
  }
  EXPECT_FALSE(test::FileExists(missing));
}

TEST_F(Probes, EmptyFileKeepsTheDefaultSignature) {
  const std::string path = Write("empty.bmp", {});
  EXPECT_EQ(ReadFileHeader(path.c_str()).bfType, 0x4D42);
  ExpectSame(ReadFileHeader(path.c_str()), FileHeader());
  ExpectSame(ReadInfoHeader(path.c_str()), InfoHeader());
  EXPECT_EQ(FileBitDepth(path.c_str()), 0);
}

TEST_F(Probes, TextFileIsReportedWithoutJudgement) {
  const std::string text = "Hello, world! This is not a picture.\n";
  const std::string path = Write("hello.txt", Bytes(text.begin(), text.end()));
  const FileHeader header = ReadFileHeader(path.c_str());
  EXPECT_EQ(header.bfType, 'H' | ('e' << 8));
  EXPECT_EQ(header.bfSize,
            std::uint32_t{'l'} | ('l' << 8) | ('o' << 16) | (std::uint32_t{','} << 24));
  EXPECT_EQ(header.bfOffBits,
            std::uint32_t{'l'} | ('d' << 8) | ('!' << 16) | (std::uint32_t{' '} << 24));
  EXPECT_EQ(ReadInfoHeader(path.c_str()).biSize,
            std::uint32_t{'T'} | ('h' << 8) | ('i' << 16) | (std::uint32_t{'s'} << 24));
}

// Cut at each field boundary: the fields that arrived hold the file's
// values, those wholly beyond the end keep their defaults.
TEST_F(Probes, ShortFileKeepsDefaultsBeyondItsEnd) {
  const test::BmpFields f = DistinctFields();
  const Bytes whole = test::BuildBmp(f, {}, {}, Bytes(24, 0));
  struct Field {
    int end;  // file offset just past the field
    std::function<void(FileHeader&, InfoHeader&)> arrive;
  };
  const Field fields[] = {
      {2, [&](FileHeader& h, InfoHeader&) { h.bfType = f.bfType; }},
      {6, [&](FileHeader& h, InfoHeader&) { h.bfSize = static_cast<std::uint32_t>(whole.size()); }},
      {8, [&](FileHeader& h, InfoHeader&) { h.bfReserved1 = f.bfReserved1; }},
      {10, [&](FileHeader& h, InfoHeader&) { h.bfReserved2 = f.bfReserved2; }},
      {14, [&](FileHeader& h, InfoHeader&) { h.bfOffBits = 54; }},
      {18, [&](FileHeader&, InfoHeader& h) { h.biSize = f.biSize; }},
      {22, [&](FileHeader&, InfoHeader& h) { h.biWidth = f.biWidth; }},
      {26, [&](FileHeader&, InfoHeader& h) { h.biHeight = f.biHeight; }},
      {28, [&](FileHeader&, InfoHeader& h) { h.biPlanes = f.biPlanes; }},
      {30, [&](FileHeader&, InfoHeader& h) { h.biBitCount = f.biBitCount; }},
      {34, [&](FileHeader&, InfoHeader& h) { h.biCompression = f.biCompression; }},
      {38, [&](FileHeader&, InfoHeader& h) { h.biSizeImage = f.biSizeImage; }},
      {42, [&](FileHeader&, InfoHeader& h) { h.biXPelsPerMeter = f.biXPelsPerMeter; }},
      {46, [&](FileHeader&, InfoHeader& h) { h.biYPelsPerMeter = f.biYPelsPerMeter; }},
      {50, [&](FileHeader&, InfoHeader& h) { h.biClrUsed = f.biClrUsed; }},
      {54, [&](FileHeader&, InfoHeader& h) { h.biClrImportant = f.biClrImportant; }},
  };
  for (int cut : {2, 6, 8, 10, 14, 18, 22, 26, 28, 30, 34, 38, 42, 46, 50, 54}) {
    SCOPED_TRACE(testing::Message() << "cut after " << cut << " bytes");
    const std::string path = Write("short.bmp", Bytes(whole.begin(), whole.begin() + cut));
    FileHeader expectedFile;
    InfoHeader expectedInfo;
    for (const Field& field : fields)
      if (field.end <= cut) field.arrive(expectedFile, expectedInfo);
    ExpectSame(ReadFileHeader(path.c_str()), expectedFile);
    ExpectSame(ReadInfoHeader(path.c_str()), expectedInfo);
    EXPECT_EQ(FileBitDepth(path.c_str()), expectedInfo.biBitCount);
  }
}

}  // namespace
}  // namespace quendral
