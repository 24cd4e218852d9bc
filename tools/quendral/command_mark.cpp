#include "commands.h"
#include "export/mark_job.h"

namespace quendral::cli {

int RunMark(const Arguments& args) {
  if (args.size() != 2) return UsageError("mark takes two operands: IN OUT");
  const std::string& in = args[0];
  const std::string& out = args[1];
  const MarkJobResult result = RunMarkJob(in.c_str(), [&] { return out.c_str(); });
  if (!result.loaded) {
    PrintError(ExplainLoadFailure(in));
    return kExitInputNotLoaded;
  }
  if (!result.written) {
    PrintError("cannot write " + out + ": " +
               ExplainSaveFailure(static_cast<int>(result.save.outcome), result.save.systemError));
    return kExitOutputNotWritten;
  }
  return kExitOk;
}

}  // namespace quendral::cli
