// The subcommands of the quendral program and what they share.
#pragma once

#include <string>
#include <vector>

namespace quendral::cli {

// Exit codes, as documented in --help.
enum ExitCode : int {
  kExitOk = 0,
  kExitInputNotLoaded = 1,  // also: the file to inspect cannot be opened
  kExitUsage = 2,
  kExitOutputNotWritten = 3,
};

using Arguments = std::vector<std::string>;  // operands after the command name

int RunMark(const Arguments& args);
int RunInfo(const Arguments& args);
int RunScale(const Arguments& args);

// Prints "quendral: <message>" on stderr.
void PrintError(const std::string& message);
// A usage error: the message, a pointer to --help, and kExitUsage.
int UsageError(const std::string& message);

// Why `path` did not load, in a user's words (for "cannot read ..." lines
// and "<path>: not a BMP file").
std::string ExplainLoadFailure(const std::string& path);
// Why a save failed, as the tail of "cannot write <path>: ...".
std::string ExplainSaveFailure(int outcome, int systemError);

}  // namespace quendral::cli
