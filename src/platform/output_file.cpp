// Windows Vista and later: the final path of an open file.
#if defined(_WIN32) && (!defined(_WIN32_WINNT) || _WIN32_WINNT < 0x0600)
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#endif

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
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include "platform/temporary_names.h"

namespace quendral {
namespace {

constexpr int kNameAttempts = 100;

#if defined(_WIN32)
using StatRecord = struct _stat64;
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

bool IsLink(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Opens an existing file for writing, through a link as the system follows
// it; -1 with the reason in `error` when it cannot.
int OpenThrough(const char* path, int& error) {
  const int descriptor = _open(path, _O_WRONLY | _O_BINARY);
  if (descriptor < 0) error = errno;
  return descriptor;
}

bool StatOpen(int descriptor, StatRecord& record) { return _fstat64(descriptor, &record) == 0; }

// The path of the file that `descriptor` reached through a link.
bool ReachedPath(const char*, int descriptor, std::string& path, int& error) {
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
  char reached[MAX_PATH + 8];
  const DWORD length =
      GetFinalPathNameByHandleA(handle, reached, sizeof reached, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (length == 0 || length >= sizeof reached) {
    error = length == 0 ? ErrnoOf(GetLastError()) : ENAMETOOLONG;
    return false;
  }
  path.assign(reached, length);
  // "\\?\C:\dir\name" names C:\dir\name, which the narrow calls take.
  if (path.compare(0, 4, "\\\\?\\") == 0 && path.size() > 6 && path[5] == ':') path.erase(0, 4);
  return true;
}

// No directory is held open on Windows: names are whole paths.
int OpenDirectory(const std::string&, int&) { return -1; }
void CloseDirectory(int) {}
bool SameFile(int, const std::string&, const StatRecord&) { return true; }

// Opened with delete sharing so that the command's console handler can
// remove the file while this process still has it open.
int CreateNamed(int, const std::string& name, int& error) {
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

int CreateUnnamed(int) { return -1; }
bool Link(int, int, const std::string&, int& error) {
  error = ENOSYS;
  return false;
}
std::FILE* StreamOf(int descriptor) { return _fdopen(descriptor, "wb"); }
void CloseDescriptor(int descriptor) { _close(descriptor); }
// ReplaceFile gives the new file the old one's security and attributes.
void SetOwnerAndMode(int, unsigned, long long, long long) {}

// A replacement takes the old file's security descriptor, attributes and
// streams, so that a private file in a shared folder stays private.
bool Move(int, const std::string& from, const std::string& to, bool replacing, int& error) {
  if (replacing && ReplaceFileA(to.c_str(), from.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                                nullptr, nullptr))
    return true;
  const DWORD flags = MOVEFILE_REPLACE_EXISTING | (replacing ? MOVEFILE_WRITE_THROUGH : 0);
  if (MoveFileExA(from.c_str(), to.c_str(), flags)) return true;
  error = ErrnoOf(GetLastError());
  return false;
}

bool MoveNoReplace(int, const std::string& from, const std::string& to, int& error) {
  if (MoveFileExA(from.c_str(), to.c_str(), 0)) return true;
  error = ErrnoOf(GetLastError());
  return false;
}

// Windows has no flush of a directory; the write-through move stands for it.
bool SyncDirectory(int, int&) { return true; }

void Remove(int, const std::string& name) { DeleteFileA(name.c_str()); }

bool IsTaken(const char* path) {
  struct _stat64 record;
  return _stat64(path, &record) == 0 || IsLink(path);
}
#else
using StatRecord = struct stat;
bool IsRegular(const StatRecord& record) { return S_ISREG(record.st_mode); }
std::uint64_t CurrentProcessId() { return static_cast<std::uint64_t>(getpid()); }
bool IsSeparator(char c) { return c == '/'; }

bool IsLink(const char* path) {
  struct stat record;
  return lstat(path, &record) == 0 && S_ISLNK(record.st_mode);
}

// The kernel follows a link at the path, with its protections against
// links that others planted (fs.protected_symlinks), and judges the right
// to write as it would for any program. Without O_NONBLOCK: a named pipe
// is written when a reader comes, as it would be by a shell.
int OpenThrough(const char* path, int& error) {
  const int descriptor = open(path, O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (descriptor < 0) error = errno;
  return descriptor;
}

bool StatOpen(int descriptor, StatRecord& record) { return fstat(descriptor, &record) == 0; }

// The name of the file that the open through a link reached; checked
// against it once its directory is open.
bool ReachedPath(const char* path, int, std::string& reached, int& error) {
  char* resolved = realpath(path, nullptr);
  if (resolved == nullptr) {
    error = errno != 0 ? errno : ENOENT;
    return false;
  }
  reached = resolved;
  std::free(resolved);
  return true;
}

// A directory the caller may search and write but not list is still held,
// where the system allows it, by a descriptor that names it (O_PATH).
int OpenDirectory(const std::string& prefix, int& error) {
  const char* path = prefix.empty() ? "." : prefix.c_str();
  int descriptor = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
#if defined(O_PATH)
  if (descriptor < 0 && errno == EACCES) descriptor = open(path, O_PATH | O_DIRECTORY | O_CLOEXEC);
#endif
  if (descriptor < 0) error = errno;
  return descriptor;
}

void CloseDirectory(int descriptor) {
  if (descriptor >= 0) close(descriptor);
}

// Whether `name` in `directory` is still the file that was opened.
bool SameFile(int directory, const std::string& name, const StatRecord& opened) {
  struct stat record;
  return fstatat(directory, name.c_str(), &record, AT_SYMLINK_NOFOLLOW) == 0 &&
         record.st_dev == opened.st_dev && record.st_ino == opened.st_ino;
}

// Readable by its owner only while it is written; the final mode comes
// when it is complete.
int CreateNamed(int directory, const std::string& name, int& error) {
  const int descriptor = openat(directory, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
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
// No other user can open it while it has no name.
int CreateUnnamed(int directory) {
#if defined(__linux__) && defined(O_TMPFILE)
  const int descriptor = openat(directory, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
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
bool Link(int descriptor, int directory, const std::string& name, int& error) {
#if defined(__linux__)
  char self[48];
  SelfPath(descriptor, self);
  if (linkat(AT_FDCWD, self, directory, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
  error = errno;
  return false;
#else
  (void)descriptor;
  (void)directory;
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
void SetOwnerAndMode(int descriptor, unsigned mode, long long owner, long long group) {
  if (owner >= 0 && (static_cast<uid_t>(owner) != geteuid() || static_cast<gid_t>(group) != getegid())) {
    if (fchown(descriptor, static_cast<uid_t>(owner), static_cast<gid_t>(group)) != 0)
      (void)fchown(descriptor, static_cast<uid_t>(-1), static_cast<gid_t>(group));
  }
  (void)fchmod(descriptor, static_cast<mode_t>(mode));
}

bool Move(int directory, const std::string& from, const std::string& to, bool, int& error) {
  if (renameat(directory, from.c_str(), directory, to.c_str()) == 0) return true;
  error = errno;
  return false;
}

// One step that fails with EEXIST whenever `to` exists, whenever it came:
// a move that refuses to replace, or where the file system lacks it, a
// second link (which never replaces) and the removal of the first name.
bool MoveNoReplace(int directory, const std::string& from, const std::string& to, int& error) {
#if defined(__linux__) && defined(SYS_renameat2)
  constexpr unsigned kNoReplace = 1;  // RENAME_NOREPLACE
  if (syscall(SYS_renameat2, directory, from.c_str(), directory, to.c_str(), kNoReplace) == 0)
    return true;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
    error = errno;
    return false;
  }
#endif
  if (linkat(directory, from.c_str(), directory, to.c_str(), 0) != 0) {
    error = errno;
    return false;
  }
  unlinkat(directory, from.c_str(), 0);
  return true;
}

// Makes the move itself durable. A directory held without the right to
// read it, or a file system that cannot flush directories, is let pass.
bool SyncDirectory(int directory, int& error) {
  if (fsync(directory) == 0 || errno == EINVAL || errno == ENOTSUP || errno == EBADF) return true;
  error = errno;
  return false;
}

void Remove(int directory, const std::string& name) { unlinkat(directory, name.c_str(), 0); }

bool IsTaken(const char* path) {
  struct stat record;
  return lstat(path, &record) == 0;
}

// The permission bits a new file gets from the process's file creation
// mask. Read, not set and reset, where the system shows it: setting it
// would change it for files other threads create meanwhile.
unsigned NewFileMode() {
#if defined(__linux__)
  if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
    char line[128];
    unsigned mask = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, status) != nullptr)
      found = std::sscanf(line, "Umask: %o", &mask) == 1;
    std::fclose(status);
    if (found) return 0666u & ~mask;
  }
#endif
  const mode_t mask = umask(022);
  umask(mask);
  return 0666u & ~static_cast<unsigned>(mask);
}
#endif

std::atomic<std::uint64_t> g_sequence{0};

// A short name: `prefix`, ".qd-" and six letters or digits, different for
// every call in the process and unlikely to repeat across processes. Names
// are created exclusively, so a repeat only costs another try.
std::string TemporaryName(const std::string& prefix) {
  std::uint64_t x = (g_sequence.fetch_add(1, std::memory_order_relaxed) + 1) * 0x9E3779B97F4A7C15ull;
  x ^= CurrentProcessId() << 40;
  x ^= static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  x ^= x >> 30;
  x *= 0xBF58476D1CE4E5B9ull;
  x ^= x >> 27;
  x *= 0x94D049BB133111EBull;
  x ^= x >> 31;
  static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::string name = prefix + ".qd-";
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
      temporary_(std::exchange(other.temporary_, std::string())),
      directory_(std::exchange(other.directory_, -1)),
      slot_(std::exchange(other.slot_, -1)),
      publish_(other.publish_),
      direct_(other.direct_),
      unnamed_(other.unnamed_),
      replacing_(other.replacing_),
      flushFailed_(other.flushFailed_),
      setMode_(other.setMode_),
      mode_(other.mode_),
      owner_(other.owner_),
      group_(other.group_),
      ledger_(other.ledger_),
      given_(std::move(other.given_)),
      made_(other.made_) {}

OutputFile::~OutputFile() {
  Discard();
  CloseDirectory(directory_);
}

OutputFile OutputFile::Begin(const char* path, int& error, Publish publish, OutputLedger* ledger) {
  OutputFile output;
  output.publish_ = publish;
  error = 0;
  if (path == nullptr || *path == '\0') {
    error = ENOENT;
    return output;
  }
  std::string target = path;
  StatRecord old{};
  if (publish == Publish::kNoReplace) {
    if (IsTaken(path)) {
      error = EEXIST;
      return output;
    }
  } else {
    const int opened = OpenThrough(path, error);
    if (opened < 0) {
      // Nothing there is a new name; a link to nothing is refused, as a file
      // written in its place would lose the link.
      if (error != ENOENT || IsLink(path)) return output;
      error = 0;
    } else {
      if (!StatOpen(opened, old)) {
        error = errno;
        CloseDescriptor(opened);
        return output;
      }
      if (!IsRegular(old)) {
        output.direct_ = true;
        output.file_ = File::Adopt(StreamOf(opened));
        if (!output.file_.IsOpen()) {
          error = errno != 0 ? errno : EMFILE;
          CloseDescriptor(opened);
        }
        return output;
      }
      const bool reached = !IsLink(path) || ReachedPath(path, opened, target, error);
      CloseDescriptor(opened);
      if (!reached) return output;
      output.replacing_ = true;
      output.setMode_ = true;
      output.mode_ = static_cast<unsigned>(old.st_mode) & 07777;
      output.owner_ = static_cast<long long>(old.st_uid);
      output.group_ = static_cast<long long>(old.st_gid);
    }
  }
  std::string prefix = DirectoryPrefix(target);
  if (prefix.size() == target.size()) {
    error = EISDIR;  // a name ending in a separator can only be a directory
    return output;
  }
  output.directory_ = OpenDirectory(prefix, error);
#if !defined(_WIN32)
  if (output.directory_ < 0) return output;
  target.erase(0, prefix.size());
  prefix.clear();
#endif
  output.target_ = target;
  // What is replaced is the file the open reached, and nothing put there
  // since.
  if (output.replacing_ && !SameFile(output.directory_, target, old)) {
    error = EAGAIN;
    return output;
  }

  int descriptor = CreateUnnamed(output.directory_);
  output.unnamed_ = descriptor >= 0;
  for (int attempt = 0; descriptor < 0 && attempt < kNameAttempts; ++attempt) {
    std::string name = TemporaryName(prefix);
    error = CreateRemembered(output.directory_, name, [&] {
      int reason = 0;
      descriptor = CreateNamed(output.directory_, name, reason);
      return reason;
    }, output.slot_);
    if (descriptor >= 0) {
      output.temporary_ = std::move(name);
    } else if (error != EEXIST) {
      return output;
    }
  }
  if (descriptor < 0) return output;
#if !defined(_WIN32)
  if (!output.unnamed_ && !output.setMode_) {
    output.setMode_ = true;
    output.mode_ = NewFileMode();
  }
#endif
  if (ledger != nullptr && OutputLedger::IdentityOf(descriptor, output.made_)) {
    output.ledger_ = ledger;
    output.given_ = path;
  }
  std::FILE* stream = StreamOf(descriptor);
  if (stream == nullptr) {
    error = errno != 0 ? errno : EMFILE;
    CloseDescriptor(descriptor);
    output.Discard();
    return output;
  }
  output.file_ = File::Adopt(stream);
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
  if (setMode_) SetOwnerAndMode(file_.Descriptor(), mode_, owner_, group_);
  const bool wasUnnamed = unnamed_;
  if (unnamed_ && !NameUnnamed(error)) return fail(error);
  const bool atTarget = wasUnnamed && temporary_.empty();
  errno = 0;
  if (!file_.Close()) {
    const int reason = errno;
    if (atTarget) Remove(directory_, target_);
    return fail(reason);
  }
  if (atTarget) return true;
  if (!PutInPlace(error)) return fail(error);
  temporary_.clear();
  ForgetTemporaryName(slot_);
  slot_ = -1;
  if (replacing_ && !SyncDirectory(directory_, error)) {
    flushFailed_ = true;
    return false;
  }
  return true;
}

bool OutputFile::PutInPlace(int& error) {
  return Place([&] {
    if (publish_ == Publish::kNoReplace) return MoveNoReplace(directory_, temporary_, target_, error);
    return Move(directory_, temporary_, target_, replacing_, error);
  }, error);
}

// Takes `step`, which puts the file at the target; with a ledger, only
// where no file of the ledger stands, and the file is then kept in it.
// Check, step and record are one under the ledger's lock, so that of two
// saves that land on one file the second always sees the first.
template <typename Step>
bool OutputFile::Place(Step step, int& error) {
  if (ledger_ == nullptr) return step();
  std::lock_guard<std::mutex> lock(ledger_->mutex_);
  if (ledger_->Holds(directory_, target_)) {
    error = EEXIST;
    return false;
  }
  if (!step()) return false;
  try {
    ledger_->files_[made_] = given_;
  } catch (...) {
    // Only memory can run out here; the picture is in place all the same.
  }
  return true;
}

// A new name is linked straight at the target, so nothing else ever
// appears; a replacement gets a temporary name to move over the target.
bool OutputFile::NameUnnamed(int& error) {
  const int descriptor = file_.Descriptor();
  if (!replacing_) {
    if (Place([&] { return Link(descriptor, directory_, target_, error); }, error)) {
      unnamed_ = false;
      return true;
    }
    // Another file took the name meanwhile: it is replaced, unless
    // nothing may be.
    if (error != EEXIST || publish_ == Publish::kNoReplace) return false;
  }
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    std::string name = TemporaryName("");
    error = CreateRemembered(directory_, name, [&] {
      int reason = 0;
      return Link(descriptor, directory_, name, reason) ? 0 : reason;
    }, slot_);
    if (error == 0) {
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
    Remove(directory_, temporary_);
    temporary_.clear();
  }
  ForgetTemporaryName(slot_);
  slot_ = -1;
}

}  // namespace quendral
