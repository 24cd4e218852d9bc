// What the quendral command does to make a save survive a power cut, a kill
// and a refusing device, watched through a preloaded library that logs
// (and can fail) the flushes, links and moves: a replace flushes the new
// file, then moves it, then flushes the directory; a new name flushes
// nothing; a refused flush leaves the old file; an interrupted save leaves
// the directory as it was. Both ways of making the new file are run: unnamed
// (Linux's O_TMPFILE) and, with that refused, a short temporary name.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "image/bitmap_image.h"
#include "support/bmp_bytes.h"
#include "support/scratch_dir.h"

namespace quendral {
namespace {

using test::Bytes;
using Lines = std::vector<std::string>;
using Names = std::vector<std::string>;

enum class Method { kUnnamed, kNamed };

std::string Text(const std::string& path) {
  const Bytes bytes = test::ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

Lines SplitLines(const std::string& text) {
  Lines lines;
  for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

bool UnnamedFilesWork(const std::string& dir) {
  const int fd = open(dir.c_str(), O_TMPFILE | O_WRONLY, 0600);
  if (fd >= 0) close(fd);
  return fd >= 0;
}

class SaveDurability : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::string(QUENDRAL_PROGRAM_LAUNCHER) != "")
      GTEST_SKIP() << "the preloaded library needs the program to run natively";
    Picture("in.bmp", 40, 30, 24);
    Picture("old.bmp", 9, 7, 8);
  }

  void Picture(const std::string& name, int width, int height, int depth) {
    BitmapImage image;
    ASSERT_TRUE(image.SetDepth(depth));
    ASSERT_TRUE(image.Resize(width, height));
    test::TestRandom random(static_cast<std::uint32_t>(width));
    for (int j = 0; j < height; j += 7)
      for (int i = 0; i < width; ++i)
        image.At(i, j) = ColorQuad{random.Byte(), random.Byte(), random.Byte(), 0};
    ASSERT_TRUE(image.Save(dir_.File(name).c_str()));
  }

  // Starts `quendral mark IN OUT` in the scratch directory with the library
  // preloaded, told how to make the new file and which flush to refuse.
  pid_t Start(const std::string& in, const std::string& out, Method method,
              const std::string& fail = "") {
    const std::string err = log_.File("stderr");
    const pid_t pid = fork();
    if (pid == 0) {
      const int fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (fd < 0 || dup2(fd, 2) < 0 || chdir(dir_.path().c_str()) != 0) _exit(126);
      setenv("LD_PRELOAD", QUENDRAL_TRACE_LIBRARY, 1);
      setenv("ASAN_OPTIONS", "verify_asan_link_order=0:detect_leaks=0", 1);
      setenv("QD_TRACE_LOG", log_.File("calls").c_str(), 1);
      if (method == Method::kNamed) setenv("QD_TRACE_NO_TMPFILE", "1", 1);
      if (!fail.empty()) setenv("QD_TRACE_FAIL", fail.c_str(), 1);
      execl(QUENDRAL_PROGRAM_PATH, "quendral", "mark", in.c_str(), out.c_str(), nullptr);
      _exit(127);
    }
    return pid;
  }

  static int Wait(pid_t pid) {
    int status = 0;
    return waitpid(pid, &status, 0) == pid ? status : -1;
  }

  test::ScratchDir dir_;
  test::ScratchDir log_;
};

TEST_F(SaveDurability, OnlyAReplacementIsFlushedAndInTheRightOrder) {
  const Lines replace = {"fsync file", "link .qd-*", "rename .qd-* old.bmp", "fsync dir"};
  const Lines replaceNamed = {"fsync file", "rename .qd-* old.bmp", "fsync dir"};
  const Lines inPlace = {"fsync file", "link .qd-*", "rename .qd-* in.bmp", "fsync dir"};
  const Lines inPlaceNamed = {"fsync file", "rename .qd-* in.bmp", "fsync dir"};
  struct Case {
    const char* what;
    Method method;
    const char* out;
    const char* fail;  // which flush the device refuses
    int exitCode;
    bool targetChanges;
    Lines calls;
  };
  const Case cases[] = {
      {"new name", Method::kUnnamed, "new.bmp", "", 0, true, {"link new.bmp"}},
      {"new name", Method::kNamed, "new.bmp", "", 0, true, {"rename .qd-* new.bmp"}},
      {"replace", Method::kUnnamed, "old.bmp", "", 0, true, replace},
      {"replace", Method::kNamed, "old.bmp", "", 0, true, replaceNamed},
      {"in place", Method::kUnnamed, "in.bmp", "", 0, true, inPlace},
      {"in place", Method::kNamed, "in.bmp", "", 0, true, inPlaceNamed},
      {"refused flush", Method::kUnnamed, "old.bmp", "file", 3, false, {"fsync file"}},
      {"refused flush", Method::kNamed, "old.bmp", "file", 3, false, {"fsync file"}},
      {"refused flush in place", Method::kUnnamed, "in.bmp", "file", 3, false, {"fsync file"}},
      // The move is done by then; the save still says the picture may not
      // survive a power cut.
      {"refused directory flush", Method::kUnnamed, "old.bmp", "dir", 3, true, replace},
      {"new name, flushes refused", Method::kNamed, "new.bmp", "file", 0, true,
       {"rename .qd-* new.bmp"}},
  };
  const Bytes input = test::ReadFileBytes(dir_.File("in.bmp"));
  const Bytes old = test::ReadFileBytes(dir_.File("old.bmp"));
  for (const Case& c : cases) {
    const std::string where =
        std::string(c.what) + (c.method == Method::kNamed ? ", named" : ", unnamed");
    if (c.method == Method::kUnnamed && !UnnamedFilesWork(dir_.path())) {
      ADD_FAILURE() << where << ": the scratch directory's file system has no O_TMPFILE";
      continue;
    }
    std::remove(log_.File("calls").c_str());
    const int status = Wait(Start("in.bmp", c.out, c.method, c.fail));
    ASSERT_TRUE(WIFEXITED(status)) << where;
    EXPECT_EQ(WEXITSTATUS(status), c.exitCode) << where << ": " << Text(log_.File("stderr"));
    EXPECT_EQ(SplitLines(Text(log_.File("calls"))), c.calls) << where;
    if (c.exitCode == 3) {
      EXPECT_NE(Text(log_.File("stderr")).find("would not flush"), std::string::npos) << where;
    }
    const std::string out = c.out;
    const Bytes before = out == "in.bmp" ? input : old;
    if (out != "new.bmp") {
      EXPECT_EQ(test::ReadFileBytes(dir_.File(out)) != before, c.targetChanges) << where;
    }
    const Names expected = out == "new.bmp" ? Names{"in.bmp", "new.bmp", "old.bmp"}
                                            : Names{"in.bmp", "old.bmp"};
    EXPECT_EQ(dir_.Entries(), expected) << where;
    // Back to the pictures the next case expects.
    test::WriteFileBytes(dir_.File("in.bmp"), input);
    test::WriteFileBytes(dir_.File("old.bmp"), old);
    std::remove(dir_.File("new.bmp").c_str());
  }
}

// True once the command holds its new file open: a ".qd-" name in the
// directory, or (unnamed) a descriptor of a deleted file there.
bool SaveUnderWay(pid_t pid, const test::ScratchDir& scratch, Method method) {
  const std::string& dir = scratch.path();
  if (method == Method::kNamed) {
    for (const std::string& name : scratch.Entries())
      if (name.rfind(".qd-", 0) == 0) return true;
    return false;
  }
  const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
  DIR* listing = opendir(fds.c_str());
  if (listing == nullptr) return false;
  bool found = false;
  while (dirent* entry = readdir(listing)) {
    char target[4096];
    const ssize_t n = readlink((fds + "/" + entry->d_name).c_str(), target, sizeof target - 1);
    if (n <= 0) continue;
    const std::string link(target, static_cast<std::size_t>(n));
    found |= link.rfind(dir + "/", 0) == 0 && link.find("(deleted)") != std::string::npos;
  }
  closedir(listing);
  return found;
}

TEST_F(SaveDurability, AnInterruptedSaveLeavesTheDirectoryAsItWas) {
  // Large enough that the save lasts well beyond the moment it is seen.
  Picture("big.bmp", 5000, 3000, 24);
  struct Case {
    int signal;
    Method method;
  };
  // A kill cannot be caught: only an unnamed file is sure to go with it.
  const Case cases[] = {{SIGKILL, Method::kUnnamed}, {SIGTERM, Method::kUnnamed},
                        {SIGINT, Method::kUnnamed},  {SIGINT, Method::kNamed},
                        {SIGTERM, Method::kNamed},   {SIGHUP, Method::kNamed}};
  const Names entries = dir_.Entries();
  const Bytes old = test::ReadFileBytes(dir_.File("old.bmp"));
  for (const Case& c : cases) {
    const std::string where = std::string(strsignal(c.signal)) +
                              (c.method == Method::kNamed ? ", named" : ", unnamed");
    if (c.method == Method::kUnnamed && !UnnamedFilesWork(dir_.path())) {
      ADD_FAILURE() << where << ": the scratch directory's file system has no O_TMPFILE";
      continue;
    }
    const pid_t pid = Start("big.bmp", "old.bmp", c.method);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    bool seen = false;
    while (!(seen = SaveUnderWay(pid, dir_, c.method)) &&
           std::chrono::steady_clock::now() < deadline && waitpid(pid, nullptr, WNOHANG) == 0)
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    ASSERT_TRUE(seen) << where << ": the save was never seen under way";
    kill(pid, c.signal);
    const int status = Wait(pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal)
        << where << ": status " << status << " " << Text(log_.File("stderr"));
    EXPECT_EQ(dir_.Entries(), entries) << where;
    EXPECT_EQ(test::ReadFileBytes(dir_.File("old.bmp")), old) << where;
  }
}

}  // namespace
}  // namespace quendral
