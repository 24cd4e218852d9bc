// The subcommands of the quendral program and what they share.
#pragma once

#include <string>
#include <vector>

namespace quendral {
class File;
}

namespace quendral::cli {

// Exit codes, as documented in --help.
enum ExitCode : int {
  kExitOk = 0,
  kExitInputNotLoaded = 1,  // also: info's file cannot be opened, is not a BMP, or is cut short
  kExitUsage = 2,
  kExitOutputNotWritten = 3,
};

using Arguments = std::vector<std::string>;  // operands after the command name

// The options, wherever they stood before "--". Each command refuses the
// ones that do not apply to it.
struct Options {
  int jobs = 0;  // 0: as many as there are processors
  bool jobsGiven = false;
  bool quiet = false;
  bool noClobber = false;
  bool json = false;
  bool grey = false;  // convert: the grey table
};

int RunMark(const Arguments& args, const Options& options);
int RunInfo(const Arguments& args, const Options& options);
int RunScale(const Arguments& args, const Options& options);
int RunConvert(const Arguments& args, const Options& options);

// Prints "quendral: <message>" on stderr.
void PrintError(const std::string& message);
// A usage error: the message, a pointer to --help, and kExitUsage.
int UsageError(const std::string& message);
// The usage error for an empty file operand, which names no file.
int EmptyOperandError();

// Why the file whose headers `file` gives from its first byte did not
// load, in a user's words, naming it `name` (for "cannot read ..." lines
// and "<name>: not a BMP file").
std::string ExplainLoadFailure(const std::string& name, File& file);
// Why a save failed, as the tail of "cannot write <path>: ...".
std::string ExplainSaveFailure(int outcome, int systemError);

}  // namespace quendral::cli
