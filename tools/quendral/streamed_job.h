// Runs a streaming job from the command's IN to its OUT and turns its
// outcome into the command's exit status and one-line report.
#pragma once

#include <functional>
#include <string>

#include "bmp/picture_output.h"
#include "platform/output_ledger.h"

namespace quendral::cli {

using StreamedJob = std::function<JobResult(File& input, PictureOutput& output)>;

// How a file OUT is put in place.
struct Publishing {
  // Never replace an existing OUT, not even one that appears during the
  // save: the finished picture goes in by a step that fails on a name.
  bool noClobber = false;
  // A batch's outputs, none of which a save may replace.
  OutputLedger* ledger = nullptr;
  // When a save found OUT taken: whether it is another output of the
  // batch, reported as such.
  std::function<bool()> reportedAsTaken;
};

// IN ("-": standard input) through `job` to OUT ("-": standard output,
// written straight; else a file that a complete picture replaces). Gives
// the exit status; a failure has been reported in one line.
int RunStreamedJob(const std::string& in, const std::string& out, const Publishing& publishing,
                   const StreamedJob& job);

}  // namespace quendral::cli
