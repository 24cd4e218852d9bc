// Saving when the medium fills up, when the output cannot be written for
// want of rights, and when the output path is a directory. Whatever fails,
// the save says so, and the path holds what it held before: never part of
// a picture, never a stray temporary file, and an input saved over in place
// stays intact.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "export/mark_job.h"
#include "hardening/child_process.h"
#include "image/bitmap_image.h"
#include "quendral/quendral.h"
#include "support/bmp_bytes.h"
#include "support/scratch_dir.h"

namespace quendral {
namespace {

using test::Bytes;
using Names = std::vector<std::string>;

constexpr int kDepths[] = {1, 4, 8, 16, 24, 32};
constexpr int kNobody = 65534;

// A 7 x 5 picture of random colours at `depth`, saved at `path`.
void WritePicture(const std::string& path, int depth) {
  BitmapImage image;
  ASSERT_TRUE(image.SetDepth(depth));
  ASSERT_TRUE(image.Resize(7, 5));
  test::TestRandom random(static_cast<std::uint32_t>(depth));
  for (int j = 0; j < 5; ++j)
    for (int i = 0; i < 7; ++i)
      image.At(i, j) = ColorQuad{random.Byte(), random.Byte(), random.Byte(), random.Byte()};
  ASSERT_TRUE(image.Save(path.c_str()));
}

std::u16string Wide(const std::string& path) {
  return std::u16string(path.begin(), path.end());
}

// Marks `input` into `output` in a child whose files may not grow past
// `limit` bytes; "" when the export answered 999 and the save reported the
// failure.
std::string MarkUnderFileSizeLimit(const std::string& input, const std::string& output,
                                   unsigned long long limit) {
  test::ChildLimits limits;
  limits.fileSizeBytes = limit;
  const test::ChildOutcome outcome = test::RunInChild(
      [&]() -> std::string {
        if (Quendral(Wide(input).c_str(), Wide(output).c_str()) != 999)
          return "export did not give 999";
        const JobResult result = RunMarkJob(input.c_str(), [&] { return output.c_str(); });
        if (!result.loaded) return "the input did not load";
        if (result.written) return "the save reported success";
        if (result.save.outcome != SaveStatus::Outcome::kWriteFailed) return "not a write failure";
        return "";
      },
      limits);
  return outcome.exited ? outcome.failure : outcome.Describe();
}

// Limits inside the headers, at the end of the table and inside the rows.
std::vector<unsigned long long> LimitsFor(std::size_t size) {
  std::vector<unsigned long long> limits{1, 14, 53, 54, 55, 66, 118, 1078, size / 2, size - 1};
  std::vector<unsigned long long> within;
  for (unsigned long long limit : limits)
    if (limit < size) within.push_back(limit);
  return within;
}

TEST(SaveFaults, AMediumFillingUpLeavesTheInputSavedInPlaceIntactAtEveryDepth) {
  for (const int depth : kDepths) {
    test::ScratchDir dir;
    const std::string input = dir.File("picture.bmp");
    WritePicture(input, depth);
    const Bytes before = test::ReadFileBytes(input);
    for (const unsigned long long limit : LimitsFor(before.size())) {
      const std::string where = std::to_string(depth) + " bits, room for " + std::to_string(limit);
      EXPECT_EQ(MarkUnderFileSizeLimit(input, input, limit), "") << where << ", in place";
      EXPECT_EQ(MarkUnderFileSizeLimit(input, dir.File("new.bmp"), limit), "") << where;
      EXPECT_EQ(test::ReadFileBytes(input), before) << where;
      EXPECT_EQ(dir.Entries(), Names{"picture.bmp"}) << where;
    }
  }
}

TEST(SaveFaults, AFullDeviceIsReportedAtEveryDepth) {
  struct stat record;
  if (stat("/dev/full", &record) != 0 || !S_ISCHR(record.st_mode)) GTEST_SKIP() << "no /dev/full";
  test::ScratchDir dir;
  for (const int depth : kDepths) {
    const std::string input = dir.File("in" + std::to_string(depth) + ".bmp");
    WritePicture(input, depth);
    const Bytes before = test::ReadFileBytes(input);
    const JobResult result = RunMarkJob(input.c_str(), [] { return "/dev/full"; });
    EXPECT_TRUE(result.loaded) << depth;
    EXPECT_FALSE(result.written) << depth;
    EXPECT_EQ(result.save.systemError, ENOSPC) << depth;
    EXPECT_EQ(Quendral(Wide(input).c_str(), u"/dev/full"), 999) << depth;
    EXPECT_EQ(test::ReadFileBytes(input), before) << depth;
  }
  ASSERT_EQ(stat("/dev/full", &record), 0);
  EXPECT_TRUE(S_ISCHR(record.st_mode)) << "the device was replaced";
}

TEST(SaveFaults, AnOutputPathThatIsADirectoryOrALinkToNothingIsLeftAlone) {
  test::ScratchDir dir;
  const std::string input = dir.File("in.bmp");
  WritePicture(input, 8);
  const std::string target = dir.File("target");
  ASSERT_EQ(mkdir(target.c_str(), 0755), 0);
  test::WriteFileBytes(target + "/inside.bmp", Bytes(10, 1));
  const std::string dangling = dir.File("dangling");
  ASSERT_EQ(symlink("missing.bmp", dangling.c_str()), 0);
  for (const std::string& path : {target, target + "/", dir.path(), dangling,
                                  dir.File("missing/")}) {
    const JobResult result = RunMarkJob(input.c_str(), [&] { return path.c_str(); });
    EXPECT_TRUE(result.loaded) << path;
    EXPECT_FALSE(result.written) << path;
    EXPECT_EQ(result.save.outcome, SaveStatus::Outcome::kOpenFailed) << path;
    EXPECT_EQ(Quendral(Wide(input).c_str(), Wide(path).c_str()), 999) << path;
  }
  EXPECT_EQ(dir.Entries(), (Names{"dangling", "in.bmp", "target"}));
  EXPECT_EQ(test::ReadFileBytes(target + "/inside.bmp"), Bytes(10, 1));
}

TEST(SaveFaults, TheLongestLegalNameSavesNewReplacedAndInPlace) {
  test::ScratchDir dir;
  const std::string longest = dir.File(std::string(251, 'n') + ".bmp");
  const std::string input = dir.File("in.bmp");
  WritePicture(input, 24);
  for (const std::string& from : {input, input, longest}) {
    const JobResult result = RunMarkJob(from.c_str(), [&] { return longest.c_str(); });
    EXPECT_TRUE(result.written) << from << ": " << result.save.systemError;
  }
  BitmapImage written;
  EXPECT_TRUE(written.Load(longest.c_str()));
  EXPECT_EQ(dir.Entries().size(), 2u);
}

// The replacement is a new file: links to the old one keep the old bytes,
// and it takes over the old file's permission bits.
TEST(SaveFaults, AReplacementKeepsTheModeAndLeavesHardLinksTheOldPicture) {
  test::ScratchDir dir;
  const std::string input = dir.File("in.bmp");
  const std::string target = dir.File("target.bmp");
  WritePicture(input, 24);
  test::WriteFileBytes(target, Bytes(100, 7));
  ASSERT_EQ(chmod(target.c_str(), 0640), 0);
  ASSERT_EQ(link(target.c_str(), dir.File("link.bmp").c_str()), 0);
  EXPECT_TRUE(RunMarkJob(input.c_str(), [&] { return target.c_str(); }).written);
  EXPECT_EQ(test::ReadFileBytes(dir.File("link.bmp")), Bytes(100, 7));
  struct stat record;
  ASSERT_EQ(stat(target.c_str(), &record), 0);
  EXPECT_EQ(record.st_mode & 07777, 0640u);
  EXPECT_EQ(record.st_nlink, 1u);
}

TEST(SaveFaults, RootReplacingAnotherUsersFileKeepsItsOwnerAndGroup) {
  if (geteuid() != 0) GTEST_SKIP() << "only root may give a file to another user";
  test::ScratchDir dir;
  const std::string input = dir.File("in.bmp");
  const std::string target = dir.File("theirs.bmp");
  WritePicture(input, 8);
  WritePicture(target, 8);
  for (const std::string& path : {input, target}) {
    ASSERT_EQ(chown(path.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  }
  for (const std::string& from : {input, target}) {
    struct stat record;
    ASSERT_EQ(stat(target.c_str(), &record), 0);
    const ino_t before = record.st_ino;
    EXPECT_TRUE(RunMarkJob(from.c_str(), [&] { return target.c_str(); }).written) << from;
    ASSERT_EQ(stat(target.c_str(), &record), 0);
    EXPECT_NE(record.st_ino, before) << from << ": not replaced";
    EXPECT_EQ(record.st_uid, static_cast<uid_t>(kNobody)) << from;
    EXPECT_EQ(record.st_gid, static_cast<gid_t>(kNobody)) << from;
    EXPECT_EQ(record.st_mode & 07777, 0640u) << from;
  }
}

// Permissions do not bind root, so the saves run as nobody in a child.
class Permissions : public ::testing::Test {
 protected:
  void SetUp() override {
    // Let nobody reach the scratch directory.
    ASSERT_EQ(chmod(dir_.path().c_str(), 0755), 0);
  }

  // Saves a 3 x 3 picture at `path` as an unprivileged user: "saved", or
  // "refused" and the reason's errno value.
  static std::string SaveAsOtherUser(const std::string& path) {
    test::ChildLimits limits;
    if (geteuid() == 0) limits.userId = limits.groupId = kNobody;
    const test::ChildOutcome outcome = test::RunInChild(
        [&]() -> std::string {
          BitmapImage image;
          if (!image.SetDepth(24) || !image.Resize(3, 3)) return "no picture";
          const SaveStatus status = image.SaveWithStatus(path.c_str());
          return status.ok() ? "" : "refused " + std::to_string(status.systemError);
        },
        limits);
    if (!outcome.exited) return outcome.Describe();
    return outcome.failure.empty() ? "saved" : outcome.failure;
  }

  const std::string kRefused = "refused " + std::to_string(EACCES);
  const Bytes kOldBytes = Bytes(100, 0x5A);
  test::ScratchDir dir_;
};

TEST_F(Permissions, AReadOnlyDirectoryTakesNoNewFileAndKeepsItsOwn) {
  const std::string locked = dir_.File("locked");
  ASSERT_EQ(mkdir(locked.c_str(), 0755), 0);
  const std::string existing = locked + "/existing.bmp";
  test::WriteFileBytes(existing, kOldBytes);
  ASSERT_EQ(chmod(existing.c_str(), 0666), 0);
  ASSERT_EQ(chmod(locked.c_str(), 0555), 0);
  EXPECT_EQ(SaveAsOtherUser(locked + "/new.bmp"), kRefused);
  // The file itself may be written, but not replaced whole: the save may
  // refuse, or write the whole picture; never leave part of one.
  const std::string outcome = SaveAsOtherUser(existing);
  if (outcome == "saved") {
    EXPECT_EQ(test::ReadFileBytes(existing).size(), 54u + 3 * 12);
  } else {
    EXPECT_EQ(outcome, kRefused);
    EXPECT_EQ(test::ReadFileBytes(existing), kOldBytes);
  }
  ASSERT_EQ(chmod(locked.c_str(), 0755), 0);
  EXPECT_FALSE(test::FileExists(locked + "/new.bmp"));
  std::size_t entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(locked))
    entries += !entry.is_directory();
  EXPECT_EQ(entries, 1u) << "a file appeared in a read-only directory";
}

TEST_F(Permissions, AReadOnlyFileIsNotReplaced) {
  const std::string open = dir_.File("open");
  ASSERT_EQ(mkdir(open.c_str(), 0777), 0);
  ASSERT_EQ(chmod(open.c_str(), 0777), 0);
  const std::string readOnly = open + "/read-only.bmp";
  test::WriteFileBytes(readOnly, kOldBytes);
  ASSERT_EQ(chmod(readOnly.c_str(), 0444), 0);
  EXPECT_EQ(SaveAsOtherUser(readOnly), kRefused);
  EXPECT_EQ(test::ReadFileBytes(readOnly), kOldBytes);
  EXPECT_EQ(SaveAsOtherUser(open + "/writable.bmp"), "saved");
}

}  // namespace
}  // namespace quendral
