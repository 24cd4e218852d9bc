#include "streamed_job.h"

#include <cerrno>

#include "commands.h"
#include "operands.h"

namespace quendral::cli {

int RunStreamedJob(const std::string& in, const std::string& out, const Publishing& publishing,
                   const StreamedJob& job) {
  PictureInput input(in);
  if (!input.IsOpen()) {
    PrintError(input.Explain());
    return kExitInputNotLoaded;
  }
  JobResult result;
  if (IsStandardStream(out)) {
    File standardOutput = OpenStandardOutput();
    DirectOutput output(standardOutput);
    result = job(input.file(), output);
  } else {
    ReplacingOutput output(
        [&] { return out.c_str(); },
        publishing.noClobber ? OutputFile::Publish::kNoReplace : OutputFile::Publish::kReplace,
        publishing.ledger);
    result = job(input.file(), output);
  }
  if (!result.loaded) {
    PrintError(input.Explain());
    return kExitInputNotLoaded;
  }
  if (!result.written && result.save.systemError == EEXIST) {
    if (publishing.reportedAsTaken && publishing.reportedAsTaken()) return kExitOutputNotWritten;
    if (publishing.noClobber) {
      PrintError(out + " exists; not replaced");
      return kExitOk;
    }
  }
  if (!result.written) {
    PrintError("cannot write " + OutputName(out) + ": " +
               ExplainSaveFailure(static_cast<int>(result.save.outcome), result.save.systemError));
    return kExitOutputNotWritten;
  }
  return kExitOk;
}

}  // namespace quendral::cli
