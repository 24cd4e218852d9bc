// Runs a piece of a test in a child process, so that a crash, a hang or a
// runaway allocation is seen as such instead of ending the test program,
// and so that limits (address space, file size, user) bind the child only.
#pragma once

#include <functional>
#include <string>

namespace quendral::test {

struct ChildLimits {
  // Address space of the child; 0 for none. Not applied under a sanitizer,
  // whose shadow memory needs terabytes of address space.
  unsigned long long addressSpaceBytes = 1ull << 30;
  // Largest file the child may write; 0 for no limit. Writing past it fails
  // (the signal it would raise is ignored).
  unsigned long long fileSizeBytes = 0;
  // Seconds before the child is stopped by SIGALRM.
  unsigned seconds = 60;
  // Run as this user and group (e.g. nobody) when not -1: lets a test run as
  // root check what permissions do to everyone else.
  int userId = -1;
  int groupId = -1;
};

struct ChildOutcome {
  bool exited = false;  // ended by returning, not by a signal
  int signal = 0;       // the signal that ended it, when not exited
  std::string failure;  // what the body reported; empty when all held
  std::string Describe() const;
};

// Runs `body` in a forked child under `limits`. The body returns "" when all
// that it checked held, else a description of what did not.
ChildOutcome RunInChild(const std::function<std::string()>& body, const ChildLimits& limits = {});

// True when built with AddressSanitizer or ThreadSanitizer.
bool UnderSanitizer();

}  // namespace quendral::test
