#include <cerrno>
#include <map>
#include <thread>

#include "batch.h"
#include "commands.h"
#include "export/mark_job.h"
#include "platform/output_ledger.h"
#include "operands.h"
#include "streamed_job.h"

namespace quendral::cli {
namespace {

// What the files of one batch share: the outputs they put in place, and
// the input each output comes from.
struct BatchOutputs {
  OutputLedger ledger;
  std::map<std::string, std::string> inputOf;
};

// Whether the file at `out` is one that another input of the batch wrote,
// through another name of the same file; reported if so.
bool ReportedAsTaken(const std::string& out, BatchOutputs* batch) {
  if (batch == nullptr) return false;
  const std::string other = batch->ledger.WrittenAs(out);
  const auto from = batch->inputOf.find(other);
  if (from == batch->inputOf.end()) return false;
  PrintError("cannot write " + out + ": it is the file already written as " + other + " from " +
             from->second);
  return true;
}

// Marks one picture; the status is the command's exit code for it, and a
// failure has been reported in one line. In a batch, an output never
// replaces another of the batch's outputs.
int MarkOne(const std::string& in, const std::string& out, bool noClobber,
            BatchOutputs* batch = nullptr) {
  if (noClobber && !IsStandardStream(out) && Exists(out)) {
    if (ReportedAsTaken(out, batch)) return kExitOutputNotWritten;
    PrintError(out + " exists; not replaced");
    return kExitOk;
  }
  Publishing publishing;
  publishing.noClobber = noClobber;
  if (batch != nullptr) {
    publishing.ledger = &batch->ledger;
    publishing.reportedAsTaken = [&] { return ReportedAsTaken(out, batch); };
  }
  return RunStreamedJob(in, out, publishing, [](File& input, PictureOutput& output) {
    return StreamMarkJob(input, output);
  });
}

std::string InDirectory(const std::string& directory, const std::string& name) {
  const char last = directory.back();
  const bool separated = last == '/'
#if defined(_WIN32)
                         || last == '\\'
#endif
      ;
  return separated ? directory + name : directory + "/" + name;
}

int MarkIntoDirectory(const Arguments& args, const Options& options) {
  const std::string& directory = args.back();
  if (IsStandardStream(directory))
    return UsageError("with several inputs the last operand must be a directory, not '-'");
  std::vector<BatchItem> items;
  BatchOutputs outputs;
  std::map<std::string, std::string> inputByName;
  for (std::size_t k = 0; k + 1 < args.size(); ++k) {
    const std::string& in = args[k];
    if (IsStandardStream(in))
      return UsageError("standard input ('-') cannot be one of several inputs");
    const std::string name = BaseName(in);
    const auto [seen, added] = inputByName.emplace(name, in);
    if (!added)
      return UsageError(seen->second + " and " + in + " would both be written as " +
                        InDirectory(directory, name));
    items.push_back({in, InDirectory(directory, name)});
    outputs.inputOf[items.back().output] = in;
  }
  // The directory is checked before any picture is read, so that a
  // mistyped name costs nothing and leaves nothing half done.
  const std::string problem = DirectoryProblem(directory);
  if (!problem.empty()) {
    PrintError("cannot write into " + directory + ": " + problem);
    return kExitOutputNotWritten;
  }
  int jobs = options.jobs;
  if (jobs == 0) jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  const bool showProgress = !options.quiet && StandardErrorIsTerminal();
  return RunBatch(items, jobs, showProgress, [&](const BatchItem& item) {
    // Nothing may escape a thread of the batch; only running out of memory can.
    try {
      return MarkOne(item.input, item.output, options.noClobber, &outputs);
    } catch (...) {
      PrintError("cannot mark " + item.input + ": out of memory");
      return static_cast<int>(kExitInputNotLoaded);
    }
  });
}

}  // namespace

int RunMark(const Arguments& args, const Options& options) {
  if (options.json) return UsageError("--json applies to info only");
  if (args.size() < 2) return UsageError("mark takes IN OUT, or IN... DIR");
  for (const std::string& operand : args)
    if (operand.empty()) return EmptyOperandError();
  const std::string& last = args.back();
  if (args.size() > 2 || (!IsStandardStream(last) && IsDirectory(last)))
    return MarkIntoDirectory(args, options);

  const std::string& in = args[0];
  const std::string& out = args[1];
  for (const std::string& refusal : {CheckInputOperand(in), CheckOutputOperand(out)})
    if (!refusal.empty()) return UsageError(refusal);
  const int settled = SettleOutputEarly(out, options.noClobber);
  if (settled >= 0) return settled;
  return MarkOne(in, out, options.noClobber);
}

}  // namespace quendral::cli
