// Runs a streaming job from the command's IN to its OUT and turns its
// outcome into the command's exit status and one-line report.
#pragma once

#include <functional>
#include <string>

#include "export/mark_job.h"

namespace quendral::cli {

using StreamedJob = std::function<MarkJobResult(File& input, MarkOutput& output)>;

// IN ("-": standard input) through `job` to OUT ("-": standard output,
// written straight; else a file that a complete picture replaces). Gives
// the exit status; a failure has been reported in one line.
int RunStreamedJob(const std::string& in, const std::string& out, const StreamedJob& job);

}  // namespace quendral::cli
