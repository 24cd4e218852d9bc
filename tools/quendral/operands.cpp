#include "operands.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "commands.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace quendral::cli {
namespace {

#if defined(_WIN32)
bool IsTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }
// Without this the C runtime would turn every byte 10 into 13 10 on the way
// out, and stop reading at the first byte 26.
void SetBinary(std::FILE* stream) { _setmode(_fileno(stream), _O_BINARY); }
bool MayWriteIn(const std::string& directory) { return _access(directory.c_str(), 2) == 0; }
bool IsSeparator(char c) { return c == '/' || c == '\\'; }
#else
bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }
void SetBinary(std::FILE*) {}
// Judged with the effective user's rights, as creating the file would be.
bool MayWriteIn(const std::string& directory) {
  return faccessat(AT_FDCWD, directory.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}
bool IsSeparator(char c) { return c == '/'; }
#endif

bool IsDirectoryMode(unsigned mode) { return (mode & S_IFMT) == S_IFDIR; }

// stat() on Windows refuses a directory named with a separator at its end.
int StatPath(std::string path, struct stat* record) {
#if defined(_WIN32)
  while (path.size() > 1 && IsSeparator(path.back()) && path[path.size() - 2] != ':') path.pop_back();
#endif
  return stat(path.c_str(), record);
}

// The directory that holds `path`: "." for a bare name.
std::string DirectoryOf(const std::string& path) {
  std::size_t end = path.size();
  while (end > 0 && !IsSeparator(path[end - 1])) --end;
  if (end == 0) return ".";
  std::size_t keep = end;
  while (keep > 1 && IsSeparator(path[keep - 1])) --keep;  // "a//b" names a/b; "/b" keeps "/"
  return path.substr(0, keep);
}

}  // namespace

std::string InputName(const std::string& operand) {
  return IsStandardStream(operand) ? "standard input" : operand;
}

std::string OutputName(const std::string& operand) {
  return IsStandardStream(operand) ? "standard output" : operand;
}

std::string CheckInputOperand(const std::string& operand) {
  if (IsStandardStream(operand) && IsTerminal(stdin))
    return "will not read a picture from a terminal; redirect standard input";
  return "";
}

std::string CheckOutputOperand(const std::string& operand) {
  if (IsStandardStream(operand) && IsTerminal(stdout))
    return "will not write a picture to a terminal; redirect standard output";
  return "";
}

PictureInput::PictureInput(const std::string& operand) : operand_(operand) {
  errno = 0;
  if (IsStandardStream(operand)) {
    SetBinary(stdin);
    file_ = File::Adopt(stdin);
  } else {
    file_ = File::Open(operand.c_str(), "rb");
  }
  if (!file_.IsOpen()) {
    openError_ = errno != 0 ? errno : ENOENT;
    return;
  }
  errno = 0;
  headSize_ = file_.Read(head_, 1, sizeof head_);
  // A directory opens for reading on some systems and fails here.
  if (headSize_ < sizeof head_ && !file_.AtEnd()) readError_ = errno != 0 ? errno : EIO;
  file_.PutBack(head_, headSize_);
}

std::string PictureInput::Explain() const {
  const std::string name = InputName(operand_);
  const int error = openError_ != 0 ? openError_ : readError_;
  if (error != 0) return "cannot read " + name + ": " + std::strerror(error);
  File head;
  head.PutBack(head_, headSize_);
  return ExplainLoadFailure(name, head);
}

File OpenStandardOutput() {
  SetBinary(stdout);
  return File::Adopt(stdout);
}

int FinishStandardOutput(int status) {
  // Output longer than the stream's buffer fails while it is printed, and
  // the reason is in errno from then on: the flush has nothing left to try.
  const int earlier = std::ferror(stdout) != 0 ? errno : 0;
  errno = 0;
  const bool failed = std::fflush(stdout) != 0 || std::ferror(stdout) != 0;
  if (!failed) return status;
  const int error = errno != 0 ? errno : earlier != 0 ? earlier : EIO;
  PrintError(std::string("cannot write standard output: ") + std::strerror(error));
  return kExitOutputNotWritten;
}

std::string DirectoryProblem(const std::string& directory) {
  struct stat record {};
  if (StatPath(directory, &record) != 0) return std::strerror(errno);
  if (!IsDirectoryMode(record.st_mode)) return std::strerror(ENOTDIR);
  errno = 0;
  if (!MayWriteIn(directory)) return std::strerror(errno != 0 ? errno : EACCES);
  return "";
}

std::string OutputDirectoryProblem(const std::string& path) {
  std::string directory = DirectoryOf(path);
#if !defined(_WIN32)
  // A link at OUT is written through: the file it names is replaced in
  // that file's own directory.
  struct stat record {};
  if (lstat(path.c_str(), &record) == 0 && S_ISLNK(record.st_mode)) {
    if (char* reached = realpath(path.c_str(), nullptr)) {
      directory = DirectoryOf(reached);
      std::free(reached);
    }
  }
#endif
  const std::string problem = DirectoryProblem(directory);
  return problem.empty() ? problem : "directory " + directory + ": " + problem;
}

int SettleOutputEarly(const std::string& out, bool noClobber) {
  if (IsStandardStream(out)) return -1;
  if (noClobber && Exists(out)) {
    PrintError(out + " exists; not replaced");
    return kExitOk;
  }
  const std::string problem = OutputDirectoryProblem(out);
  if (problem.empty()) return -1;
  PrintError("cannot write " + out + ": " + problem);
  return kExitOutputNotWritten;
}

bool Exists(const std::string& path) {
  struct stat record {};
#if defined(_WIN32)
  return stat(path.c_str(), &record) == 0;
#else
  return lstat(path.c_str(), &record) == 0;
#endif
}

bool IsDirectory(const std::string& path) {
  struct stat record {};
  return StatPath(path, &record) == 0 && IsDirectoryMode(record.st_mode);
}

std::string BaseName(const std::string& path) {
  std::size_t end = path.size();
  while (end > 1 && IsSeparator(path[end - 1])) --end;
  std::size_t start = end;
  while (start > 0 && !IsSeparator(path[start - 1])) --start;
  return path.substr(start, end - start);
}

long long FileSize(const std::string& path) {
  struct stat record {};
  if (stat(path.c_str(), &record) != 0 || (record.st_mode & S_IFMT) != S_IFREG) return 0;
  return static_cast<long long>(record.st_size);
}

bool StandardErrorIsTerminal() { return IsTerminal(stderr); }

}  // namespace quendral::cli
