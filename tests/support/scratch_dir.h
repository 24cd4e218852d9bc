// A fresh directory for one test's files, removed with everything in it.
#pragma once

#include <string>
#include <vector>

namespace quendral::test {

class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  // Names of the entries in the directory, sorted.
  std::vector<std::string> Entries() const;
  // The same for any directory.
  static std::vector<std::string> EntriesOf(const std::string& directory);

 private:
  std::string path_;
};

}  // namespace quendral::test
