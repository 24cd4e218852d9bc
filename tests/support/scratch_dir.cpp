#include "support/scratch_dir.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#if defined(_WIN32)
#include <process.h>
#endif

namespace quendral::test {

ScratchDir::ScratchDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quendral-test-XXXXXX").string();
#if defined(_WIN32)
  static int counter = 0;
  path_ = pattern.substr(0, pattern.size() - 6) + std::to_string(_getpid()) + "-" +
          std::to_string(counter++);
  std::filesystem::create_directories(path_);
#else
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
#endif
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  // Permissions a test took away are given back so that everything goes.
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> ScratchDir::Entries() const { return EntriesOf(path_); }

std::vector<std::string> ScratchDir::EntriesOf(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace quendral::test
