#include "platform/output_file.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
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
#include <pthread.h>
#include <signal.h>
#include <unistd.h>
#endif

#include "platform/temporary_names.h"

namespace quendral {
namespace {

constexpr int kNameAttempts = 100;

#if defined(_WIN32)
using StatRecord = struct _stat64;
int StatPath(const char* path, StatRecord* record) { return _stat64(path, record); }
bool IsRegular(const StatRecord& record) { return (record.st_mode & _S_IFMT) == _S_IFREG; }
std::uint64_t CurrentProcessId() { return static_cast<std::uint64_t>(_getpid()); }
bool IsSeparator(char c) { return c == '/' || c == '\\'; }

int ErrnoOf(DWORD code) {
  switch (code) {
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return EACCES;
    case ERROR_WRITE_PROTECT: return EROFS;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
    default: return EIO;
  }
}

// Opened with delete sharing so that the command's console handler can
// remove the file while this process still has it open.
int CreateNamed(const std::string& name, int& error) {
  const HANDLE handle =
      CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error = ErrnoOf(GetLastError());
    return -1;
  }
  const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
  if (descriptor < 0) {
    error = EMFILE;
    CloseHandle(handle);
    DeleteFileA(name.c_str());
  }
  return descriptor;
}

// Console events arrive on a thread of their own; there is nothing to hold.
struct InterruptsHeld {
  InterruptsHeld() {}
};

int CreateUnnamed(const std::string&) { return -1; }
bool Link(int, const std::string&, int& error) {
  error = ENOSYS;
  return false;
}
std::FILE* StreamOf(int descriptor) { return _fdopen(descriptor, "wb"); }
void CloseDescriptor(int descriptor) { _close(descriptor); }
void KeepOwnerAndMode(int, const StatRecord&) {}

bool MoveIntoPlace(const std::string& from, const std::string& to, bool durable, int& error) {
  const DWORD flags = MOVEFILE_REPLACE_EXISTING | (durable ? MOVEFILE_WRITE_THROUGH : 0);
  if (MoveFileExA(from.c_str(), to.c_str(), flags)) return true;
  error = ErrnoOf(GetLastError());
  return false;
}

// Windows has no flush of a directory; the write-through move stands for it.
bool SyncDirectory(const std::string&, int&) { return true; }

void RemovePath(const std::string& path) { DeleteFileA(path.c_str()); }

bool MayWrite(const std::string& path) { return _access(path.c_str(), 2) == 0; }

bool ResolveTarget(const char* path, std::string& target, int&) {
  target = path;
  return true;
}
#else
using StatRecord = struct stat;
int StatPath(const char* path, StatRecord* record) { return stat(path, record); }
bool IsRegular(const StatRecord& record) { return S_ISREG(record.st_mode); }
std::uint64_t CurrentProcessId() { return static_cast<std::uint64_t>(getpid()); }
bool IsSeparator(char c) { return c == '/'; }

// Holds back the signals that the command clears up after while a name is
// created and remembered, so that none finds a file it does not know of.
class InterruptsHeld {
 public:
  InterruptsHeld() {
    sigset_t interrupts;
    sigemptyset(&interrupts);
    sigaddset(&interrupts, SIGINT);
    sigaddset(&interrupts, SIGTERM);
    sigaddset(&interrupts, SIGHUP);
    held_ = pthread_sigmask(SIG_BLOCK, &interrupts, &previous_) == 0;
  }
  ~InterruptsHeld() {
    if (held_) pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  InterruptsHeld(const InterruptsHeld&) = delete;
  InterruptsHeld& operator=(const InterruptsHeld&) = delete;

 private:
  sigset_t previous_;
  bool held_ = false;
};

int CreateNamed(const std::string& name, int& error) {
  const int descriptor = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (descriptor < 0) error = errno;
  return descriptor;
}

#if defined(__linux__)
// The name through which an unnamed file can be linked by anyone.
void SelfPath(int descriptor, char (&path)[48]) {
  std::snprintf(path, sizeof path, "/proc/self/fd/%d", descriptor);
}
#endif

// A file in `directory` that has no name until it is linked; -1 where the
// system or the file system cannot make one, or where it could not be
// linked later for want of /proc (the data would then have no way out).
int CreateUnnamed(const std::string& directory) {
#if defined(__linux__) && defined(O_TMPFILE)
  const int descriptor =
      open(directory.empty() ? "." : directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (descriptor < 0) return -1;
  char self[48];
  SelfPath(descriptor, self);
  if (access(self, F_OK) == 0) return descriptor;
  close(descriptor);
  return -1;
#else
  (void)directory;
  return -1;
#endif
}

// Gives the unnamed file behind `descriptor` the name `name`; fails with
// EEXIST when something already has it.
bool Link(int descriptor, const std::string& name, int& error) {
#if defined(__linux__)
  char self[48];
  SelfPath(descriptor, self);
  if (linkat(AT_FDCWD, self, AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
  error = errno;
  return false;
#else
  (void)descriptor;
  (void)name;
  error = ENOSYS;
  return false;
#endif
}

std::FILE* StreamOf(int descriptor) { return fdopen(descriptor, "wb"); }
void CloseDescriptor(int descriptor) { close(descriptor); }

// The owner first: changing it clears the set-user and set-group bits,
// which the mode then puts back where allowed. Only root may give a file
// away; anyone may keep the group if they belong to it. What is refused
// stays the caller's, as a newly written file would be.
void KeepOwnerAndMode(int descriptor, const StatRecord& old) {
  if (old.st_uid != geteuid() || old.st_gid != getegid()) {
    if (fchown(descriptor, old.st_uid, old.st_gid) != 0)
      (void)fchown(descriptor, static_cast<uid_t>(-1), old.st_gid);
  }
  (void)fchmod(descriptor, old.st_mode & 07777);
}

bool MoveIntoPlace(const std::string& from, const std::string& to, bool, int& error) {
  if (rename(from.c_str(), to.c_str()) == 0) return true;
  error = errno;
  return false;
}

// Makes the move itself durable. A directory that may not be opened for
// reading, or a file system that cannot flush directories, is let pass.
bool SyncDirectory(const std::string& directory, int& error) {
  const int descriptor =
      open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0) return true;
  const bool synced = fsync(descriptor) == 0 || errno == EINVAL || errno == ENOTSUP;
  if (!synced) error = errno;
  close(descriptor);
  return synced;
}

void RemovePath(const std::string& path) { unlink(path.c_str()); }

// Judged with the effective user's rights, as opening the file would be.
bool MayWrite(const std::string& path) {
  return faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

// A symbolic link is followed, so that the picture replaces the file it
// names and the link stays a link. A link to nothing is refused: writing a
// file in place of it would lose the link.
bool ResolveTarget(const char* path, std::string& target, int& error) {
  target = path;
  struct stat record;
  if (lstat(path, &record) != 0 || !S_ISLNK(record.st_mode)) return true;
  char* resolved = realpath(path, nullptr);
  if (resolved == nullptr) {
    error = errno != 0 ? errno : ENOENT;
    return false;
  }
  target = resolved;
  std::free(resolved);
  return true;
}
#endif

std::atomic<std::uint64_t> g_sequence{0};

// A short name in `directory`: ".qd-" and six letters or digits, different
// for every call in the process and unlikely to repeat across processes.
// Names are created exclusively, so a repeat only costs another try.
std::string TemporaryName(const std::string& directory) {
  std::uint64_t x = (g_sequence.fetch_add(1, std::memory_order_relaxed) + 1) * 0x9E3779B97F4A7C15ull;
  x ^= CurrentProcessId() << 40;
  x ^= static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  x ^= x >> 30;
  x *= 0xBF58476D1CE4E5B9ull;
  x ^= x >> 27;
  x *= 0x94D049BB133111EBull;
  x ^= x >> 31;
  static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::string name = directory + ".qd-";
  for (int k = 0; k < 6; ++k, x /= 62) name += kLetters[x % 62];
  return name;
}

// `path` up to and including its last separator; "" for a bare name.
std::string DirectoryPrefix(const std::string& path) {
  std::size_t end = path.size();
  while (end > 0 && !IsSeparator(path[end - 1])) --end;
#if defined(_WIN32)
  if (end == 0 && path.size() >= 2 && path[1] == ':') end = 2;  // "C:name"
#endif
  return path.substr(0, end);
}

}  // namespace

OutputFile::OutputFile(OutputFile&& other) noexcept
    : file_(std::move(other.file_)),
      target_(std::move(other.target_)),
      directory_(std::move(other.directory_)),
      temporary_(std::exchange(other.temporary_, std::string())),
      slot_(std::exchange(other.slot_, -1)),
      direct_(other.direct_),
      unnamed_(other.unnamed_),
      replacing_(other.replacing_),
      flushFailed_(other.flushFailed_) {}

OutputFile::~OutputFile() { Discard(); }

OutputFile OutputFile::Begin(const char* path, int& error) {
  OutputFile output;
  error = 0;
  if (path == nullptr || *path == '\0') {
    error = ENOENT;
    return output;
  }
  if (!ResolveTarget(path, output.target_, error)) return output;
  StatRecord record;
  const bool exists = StatPath(output.target_.c_str(), &record) == 0;
  if (exists && !IsRegular(record)) {
    output.direct_ = true;
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
  output.directory_ = DirectoryPrefix(output.target_);
  if (output.directory_.size() == output.target_.size()) {
    error = EISDIR;  // a name ending in a separator can only be a directory
    return output;
  }

  int descriptor = CreateUnnamed(output.directory_);
  output.unnamed_ = descriptor >= 0;
  for (int attempt = 0; descriptor < 0 && attempt < kNameAttempts; ++attempt) {
    std::string name = TemporaryName(output.directory_);
    const InterruptsHeld held;
    descriptor = CreateNamed(name, error);
    if (descriptor >= 0) {
      output.slot_ = RememberTemporaryName(name);
      output.temporary_ = std::move(name);
    } else if (error != EEXIST) {
      return output;
    }
  }
  if (descriptor < 0) return output;
  if (exists) KeepOwnerAndMode(descriptor, record);
  std::FILE* stream = StreamOf(descriptor);
  if (stream == nullptr) {
    error = errno != 0 ? errno : EMFILE;
    CloseDescriptor(descriptor);
    output.Discard();
    return output;
  }
  output.file_ = File::Adopt(stream);
  output.replacing_ = exists;
  error = 0;
  return output;
}

bool OutputFile::Commit(int& error) {
  error = 0;
  flushFailed_ = false;
  auto fail = [&](int reason) {
    error = reason != 0 ? reason : EIO;
    Discard();
    return false;
  };
  if (!file_.IsOpen()) return fail(EBADF);
  errno = 0;
  if (!file_.Flush()) return fail(errno);
  if (direct_) {
    errno = 0;
    return file_.Close() ? true : fail(errno);
  }
  if (replacing_) {
    errno = 0;
    if (!file_.SyncToDevice()) {
      flushFailed_ = true;
      return fail(errno);
    }
  }
  const bool wasUnnamed = unnamed_;
  if (unnamed_ && !NameUnnamed(error)) return fail(error);
  const bool atTarget = wasUnnamed && temporary_.empty();
  errno = 0;
  if (!file_.Close()) {
    const int reason = errno;
    if (atTarget) RemovePath(target_);
    return fail(reason);
  }
  if (atTarget) return true;
  if (!MoveIntoPlace(temporary_, target_, replacing_, error)) return fail(error);
  temporary_.clear();
  ForgetTemporaryName(slot_);
  slot_ = -1;
  if (replacing_ && !SyncDirectory(directory_, error)) {
    flushFailed_ = true;
    return false;
  }
  return true;
}

// A new name is linked straight at the target, so nothing else ever
// appears; a replacement gets a temporary name to move over the target.
bool OutputFile::NameUnnamed(int& error) {
  const int descriptor = file_.Descriptor();
  if (!replacing_) {
    if (Link(descriptor, target_, error)) {
      unnamed_ = false;
      return true;
    }
    if (error != EEXIST) return false;
    // Another file took the name meanwhile; it is replaced as before.
  }
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    std::string name = TemporaryName(directory_);
    const InterruptsHeld held;
    if (Link(descriptor, name, error)) {
      slot_ = RememberTemporaryName(name);
      temporary_ = std::move(name);
      unnamed_ = false;
      return true;
    }
    if (error != EEXIST) return false;
  }
  return false;
}

void OutputFile::Discard() {
  file_.Close();
  if (!temporary_.empty()) {
    RemovePath(temporary_);
    temporary_.clear();
  }
  ForgetTemporaryName(slot_);
  slot_ = -1;
}

}  // namespace quendral
