// What the command's file operands name, and the checks made on them
// before any picture is read: "-" for the standard streams, output
// directories, files that must not be replaced.
#pragma once

#include <string>

#include "platform/file.h"

namespace quendral::cli {

inline bool IsStandardStream(const std::string& operand) { return operand == "-"; }

// How a file operand is named in messages.
std::string InputName(const std::string& operand);
std::string OutputName(const std::string& operand);

// Refusals of the standard streams, found before anything is read: a
// terminal, where no picture is typed and none should be shown. Empty when
// the operand is fine.
std::string CheckInputOperand(const std::string& operand);
std::string CheckOutputOperand(const std::string& operand);

// A picture's input: the named file, or standard input (in binary mode)
// for "-". The first bytes are kept, so that a failed load is explained
// from the headers that were read: a pipe cannot be read twice, and a file
// opened again by name may by then be another.
class PictureInput {
 public:
  explicit PictureInput(const std::string& operand);
  // False when the file cannot be opened; Explain() then says why.
  bool IsOpen() const { return file_.IsOpen(); }
  File& file() { return file_; }
  // Why the picture did not load, as one line for PrintError.
  std::string Explain() const;

 private:
  std::string operand_;
  File file_;
  int openError_ = 0;  // why the file did not open
  int readError_ = 0;  // why its first bytes could not be read
  unsigned char head_[256];
  std::size_t headSize_ = 0;
};

// Standard output in binary mode, written straight.
File OpenStandardOutput();
// Hands on what was printed on standard output: `status` when every byte
// went out, else the failure is reported and the status is 3.
int FinishStandardOutput(int status);

// Why no file can be made in `directory` (missing, not a directory, not
// writable), in the system's words; empty when one can.
std::string DirectoryProblem(const std::string& directory);
// Why nothing can be written at `path`, found without writing: its
// directory is missing, is not a directory or is not writable. Empty when
// none of that is so.
std::string OutputDirectoryProblem(const std::string& path);
// Whether a directory entry exists at `path` (a dangling link included).
bool Exists(const std::string& path);
// What is settled about OUT before any file is read: with `noClobber` an
// existing OUT is left alone (said on standard error, status 0), and a
// directory that cannot take OUT is status 3, reported. -1 when the
// command goes on. Standard output always goes on.
int SettleOutputEarly(const std::string& out, bool noClobber);
bool IsDirectory(const std::string& path);
// The last component of a path, as `cp` names a file it copies into a directory.
std::string BaseName(const std::string& path);
// The size of a regular file, 0 when it is none.
long long FileSize(const std::string& path);
// Whether standard error is a terminal.
bool StandardErrorIsTerminal();

}  // namespace quendral::cli
