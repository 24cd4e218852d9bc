// Every file that loading, saving or probing opens is closed again, on the
// paths that succeed and on every path that fails.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <string>
#include <vector>

#include "bmp/probes.h"
#include "export/mark_job.h"
#include "hardening/child_process.h"
#include "image/bitmap_image.h"
#include "platform/file.h"
#include "support/bmp_bytes.h"
#include "support/scratch_dir.h"

namespace quendral {
namespace {

using test::BmpFields;
using test::Bytes;

constexpr int kDepths[] = {1, 4, 8, 16, 24, 32};

class OpenFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    BmpFields fields;
    fields.biWidth = 3;
    fields.biHeight = 2;
    valid_ = dir_.File("valid.bmp");
    test::WriteFileBytes(valid_, test::BuildBmp(fields, {}, {}, Bytes(16, 0x40)));
    test::WriteFileBytes(dir_.File("empty.bmp"), {});
    test::WriteFileBytes(dir_.File("text.bmp"), Bytes(80, 'x'));
    test::WriteFileBytes(dir_.File("short.bmp"), Bytes{'B', 'M', 1, 2, 3});
    fields.biCompression = 1;
    test::WriteFileBytes(dir_.File("rle.bmp"), test::BuildBmp(fields, {}, {}, {}));
    fields.biCompression = 0;
    fields.biHeight = -2;
    test::WriteFileBytes(dir_.File("top-down.bmp"), test::BuildBmp(fields, {}, {}, {}));
    fields.biHeight = 2;
    fields.biWidth = 0x7FFFFFFF;
    test::WriteFileBytes(dir_.File("too-wide.bmp"), test::BuildBmp(fields, {}, {}, {}));
    for (const int depth : kDepths) {
      BitmapImage image;
      ASSERT_TRUE(image.SetDepth(depth));
      ASSERT_TRUE(image.Resize(5, 4));
      const std::string path = dir_.File(std::to_string(depth) + ".bmp");
      ASSERT_TRUE(image.Save(path.c_str()));
      const Bytes whole = test::ReadFileBytes(path);
      test::WriteFileBytes(
          dir_.File(std::to_string(depth) + "-cut.bmp"),
          Bytes(whole.begin(), whole.begin() + static_cast<long>(whole.size() - 7)));
    }
  }

  // Every input this fixture offers, and some it does not.
  std::vector<std::string> Inputs() const {
    std::vector<std::string> inputs{dir_.path(), dir_.File("missing.bmp")};
    for (const std::string& name : dir_.Entries()) inputs.push_back(dir_.File(name));
    return inputs;
  }

  test::ScratchDir dir_;
  std::string valid_;
};

TEST_F(OpenFiles, LoadingClosesWhatItOpenedWhateverTheInput) {
  const int before = File::OpenCount();
  for (const std::string& input : Inputs()) {
    BitmapImage image;
    image.Load(input.c_str());
    EXPECT_EQ(File::OpenCount(), before) << input;
  }
  BitmapImage image;
  EXPECT_FALSE(image.Load(nullptr));
  EXPECT_EQ(File::OpenCount(), before);
}

TEST_F(OpenFiles, ProbingClosesWhatItOpenedWhateverTheInput) {
  const int before = File::OpenCount();
  for (const std::string& input : Inputs()) {
    ReadFileHeader(input.c_str());
    ReadInfoHeader(input.c_str());
    ShowHeaders(input.c_str());
    FileBitDepth(input.c_str());
    EXPECT_EQ(File::OpenCount(), before) << input;
  }
}

TEST_F(OpenFiles, SavingClosesWhatItOpenedWhereverItWrites) {
  const int before = File::OpenCount();
  const std::vector<std::string> outputs{
      dir_.File("out.bmp"), valid_,      dir_.path(), dir_.File("missing/out.bmp"),
      "/dev/full",          "/dev/null", ""};
  for (const int depth : kDepths) {
    for (const std::string& output : outputs) {
      BitmapImage image;
      ASSERT_TRUE(image.SetDepth(depth));
      ASSERT_TRUE(image.Resize(4, 4));
      image.Save(output.c_str());
      EXPECT_EQ(File::OpenCount(), before) << depth << " bits to " << output;
    }
  }
  BitmapImage image;
  EXPECT_FALSE(image.Save(nullptr));
  EXPECT_EQ(File::OpenCount(), before);
}

TEST_F(OpenFiles, ASaveCutShortByTheMediumClosesWhatItOpened) {
  for (const int depth : kDepths) {
    for (const unsigned long long limit : {1ull, 60ull, 2000ull}) {
      test::ChildLimits limits;
      limits.fileSizeBytes = limit;
      const test::ChildOutcome outcome = test::RunInChild(
          [&]() -> std::string {
            const int before = File::OpenCount();
            BitmapImage image;
            if (!image.SetDepth(depth) || !image.Resize(300, 200)) return "no picture";
            if (image.Save(dir_.File("limited.bmp").c_str())) return "saved past the limit";
            return File::OpenCount() == before ? "" : "a file was left open";
          },
          limits);
      EXPECT_TRUE(outcome.exited && outcome.failure.empty())
          << depth << " bits, room for " << limit << ": " << outcome.Describe();
    }
  }
}

TEST_F(OpenFiles, TheMarkJobClosesWhatItOpenedOnEveryPath) {
  const int before = File::OpenCount();
  for (const std::string& input : Inputs()) {
    for (const std::string& output : {dir_.File("marked.bmp"), input, std::string("/dev/full")}) {
      RunMarkJob(input.c_str(), [&] { return output.c_str(); });
      EXPECT_EQ(File::OpenCount(), before) << input << " to " << output;
    }
  }
}

}  // namespace
}  // namespace quendral
