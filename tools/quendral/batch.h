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

// Calls `work` for every item, `jobs` at a time, and gives the largest of
// the statuses it returned. With `showProgress`, a batch that runs for more
// than a second shows how far it has come on standard error.
int RunBatch(const std::vector<BatchItem>& items, int jobs, bool showProgress,
             const std::function<int(const BatchItem&)>& work);

}  // namespace quendral::cli
