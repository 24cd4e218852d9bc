#include "platform/output_file.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#if defined(_WIN32)
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace quendral {
namespace {

std::atomic<unsigned> g_sequence{0};

#if defined(_WIN32)
using StatRecord = struct _stat64;
int StatPath(const char* path, StatRecord* record) { return _stat64(path, record); }
bool IsRegular(const StatRecord& record) { return (record.st_mode & _S_IFMT) == _S_IFREG; }
int CurrentProcessId() { return _getpid(); }

std::FILE* CreateExclusive(const std::string& path, int& error) {
  int fd = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
  if (fd < 0) {
    error = errno;
    return nullptr;
  }
  std::FILE* stream = _fdopen(fd, "wb");
  if (stream == nullptr) {
    error = errno;
    _close(fd);
    _unlink(path.c_str());
  }
  return stream;
}

bool MoveIntoPlace(const std::string& from, const std::string& to, int& error) {
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  error = EACCES;
  return false;
}

void RemovePath(const std::string& path) { _unlink(path.c_str()); }

bool MayWrite(const std::string& path) { return _access(path.c_str(), 2) == 0; }

std::string ResolveTarget(const char* path) { return path; }
#else
using StatRecord = struct stat;
int StatPath(const char* path, StatRecord* record) { return stat(path, record); }
bool IsRegular(const StatRecord& record) { return S_ISREG(record.st_mode); }
int CurrentProcessId() { return static_cast<int>(getpid()); }

std::FILE* CreateExclusive(const std::string& path, int& error) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    error = errno;
    return nullptr;
  }
  std::FILE* stream = fdopen(fd, "wb");
  if (stream == nullptr) {
    error = errno;
    close(fd);
    unlink(path.c_str());
  }
  return stream;
}

bool MoveIntoPlace(const std::string& from, const std::string& to, int& error) {
  if (rename(from.c_str(), to.c_str()) == 0) return true;
  error = errno;
  return false;
}

void RemovePath(const std::string& path) { unlink(path.c_str()); }

// Judged with the effective user's rights, as opening the file would be.
bool MayWrite(const std::string& path) {
  return faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

// A symbolic link is followed, so that the picture replaces the file it
// names and the link stays a link.
std::string ResolveTarget(const char* path) {
  struct stat record;
  if (lstat(path, &record) == 0 && S_ISLNK(record.st_mode)) {
    if (char* resolved = realpath(path, nullptr)) {
      std::string target(resolved);
      std::free(resolved);
      return target;
    }
  }
  return path;
}
#endif

}  // namespace

OutputFile::OutputFile(OutputFile&& other) noexcept
    : file_(std::move(other.file_)),
      target_(std::move(other.target_)),
      temporary_(std::move(other.temporary_)) {
  other.temporary_.clear();
}

OutputFile::~OutputFile() { Discard(); }

OutputFile OutputFile::Begin(const char* path, int& error) {
  OutputFile output;
  error = 0;
  if (path == nullptr || *path == '\0') {
    error = ENOENT;
    return output;
  }
  output.target_ = ResolveTarget(path);
  StatRecord record;
  const bool exists = StatPath(output.target_.c_str(), &record) == 0;
  if (exists && !IsRegular(record)) {
    output.file_ = File::Open(output.target_.c_str(), "wb");
    if (!output.file_.IsOpen()) error = errno;
    return output;
  }
  // A file that its owner made read-only is refused, as opening it for
  // writing would be; renaming a new file over it would bypass that.
  if (exists && !MayWrite(output.target_)) {
    error = errno != 0 ? errno : EACCES;
    return output;
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = output.target_ + ".tmp-" + std::to_string(CurrentProcessId()) + "-" +
                            std::to_string(g_sequence.fetch_add(1, std::memory_order_relaxed));
    std::FILE* stream = CreateExclusive(candidate, error);
    if (stream != nullptr) {
#if !defined(_WIN32)
      // The picture that replaces a file keeps that file's permissions.
      if (exists) (void)fchmod(fileno(stream), record.st_mode & 07777);
#endif
      output.file_ = File::Adopt(stream);
      output.temporary_ = std::move(candidate);
      error = 0;
      return output;
    }
    if (error != EEXIST) break;
  }
  return output;
}

bool OutputFile::Commit(int& error) {
  error = 0;
  if (!file_.IsOpen()) {
    error = EBADF;
    Discard();
    return false;
  }
  errno = 0;
  if (!file_.Close()) {
    error = errno != 0 ? errno : EIO;
    Discard();
    return false;
  }
  if (temporary_.empty()) return true;
  if (!MoveIntoPlace(temporary_, target_, error)) {
    Discard();
    return false;
  }
  temporary_.clear();
  return true;
}

void OutputFile::Discard() {
  file_.Close();
  if (!temporary_.empty()) {
    RemovePath(temporary_);
    temporary_.clear();
  }
}

}  // namespace quendral
