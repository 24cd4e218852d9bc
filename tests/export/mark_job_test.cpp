// The streaming mark job against the same job through a picture held
// whole, on files written to disk as hosts pass them: complete pictures at
// every depth and layout, files cut short at every kind of place, and
// refused files. Results and every output byte must agree. (The fuzz
// target of the same name does this on every input the fuzzer finds.)
#include "export/mark_job.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bmp/headers.h"
#include "support/bmp_bytes.h"
#include "support/scratch_dir.h"

namespace quendral {
namespace {

using test::BmpFields;
using test::Bytes;

struct Kind {
  const char* name;
  int depth;
  std::uint32_t compression;
  std::vector<std::uint32_t> masks;
  std::uint32_t biSize;
  int repeatEvery = 3;  // every so many table entries repeat the one before
};

const Kind kKinds[] = {
    {"1 bit", 1, 0, {}, 40},           {"4 bits", 4, 0, {}, 40},
    {"8 bits", 8, 0, {}, 40},          {"8 bits, 124-byte header", 8, 0, {}, 124},
    {"8 bits, two repeated colours", 8, 0, {}, 40, 100},
    {"16 bits 5-5-5", 16, 0, {}, 40},  {"16 bits 5-6-5", 16, 3, {0xF800, 0x07E0, 0x001F}, 40},
    {"16 bits, odd masks", 16, 3, {0x0F00, 0x00F0, 0x800F}, 40},
    {"24 bits", 24, 0, {}, 40},        {"32 bits", 32, 0, {}, 40},
};

// A picture of random bytes: table entries, pixels and padding alike.
Bytes RandomPicture(const Kind& kind, int width, int height, std::uint32_t seed) {
  test::TestRandom random(seed);
  BmpFields fields;
  fields.biBitCount = static_cast<std::uint16_t>(kind.depth);
  fields.biCompression = kind.compression;
  fields.biWidth = width;
  fields.biHeight = height;
  std::vector<ColorQuad> table;
  if (kind.depth <= 8) {
    // Repeated colours make the nearest entry of some indices another one.
    for (int k = 0; k < (1 << kind.depth); ++k)
      table.push_back(k % kind.repeatEvery == kind.repeatEvery - 1 ? table[k - 1]
                                 : ColorQuad{random.Byte(), random.Byte(), random.Byte(), 0});
  }
  const std::size_t stride = kind.depth == 16 ? (2 * width + 3) / 4 * 4
                                              : test::StoredRowBytes(width, kind.depth);
  Bytes data(stride * height);
  for (std::uint8_t& b : data) b = random.Byte();
  // Pixels that often use the repeated entries, where there are few.
  if (kind.repeatEvery > 3)
    for (std::uint8_t& b : data)
      if (random.Byte() % 2 == 0) b = static_cast<std::uint8_t>(kind.repeatEvery * (1 + b % 2) - 1);
  Bytes file = test::BuildBmp(fields, kind.masks, table, data);
  if (kind.biSize > 40) {
    // The longer header's later fields stand between byte 54 and the table.
    const std::size_t more = kind.biSize - 40;
    file.insert(file.begin() + 54, more, 0);
    for (int at : {14, 10, 2}) {
      const std::uint32_t value = at == 14 ? kind.biSize : LoadLittleEndian32(&file[at]) + more;
      for (int k = 0; k < 4; ++k) file[at + k] = static_cast<std::uint8_t>(value >> (8 * k));
    }
  }
  return file;
}

class MarkJob : public ::testing::Test {
 protected:
  // Runs both jobs on `bytes` and holds their outcomes and outputs equal.
  void ExpectSameJob(const Bytes& bytes, const std::string& what) {
    const std::string in = dir_.File("in.bmp");
    test::WriteFileBytes(in, bytes);
    // The held job, then the stream with its chunk, with small chunks (many
    // chunks a picture) and with chunks smaller than a row (rows in pieces).
    const std::size_t chunks[] = {kMarkChunkBytes, 64, 20, 1};
    JobResult results[5];
    Bytes outputs[5];
    for (int run = 0; run < 5; ++run) {
      const std::string out = dir_.File("out-" + std::to_string(run) + ".bmp");
      File input = File::Open(in.c_str(), "rb");
      ReplacingOutput output([&] { return out.c_str(); });
      results[run] = run == 0 ? InMemoryMarkJob(input, output)
                              : StreamMarkJob(input, output, chunks[run - 1]);
      if (test::FileExists(out)) outputs[run] = test::ReadFileBytes(out);
      std::remove(out.c_str());
    }
    for (int run = 1; run < 5; ++run) {
      const std::string how = what + ", chunk of " + std::to_string(chunks[run - 1]);
      EXPECT_EQ(results[run].loaded, results[0].loaded) << how;
      EXPECT_EQ(results[run].written, results[0].written) << how;
      ASSERT_EQ(outputs[run].size(), outputs[0].size()) << how;
      for (std::size_t k = 0; k < outputs[0].size(); ++k)
        ASSERT_EQ(outputs[run][k], outputs[0][k]) << how << ": first difference at byte " << k;
    }
    held_ = outputs[0];
  }
  Bytes held_;  // the held job's output of the last call
  test::ScratchDir dir_;
};

TEST_F(MarkJob, StreamedAndHeldPicturesAgreeWholeAndCutShort) {
  std::uint32_t seed = 1;
  for (const Kind& kind : kKinds) {
    for (const int width : {1, 2, 7, 9, 16}) {
      const Bytes whole = RandomPicture(kind, width, width + 5, seed++);
      ExpectSameJob(whole, std::string(kind.name) + ", width " + std::to_string(width));
      // Cut inside the headers, the table, a word, a row and between rows.
      for (const std::size_t keep : {std::size_t{40}, std::size_t{60}, whole.size() - 1,
                                     whole.size() - 7, whole.size() / 2, whole.size() * 3 / 4})
        ExpectSameJob(Bytes(whole.begin(), whole.begin() + static_cast<long>(keep)),
                      std::string(kind.name) + ", width " + std::to_string(width) + ", cut at " +
                          std::to_string(keep));
    }
  }
}

TEST_F(MarkJob, RefusedFilesWriteNothingEitherWay) {
  BmpFields rle;
  rle.biBitCount = 8;
  rle.biCompression = 1;
  BmpFields topDown;
  topDown.biHeight = -3;
  const Bytes refused[] = {Bytes(), Bytes(60, 'x'), test::BuildBmp(rle, {}, {}, Bytes(8, 0)),
                           test::BuildBmp(topDown, {}, {}, Bytes(12, 0))};
  for (const Bytes& bytes : refused) {
    ExpectSameJob(bytes, "a refused file of " + std::to_string(bytes.size()) + " bytes");
    EXPECT_EQ(dir_.Entries(), std::vector<std::string>{"in.bmp"});
  }
}

TEST_F(MarkJob, TheStreamMayReplaceItsOwnInput) {
  const Bytes picture = RandomPicture(kKinds[8], 9, 6, 99);
  const std::string path = dir_.File("in.bmp");
  ExpectSameJob(picture, "24 bits");
  const Bytes expected = held_;
  test::WriteFileBytes(path, picture);
  const JobResult result = RunMarkJob(path.c_str(), [&] { return path.c_str(); });
  EXPECT_TRUE(result.loaded && result.written);
  EXPECT_EQ(test::ReadFileBytes(path), expected);
}

}  // namespace
}  // namespace quendral
