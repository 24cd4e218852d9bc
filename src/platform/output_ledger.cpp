#include "platform/output_ledger.h"

#include <sys/stat.h>
#include <sys/types.h>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#endif

namespace quendral {
namespace {

#if defined(_WIN32)
// Windows gives no file numbers through stat; the handle's information does.
bool IdentityOfHandle(HANDLE handle, OutputLedger::Identity& identity) {
  BY_HANDLE_FILE_INFORMATION information;
  if (handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(handle, &information)) return false;
  identity = {information.dwVolumeSerialNumber,
              (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow};
  return true;
}

bool IdentityOfPath(const std::string& path, bool follow, OutputLedger::Identity& identity) {
  const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  const HANDLE handle = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, flags, nullptr);
  const bool found = IdentityOfHandle(handle, identity);
  if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  return found;
}
#endif

}  // namespace

bool OutputLedger::IdentityOf(int descriptor, Identity& identity) {
#if defined(_WIN32)
  return IdentityOfHandle(reinterpret_cast<HANDLE>(_get_osfhandle(descriptor)), identity);
#else
  struct stat record;
  if (fstat(descriptor, &record) != 0) return false;
  identity = {static_cast<std::uint64_t>(record.st_dev), static_cast<std::uint64_t>(record.st_ino)};
  return true;
#endif
}

bool OutputLedger::IdentityAt(int directory, const std::string& name, Identity& identity) {
#if defined(_WIN32)
  (void)directory;
  return IdentityOfPath(name, false, identity);
#else
  struct stat record;
  if (fstatat(directory, name.c_str(), &record, AT_SYMLINK_NOFOLLOW) != 0) return false;
  identity = {static_cast<std::uint64_t>(record.st_dev), static_cast<std::uint64_t>(record.st_ino)};
  return true;
#endif
}

std::string OutputLedger::WrittenAs(const std::string& path) const {
  Identity identity;
#if defined(_WIN32)
  if (!IdentityOfPath(path, true, identity)) return std::string();
#else
  struct stat record;
  if (stat(path.c_str(), &record) != 0) return std::string();
  identity = {static_cast<std::uint64_t>(record.st_dev), static_cast<std::uint64_t>(record.st_ino)};
#endif
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = files_.find(identity);
  return found == files_.end() ? std::string() : found->second;
}

bool OutputLedger::Holds(int directory, const std::string& name) const {
  Identity identity;
  return IdentityAt(directory, name, identity) && files_.count(identity) != 0;
}

}  // namespace quendral
