#include "hardening/child_process.h"

#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

namespace quendral::test {
namespace {

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define QUENDRAL_UNDER_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QUENDRAL_UNDER_SANITIZER 1
#endif

void WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

std::string ReadAll(int fd) {
  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return text;
    text.append(buffer, static_cast<std::size_t>(n));
  }
}

// rlim_t is 32 bits wide on some 32-bit systems.
rlim_t AsLimit(unsigned long long bytes) {
  return static_cast<rlim_t>(
      std::min<unsigned long long>(bytes, std::numeric_limits<rlim_t>::max()));
}

// Applies the limits in the child; a description of the first that failed.
std::string ApplyLimits(const ChildLimits& limits) {
  if (limits.addressSpaceBytes != 0 && !UnderSanitizer()) {
    const rlimit cap{AsLimit(limits.addressSpaceBytes), AsLimit(limits.addressSpaceBytes)};
    if (setrlimit(RLIMIT_AS, &cap) != 0) return "setrlimit(RLIMIT_AS) failed";
  }
  if (limits.fileSizeBytes != 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit cap{AsLimit(limits.fileSizeBytes), AsLimit(limits.fileSizeBytes)};
    if (setrlimit(RLIMIT_FSIZE, &cap) != 0) return "setrlimit(RLIMIT_FSIZE) failed";
  }
  // The other user keeps none of the parent's supplementary groups either.
  if (limits.groupId >= 0 && setgroups(0, nullptr) != 0)
    return std::string("setgroups failed: ") + std::strerror(errno);
  if (limits.groupId >= 0 && setgid(static_cast<gid_t>(limits.groupId)) != 0)
    return std::string("setgid failed: ") + std::strerror(errno);
  if (limits.userId >= 0 && setuid(static_cast<uid_t>(limits.userId)) != 0)
    return std::string("setuid failed: ") + std::strerror(errno);
  alarm(limits.seconds);
  return "";
}

}  // namespace

bool UnderSanitizer() {
#if defined(QUENDRAL_UNDER_SANITIZER)
  return true;
#else
  return false;
#endif
}

std::string ChildOutcome::Describe() const {
  if (!exited)
    return "child ended by signal " + std::to_string(signal) + " (" + strsignal(signal) + ")";
  return failure.empty() ? "child passed" : failure;
}

ChildOutcome RunInChild(const std::function<std::string()>& body, const ChildLimits& limits) {
  ChildOutcome outcome;
  int channel[2];
  if (pipe(channel) != 0) {
    outcome.exited = true;
    outcome.failure = "pipe failed";
    return outcome;
  }
  const pid_t pid = fork();
  if (pid == 0) {
    close(channel[0]);
    std::string failure = ApplyLimits(limits);
    if (failure.empty()) failure = body();
    WriteAll(channel[1], failure);
    close(channel[1]);
    // No exit handlers: the test framework's belong to the parent.
    _exit(failure.empty() ? 0 : 1);
  }
  close(channel[1]);
  if (pid < 0) {
    close(channel[0]);
    outcome.exited = true;
    outcome.failure = "fork failed";
    return outcome;
  }
  outcome.failure = ReadAll(channel[0]);
  close(channel[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFSIGNALED(status)) {
    outcome.signal = WTERMSIG(status);
    return outcome;
  }
  outcome.exited = true;
  if (WEXITSTATUS(status) != 0 && outcome.failure.empty())
    outcome.failure = "child exited with status " + std::to_string(WEXITSTATUS(status));
  return outcome;
}

}  // namespace quendral::test
