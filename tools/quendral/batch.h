// Runs one piece of work per file on several threads at once.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace quendral::cli {

struct BatchItem {
  std::string input;
  std::string output;
};

// Files worked on at once, whatever -j asks: each holds a chunk of memory,
// and beyond this more threads only wait on each other and the disk.
inline constexpr std::size_t kMostJobs = 128;

// Calls `work` for every item, `jobs` at a time (at most kMostJobs, and as
// many as the system would start), and gives the largest of
// the statuses it returned. With `showProgress`, a batch that runs for more
// than a second shows how far it has come on standard error.
int RunBatch(const std::vector<BatchItem>& items, int jobs, bool showProgress,
             const std::function<int(const BatchItem&)>& work);

}  // namespace quendral::cli
