#include "platform/output_ledger.h"

#include <sys/stat.h>

#if !defined(_WIN32)
#include <fcntl.h>
#endif

namespace quendral {

std::string OutputLedger::WrittenAs(const std::string& path) const {
#if defined(_WIN32)
  (void)path;
  return std::string();
#else
  struct stat record;
  if (stat(path.c_str(), &record) != 0) return std::string();
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = files_.find({record.st_dev, record.st_ino});
  return found == files_.end() ? std::string() : found->second;
#endif
}

bool OutputLedger::Holds(int directory, const std::string& name) const {
#if defined(_WIN32)
  (void)directory;
  (void)name;
  return false;
#else
  struct stat record;
  return fstatat(directory, name.c_str(), &record, AT_SYMLINK_NOFOLLOW) == 0 &&
         files_.count({record.st_dev, record.st_ino}) != 0;
#endif
}

}  // namespace quendral
