// The streamed rescale against the same job through a picture held whole,
// on the shapes a fuzzer rarely reaches: targets of 1 x N, N x 1 and 1 x 1,
// upscales, sources whose rows cross the reader's chunks, files cut short,
// refusals. Outcomes and every output byte must agree, through the plain
// row loop and the processor's fast one alike. (The scale_stream fuzz
// target does this on every input the fuzzer finds.)
#include "ops/scale_job.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ops/scale_rows.h"
#include "support/bmp_bytes.h"
#include "support/scratch_dir.h"

namespace quendral {
namespace {

using test::BmpFields;
using test::Bytes;

Bytes RandomPicture(int depth, int width, int height, std::uint32_t seed) {
  test::TestRandom random(seed);
  BmpFields fields;
  fields.biBitCount = static_cast<std::uint16_t>(depth);
  fields.biWidth = width;
  fields.biHeight = height;
  fields.biXPelsPerMeter = seed % 2 == 0 ? 0 : 2835;
  std::vector<ColorQuad> table;
  for (int k = 0; depth <= 8 && k < (1 << depth); ++k)
    table.push_back(ColorQuad{random.Byte(), random.Byte(), random.Byte(), random.Byte()});
  Bytes data(test::StoredRowBytes(width, depth) * static_cast<std::size_t>(height));
  for (std::uint8_t& b : data) b = random.Byte();
  return test::BuildBmp(fields, {}, table, data);
}

class ScaleJob : public ::testing::Test {
 protected:
  ~ScaleJob() override { SetScaleFastPathAllowed(true); }

  // Runs the held job and the stream (fast and plain) on `bytes`.
  void ExpectSameJob(const Bytes& bytes, char mode, int value, const std::string& what) {
    const std::string in = dir_.File("in.bmp");
    test::WriteFileBytes(in, bytes);
    ScaleJobResult results[3];
    Bytes outputs[3];
    for (int run = 0; run < 3; ++run) {
      SetScaleFastPathAllowed(run != 2);
      const std::string out = dir_.File("out.bmp");
      File input = File::Open(in.c_str(), "rb");
      ReplacingOutput output([&] { return out.c_str(); });
      results[run] = run == 0 ? InMemoryScaleJob(input, output, mode, value)
                              : StreamScaleJob(input, output, mode, value);
      if (test::FileExists(out)) outputs[run] = test::ReadFileBytes(out);
      std::remove(out.c_str());
    }
    const std::string how = what + ", " + mode + " " + std::to_string(value);
    for (int run = 1; run < 3; ++run) {
      const std::string way = how + (run == 1 ? " (fast rows)" : " (plain rows)");
      EXPECT_EQ(results[run].loaded, results[0].loaded) << way;
      EXPECT_EQ(results[run].scaled, results[0].scaled) << way;
      EXPECT_EQ(results[run].written, results[0].written) << way;
      ASSERT_EQ(outputs[run].size(), outputs[0].size()) << way;
      for (std::size_t k = 0; k < outputs[0].size(); ++k)
        ASSERT_EQ(outputs[run][k], outputs[0][k]) << way << ": first difference at byte " << k;
    }
    held_ = outputs[0];
  }
  Bytes held_;
  test::ScratchDir dir_;
};

TEST_F(ScaleJob, StreamedAndHeldRescalesAgreeOnEveryShape) {
  struct Case {
    int width, height;
    char mode;
    int value;
  } const cases[] = {
      {9, 7, 'W', 1},    {9, 7, 'H', 1},   {9, 7, 'P', 1},    {1, 9, 'P', 300},  {9, 1, 'P', 300},
      {1, 1, 'W', 5},    {2, 2, 'P', 200}, {5, 3, 'W', 49},   {13, 11, 'p', 170}, {13, 11, 'f', 4},
      {17, 3, 'h', 8},   {3, 17, 'w', 2},  {23, 19, 'P', 50}, {23, 19, 'P', 100}, {7, 7, 'F', 61},
      {2, 9, 'W', 11},   {9, 2, 'H', 11},  {6, 5, 'P', -20},
  };
  std::uint32_t seed = 1;
  for (const Case& c : cases)
    for (const int depth : {1, 4, 8, 16, 24, 32})
      ExpectSameJob(RandomPicture(depth, c.width, c.height, seed++), c.mode, c.value,
                    std::to_string(depth) + " bits, " + std::to_string(c.width) + " x " +
                        std::to_string(c.height));
}

// The reader fetches rows 256 KiB at a time: rows of 9,000 bytes fill a
// chunk with 29 and a bit, so chunks end between rows the stream keeps,
// rows it drops and rows cut short.
TEST_F(ScaleJob, RowsAcrossChunksAndFilesCutShortAgree) {
  const Bytes whole = RandomPicture(24, 3000, 70, 7);
  for (const std::size_t keep : {whole.size(), whole.size() - 1, whole.size() / 2 + 4500,
                                 std::size_t{54 + 9000 * 29 + 10}, std::size_t{54 + 5}}) {
    const Bytes cut(whole.begin(), whole.begin() + static_cast<long>(keep));
    for (const auto& [mode, value] : {std::pair<char, int>{'P', 50}, {'P', 37}, {'H', 1},
                                      {'H', 69}, {'H', 140}, {'W', 31}})
      ExpectSameJob(cut, mode, value, "3000 x 70 cut at " + std::to_string(keep));
  }
}

TEST_F(ScaleJob, RefusalsAgreeAndWriteNothing) {
  const Bytes picture = RandomPicture(24, 4, 3, 3);
  struct Case {
    const Bytes* bytes;
    char mode;
    int value;
  } const cases[] = {{&picture, 'x', 50}, {&picture, 'W', 0x7FFFFFFF}, {&picture, 'P', 1 << 30},
                     {&picture, 'h', -0x7FFFFFFF - 1}};
  for (const Case& c : cases) {
    ExpectSameJob(*c.bytes, c.mode, c.value, "a refused rescale");
    EXPECT_EQ(dir_.Entries(), std::vector<std::string>{"in.bmp"});
  }
}

}  // namespace
}  // namespace quendral
