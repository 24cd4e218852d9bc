// The quendral command against what a busy system or another user does
// while a save is under way: an OUT that appears, a directory renamed or
// swapped for a link, a reader of the temporary, an interrupt to a batch of
// many jobs, threads the system will not start. The input comes through a
// pipe the test feeds, so each save can be held open at will; both ways of
// making the new file are run, unnamed (O_TMPFILE) and, with that refused
// by the preloaded library, a short temporary name.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "image/bitmap_image.h"
#include "support/bmp_bytes.h"
#include "support/scratch_dir.h"

namespace quendral {
namespace {

using test::Bytes;
using Args = std::vector<std::string>;
using Names = std::vector<std::string>;

enum class Method { kUnnamed, kNamed };

const char* Shown(Method method) { return method == Method::kNamed ? "named" : "unnamed"; }

struct Launch {
  Args args;
  Method method = Method::kUnnamed;
  int input = -1;           // standard input, when not /dev/null
  bool noThreads = false;   // a stack limit under which no thread can start
};

// Starts the command in `dir` with its standard error in `err`.
pid_t Start(const Launch& launch, const std::string& dir, const std::string& err) {
  std::vector<char*> argv = {const_cast<char*>("quendral")};
  for (const std::string& word : launch.args) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid != 0) return pid;
  const int in = launch.input >= 0 ? launch.input : open("/dev/null", O_RDONLY);
  const int fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (in < 0 || fd < 0 || dup2(in, 0) < 0 || dup2(fd, 2) < 0 || chdir(dir.c_str()) != 0) _exit(126);
  umask(022);
  setenv("LD_PRELOAD", QUENDRAL_TRACE_LIBRARY, 1);
  setenv("ASAN_OPTIONS", "verify_asan_link_order=0:detect_leaks=0", 1);
  if (launch.method == Method::kNamed) setenv("QD_TRACE_NO_TMPFILE", "1", 1);
  if (launch.noThreads) {
    // Each thread would ask for a stack larger than the machine's memory.
    const rlim_t huge = rlim_t{1} << 46;
    const rlimit limit = {huge, huge};
    if (setrlimit(RLIMIT_STACK, &limit) != 0) _exit(125);
  }
  execv(QUENDRAL_PROGRAM_PATH, argv.data());
  _exit(127);
}

int Wait(pid_t pid) {
  int status = 0;
  return waitpid(pid, &status, 0) == pid ? status : -1;
}

std::string Text(const std::string& path) {
  const Bytes bytes = test::ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

// New files the command holds open in `dir`: ".qd-" names there, or
// descriptors of files without a name in it.
int NewFilesUnderWay(pid_t pid, const std::string& dir, Method method) {
  int count = 0;
  const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
  DIR* listing = opendir(method == Method::kNamed ? dir.c_str() : fds.c_str());
  if (listing == nullptr) return 0;
  while (dirent* entry = readdir(listing)) {
    if (method == Method::kNamed) {
      count += std::string(entry->d_name).rfind(".qd-", 0) == 0;
      continue;
    }
    char target[4096];
    const ssize_t n = readlink((fds + "/" + entry->d_name).c_str(), target, sizeof target - 1);
    if (n <= 0) continue;
    const std::string link(target, static_cast<std::size_t>(n));
    count += link.rfind(dir + "/", 0) == 0 && link.find("(deleted)") != std::string::npos;
  }
  closedir(listing);
  return count;
}

// Waits until `count` new files are under way; false after half a minute
// or when the command ended first.
bool AwaitSaves(pid_t pid, const std::string& dir, Method method, int count = 1) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (NewFilesUnderWay(pid, dir, method) < count) {
    if (std::chrono::steady_clock::now() > deadline || waitpid(pid, nullptr, WNOHANG) != 0)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t wrote = write(fd, data, size);
    if (wrote <= 0) return false;
    data += wrote;
    size -= static_cast<std::size_t>(wrote);
  }
  return true;
}

class SaveRaces : public ::testing::Test {
 protected:
  void SetUp() override {
    BitmapImage image;
    ASSERT_TRUE(image.Resize(200, 100));
    for (int j = 0; j < 100; ++j)
      for (int i = 0; i < 200; ++i)
        image.At(i, j) = ColorQuad{std::uint8_t(i), std::uint8_t(j), std::uint8_t(i ^ j), 0};
    ASSERT_TRUE(image.Save(dir_.File("in.bmp").c_str()));
    picture_ = test::ReadFileBytes(dir_.File("in.bmp"));
  }

  // Runs `args` with the picture fed through a pipe: its headers and first
  // rows, then, once the save is under way in `watched`, `meanwhile`, then
  // the rest. The exit status.
  int RunHeldOpen(const Args& args, Method method, const std::string& watched,
                  const std::function<void()>& meanwhile) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return -1;
    Launch launch;
    launch.args = args;
    launch.method = method;
    launch.input = pipeFds[0];
    const pid_t pid = Start(launch, dir_.path(), err_.File("stderr"));
    close(pipeFds[0]);
    signal(SIGPIPE, SIG_IGN);
    const std::size_t head = 54 + 600 * 10;
    WriteAll(pipeFds[1], picture_.data(), head);
    const bool seen = AwaitSaves(pid, watched, method);
    EXPECT_TRUE(seen) << Shown(method) << ": the save was never seen under way";
    if (seen) meanwhile();
    WriteAll(pipeFds[1], picture_.data() + head, picture_.size() - head);
    close(pipeFds[1]);
    const int status = Wait(pid);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  std::string Stderr() { return Text(err_.File("stderr")); }

  test::ScratchDir dir_;
  test::ScratchDir err_;
  Bytes picture_;
};

const Method kMethods[] = {Method::kUnnamed, Method::kNamed};

TEST_F(SaveRaces, NoClobberKeepsAnOutputThatAppearsDuringTheSave) {
  // scale reads its whole input before it writes, so only mark's save can
  // be held open from the input; both put the picture in place alike.
  for (const Args& args : {Args{"mark", "-n", "-", "out.bmp"}}) {
    for (const Method method : kMethods) {
      const std::string where = args[0] + ", " + Shown(method);
      const int status = RunHeldOpen(args, method, dir_.path(), [&] {
        test::WriteFileBytes(dir_.File("out.bmp"), {'m', 'i', 'n', 'e'});
      });
      EXPECT_EQ(status, 0) << where << ": " << Stderr();
      EXPECT_EQ(Stderr(), "quendral: out.bmp exists; not replaced\n") << where;
      EXPECT_EQ(Text(dir_.File("out.bmp")), "mine") << where;
      EXPECT_EQ(dir_.Entries(), (Names{"in.bmp", "out.bmp"})) << where;
      std::remove(dir_.File("out.bmp").c_str());
    }
  }
}

// The save holds its directory open: renamed, or renamed and its name
// given to a link elsewhere, the picture still lands in it and nothing is
// left behind anywhere.
TEST_F(SaveRaces, ADirectoryRenamedDuringTheSaveKeepsThePicture) {
  ASSERT_EQ(mkdir(dir_.File("elsewhere").c_str(), 0755), 0);
  for (const bool linked : {false, true}) {
    for (const Method method : kMethods) {
      const std::string where = std::string(Shown(method)) + (linked ? ", link in its place" : "");
      ASSERT_EQ(mkdir(dir_.File("d").c_str(), 0755), 0);
      const int status = RunHeldOpen({"mark", "-", "d/out.bmp"}, method, dir_.File("d"), [&] {
        ASSERT_EQ(rename(dir_.File("d").c_str(), dir_.File("moved").c_str()), 0);
        if (linked) {
          ASSERT_EQ(symlink("elsewhere", dir_.File("d").c_str()), 0);
        }
      });
      EXPECT_EQ(status, 0) << where << ": " << Stderr();
      BitmapImage written;
      EXPECT_TRUE(written.Load(dir_.File("moved/out.bmp").c_str())) << where;
      EXPECT_EQ(test::ScratchDir::EntriesOf(dir_.File("moved")), Names{"out.bmp"}) << where;
      EXPECT_EQ(test::ScratchDir::EntriesOf(dir_.File("elsewhere")), Names{}) << where;
      std::filesystem::remove_all(dir_.File("moved"));
      std::remove(dir_.File("d").c_str());
    }
  }
}

// No one else may read a temporary while it is written; once complete it
// has the mode a new file would get, or the mode of the file it replaces.
TEST_F(SaveRaces, ATemporaryIsPrivateUntilComplete) {
  struct Case {
    int oldMode;  // -1: no file at OUT
    int finalMode;
  };
  const Case cases[] = {{-1, 0644}, {0600, 0600}, {0640, 0640}};
  for (const Case& c : cases) {
    if (c.oldMode >= 0) {
      test::WriteFileBytes(dir_.File("out.bmp"), {'o', 'l', 'd'});
      ASSERT_EQ(chmod(dir_.File("out.bmp").c_str(), static_cast<mode_t>(c.oldMode)), 0);
    }
    int modeWhileWritten = -1;
    const int status = RunHeldOpen({"mark", "-", "out.bmp"}, Method::kNamed, dir_.path(), [&] {
      for (const std::string& name : dir_.Entries()) {
        struct stat record {};
        if (name.rfind(".qd-", 0) == 0 && stat(dir_.File(name).c_str(), &record) == 0)
          modeWhileWritten = static_cast<int>(record.st_mode & 07777);
      }
    });
    EXPECT_EQ(status, 0) << Stderr();
    EXPECT_EQ(modeWhileWritten, 0600) << "replacing mode " << c.oldMode;
    struct stat record {};
    ASSERT_EQ(stat(dir_.File("out.bmp").c_str(), &record), 0);
    EXPECT_EQ(static_cast<int>(record.st_mode & 07777), c.finalMode) << "replacing mode " << c.oldMode;
    std::remove(dir_.File("out.bmp").c_str());
  }
}

// However many saves run at once, an interrupt removes every temporary.
TEST_F(SaveRaces, AnInterruptedBatchOfManyJobsLeavesNoTemporary) {
  constexpr int kJobs = 64;
  ASSERT_EQ(mkdir(dir_.File("src").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(dir_.File("dst").c_str(), 0755), 0);
  Args args = {"mark", "-q", "-j", std::to_string(kJobs)};
  for (int k = 0; k < kJobs; ++k) {
    const std::string name = "src/" + std::to_string(k) + ".bmp";
    ASSERT_EQ(mkfifo(dir_.File(name).c_str(), 0600), 0);
    args.push_back(name);
  }
  args.push_back("dst");
  for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
    // Held open for reading and writing, each pipe takes the first bytes
    // now and never ends while the command waits for the rest.
    std::vector<int> pipes;
    for (int k = 0; k < kJobs; ++k) {
      pipes.push_back(open(dir_.File("src/" + std::to_string(k) + ".bmp").c_str(), O_RDWR));
      ASSERT_GE(pipes.back(), 0);
      ASSERT_TRUE(WriteAll(pipes.back(), picture_.data(), 54 + 600 * 10));
    }
    Launch launch;
    launch.args = args;
    launch.method = Method::kNamed;
    const pid_t pid = Start(launch, dir_.path(), err_.File("stderr"));
    EXPECT_TRUE(AwaitSaves(pid, dir_.File("dst"), Method::kNamed, kJobs)) << strsignal(number);
    kill(pid, number);
    const int status = Wait(pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == number)
        << strsignal(number) << ": status " << status << " " << Stderr();
    EXPECT_EQ(test::ScratchDir::EntriesOf(dir_.File("dst")), Names{}) << strsignal(number);
    for (const int fd : pipes) close(fd);
  }
}

// A load that fails is explained from the bytes it read: a named pipe is
// not opened a second time (which would wait for a writer that never
// comes).
TEST_F(SaveRaces, AFailedLoadIsExplainedFromTheBytesRead) {
  ASSERT_EQ(mkfifo(dir_.File("pipe.bmp").c_str(), 0600), 0);
  Bytes rle(picture_.begin(), picture_.begin() + 54);
  rle[28] = 8;  // biBitCount
  rle[30] = 1;  // biCompression
  struct Case {
    Bytes bytes;
    std::string message;
  };
  const Case cases[] = {
      {Bytes(70, 'x'), "quendral: pipe.bmp: not a BMP file\n"},
      {Bytes(picture_.begin(), picture_.begin() + 30),
       "quendral: cannot read pipe.bmp: the file ends inside the BMP headers\n"},
      {rle, "quendral: cannot read pipe.bmp: RLE-compressed BMP (compression 1) is not supported\n"},
  };
  for (const Case& c : cases) {
    const pid_t writer = fork();
    if (writer == 0) {
      const int fd = open(dir_.File("pipe.bmp").c_str(), O_WRONLY);
      _exit(fd >= 0 && WriteAll(fd, c.bytes.data(), c.bytes.size()) ? 0 : 1);
    }
    Launch launch;
    launch.args = {"mark", "pipe.bmp", "out.bmp"};
    const pid_t pid = Start(launch, dir_.path(), err_.File("stderr"));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (siginfo_t ended{}; std::chrono::steady_clock::now() < deadline;) {
      if (waitid(P_PID, static_cast<id_t>(pid), &ended, WEXITED | WNOHANG | WNOWAIT) != 0 ||
          ended.si_pid != 0)
        break;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(pid, SIGKILL);  // nothing, unless it still waits
    kill(writer, SIGKILL);
    Wait(writer);
    const int status = Wait(pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << c.message << ": status " << status;
    EXPECT_EQ(Stderr(), c.message);
  }
}

// More jobs than the system will start threads for: the batch goes on with
// those it could start, or with none but its own.
TEST_F(SaveRaces, ABatchGoesOnWithTheThreadsItGets) {
  struct Case {
    int files;
    bool noThreads;
  };
  const Case cases[] = {{40000, false}, {300, true}};
  BitmapImage pixel;
  ASSERT_TRUE(pixel.Save(dir_.File("pixel.bmp").c_str()));
  for (const Case& c : cases) {
    const std::string where = std::to_string(c.files) + (c.noThreads ? " files, no threads" : " files");
    ASSERT_EQ(mkdir(dir_.File("src").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(dir_.File("dst").c_str(), 0755), 0);
    Launch launch;
    launch.args = {"mark", "-q", "-j", "999999"};
    launch.noThreads = c.noThreads;
    for (int k = 0; k < c.files; ++k) {
      launch.args.push_back("src/" + std::to_string(k) + ".bmp");
      ASSERT_EQ(link(dir_.File("pixel.bmp").c_str(), dir_.File(launch.args.back()).c_str()), 0);
    }
    launch.args.push_back("dst");
    const int status = Wait(Start(launch, dir_.path(), err_.File("stderr")));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << where << ": status " << status << " " << Stderr();
    EXPECT_EQ(test::ScratchDir::EntriesOf(dir_.File("dst")).size(), static_cast<std::size_t>(c.files))
        << where;
    std::filesystem::remove_all(dir_.File("src"));
    std::filesystem::remove_all(dir_.File("dst"));
  }
}

}  // namespace
}  // namespace quendral
