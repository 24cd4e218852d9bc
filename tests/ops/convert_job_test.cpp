// The streaming convert job against the same job through a picture held
// whole, on files written to disk (where rows wider than a chunk pass in
// pieces, which memory streams never reach): every input depth and every
// target, whole and cut short. Then what the job writes for a few known
// colours, and the targets it refuses. (The fuzz target of the same name
// does the first on every input the fuzzer finds.)
#include "ops/convert_job.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/bmp_bytes.h"
#include "support/scratch_dir.h"

namespace quendral {
namespace {

using test::BmpFields;
using test::Bytes;

const ConvertTarget kTargets[] = {{1, false}, {4, false}, {8, false}, {16, false}, {24, false},
                                  {32, false}, {1, true},  {4, true},  {8, true}};

std::string Describe(const ConvertTarget& t) {
  return "to " + std::to_string(t.depth) + (t.grey ? " grey" : "");
}

// A picture of random bytes at `depth` (16: 5-6-5 masks when `masks`).
Bytes RandomPicture(int depth, bool masks, int width, int height, std::uint32_t seed) {
  test::TestRandom random(seed);
  BmpFields fields;
  fields.biBitCount = static_cast<std::uint16_t>(depth);
  fields.biCompression = masks ? 3 : 0;
  fields.biWidth = width;
  fields.biHeight = height;
  std::vector<ColorQuad> table;
  if (depth <= 8)
    for (int k = 0; k < (1 << depth); ++k)
      table.push_back({random.Byte(), random.Byte(), random.Byte(), random.Byte()});
  const std::size_t stride = test::StoredRowBytes(width, depth);
  Bytes data(stride * static_cast<std::size_t>(height));
  for (std::uint8_t& b : data) b = random.Byte();
  return test::BuildBmp(fields, masks ? std::vector<std::uint32_t>{0xF800, 0x07E0, 0x001F}
                                      : std::vector<std::uint32_t>{},
                        table, data);
}

class ConvertJob : public ::testing::Test {
 protected:
  // Runs `job` from in.bmp to out.bmp: its result, and the bytes written.
  template <typename Job>
  JobResult Run(const Bytes& input, Job job, Bytes& written) {
    const std::string in = dir_.File("in.bmp"), out = dir_.File("out.bmp");
    test::WriteFileBytes(in, input);
    File file = File::Open(in.c_str(), "rb");
    ReplacingOutput output([&] { return out.c_str(); });
    const JobResult result = job(file, output);
    written = test::FileExists(out) ? test::ReadFileBytes(out) : Bytes();
    std::remove(out.c_str());
    return result;
  }

  void ExpectSameJob(const Bytes& input, const std::string& what) {
    for (const ConvertTarget& target : kTargets) {
      Bytes held;
      const JobResult expected = Run(
          input, [&](File& in, PictureOutput& out) { return InMemoryConvertJob(in, out, target); },
          held);
      // The job's own chunk, chunks of a few rows, and chunks smaller than a row.
      for (const std::size_t chunk : {kConvertChunkBytes, std::size_t{200}, std::size_t{7}}) {
        const std::string how = what + ", " + Describe(target) + ", chunk " + std::to_string(chunk);
        Bytes streamed;
        const JobResult result = Run(
            input,
            [&](File& in, PictureOutput& out) { return StreamConvertJob(in, out, target, chunk); },
            streamed);
        EXPECT_EQ(result.loaded, expected.loaded) << how;
        EXPECT_EQ(result.written, expected.written) << how;
        ASSERT_EQ(streamed.size(), held.size()) << how;
        for (std::size_t k = 0; k < held.size(); ++k)
          ASSERT_EQ(streamed[k], held[k]) << how << ": first difference at byte " << k;
      }
    }
  }

  test::ScratchDir dir_;
};

TEST_F(ConvertJob, StreamedAndHeldPicturesAgreeWholeAndCutShort) {
  struct Kind {
    int depth;
    bool masks;
  };
  std::uint32_t seed = 1;
  for (const Kind kind : {Kind{1, false}, Kind{4, false}, Kind{8, false}, Kind{16, false},
                          Kind{16, true}, Kind{24, false}, Kind{32, false}}) {
    for (const int width : {1, 7, 70}) {
      const std::string what = std::to_string(kind.depth) + (kind.masks ? " bits 5-6-5" : " bits") +
                               ", width " + std::to_string(width);
      const Bytes whole = RandomPicture(kind.depth, kind.masks, width, 4, seed++);
      ExpectSameJob(whole, what);
      for (const std::size_t keep : {whole.size() - 1, whole.size() / 2 + 1})
        ExpectSameJob(Bytes(whole.begin(), whole.begin() + static_cast<long>(keep)),
                      what + ", cut at " + std::to_string(keep));
    }
  }
}

TEST_F(ConvertJob, KnownColoursTakeTheirNearestEntries) {
  // One row: pure red, grey 128, white, and (8, 4, 8).
  BmpFields fields;
  fields.biWidth = 4;
  const Bytes picture = test::BuildBmp(
      fields, {}, {}, {0, 0, 255, 128, 128, 128, 255, 255, 255, 8, 4, 8});
  const struct {
    ConvertTarget target;
    Bytes row;  // the stored row, padding included
  } kCases[] = {
      {{8, false}, {249, 164, 255, 0}},  // grey 128 is grid entry 164, not 248
      {{4, false}, {0x97, 0xF0, 0, 0}},  // red 9, grey 7, white 15, black 0
      {{1, false}, {0x60, 0, 0, 0}},     // red and (8, 4, 8) black, grey and white white
      {{8, true}, {85, 128, 255, 7}},
      {{4, true}, {0x58, 0xF0, 0, 0}},
      {{1, true}, {0x60, 0, 0, 0}},
      {{16, false}, {0x00, 0xF8, 0x10, 0x84, 0xFF, 0xFF, 0x21, 0x08}},
      {{32, false}, {0, 0, 255, 0, 128, 128, 128, 0, 255, 255, 255, 0, 8, 4, 8, 0}},
  };
  for (const auto& c : kCases) {
    Bytes written;
    const JobResult result =
        Run(picture, [&](File& in, PictureOutput& out) { return StreamConvertJob(in, out, c.target); },
            written);
    ASSERT_TRUE(result.loaded && result.written) << Describe(c.target);
    ASSERT_GE(written.size(), c.row.size()) << Describe(c.target);
    EXPECT_EQ(Bytes(written.end() - static_cast<long>(c.row.size()), written.end()), c.row)
        << Describe(c.target);
    EXPECT_EQ(written[28], c.target.depth) << Describe(c.target);
  }
}

TEST_F(ConvertJob, RefusesTargetsBeforeReadingAnything) {
  const Bytes picture = RandomPicture(24, false, 3, 2, 5);
  for (const ConvertTarget target :
       {ConvertTarget{12, false}, ConvertTarget{0, false}, ConvertTarget{24, true},
        ConvertTarget{16, true}, ConvertTarget{32, true}}) {
    EXPECT_FALSE(IsValidConvertTarget(target)) << Describe(target);
    for (int held = 0; held < 2; ++held) {
      Bytes written;
      const JobResult result = Run(
          picture,
          [&](File& in, PictureOutput& out) {
            return held ? InMemoryConvertJob(in, out, target) : StreamConvertJob(in, out, target);
          },
          written);
      EXPECT_FALSE(result.loaded || result.written) << Describe(target);
      EXPECT_EQ(dir_.Entries(), std::vector<std::string>{"in.bmp"}) << Describe(target);
    }
  }
}

}  // namespace
}  // namespace quendral
