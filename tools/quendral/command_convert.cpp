#include <string>

#include "commands.h"
#include "operands.h"
#include "streamed_job.h"
#include "ops/convert_job.h"

namespace quendral::cli {
namespace {

// The DEPTH operand: exactly one of the depths a picture is saved at.
bool ParseDepth(const std::string& text, int& depth) {
  for (const int d : {1, 4, 8, 16, 24, 32}) {
    if (text == std::to_string(d)) {
      depth = d;
      return true;
    }
  }
  return false;
}

}  // namespace

int RunConvert(const Arguments& args, const Options& options) {
  if (options.json) return UsageError("--json applies to info only");
  if (options.jobsGiven || options.quiet) return UsageError("-j and -q apply to mark only");
  if (args.size() != 3) return UsageError("convert takes three operands: IN OUT DEPTH");
  const std::string& in = args[0];
  const std::string& out = args[1];
  ConvertTarget target;
  target.grey = options.grey;
  if (!ParseDepth(args[2], target.depth))
    return UsageError("unknown DEPTH '" + args[2] + "': use 1, 4, 8, 16, 24 or 32");
  if (!IsValidConvertTarget(target))
    return UsageError("--grey applies to DEPTH 1, 4 and 8 only, not " + args[2]);
  for (const std::string& refusal : {CheckInputOperand(in), CheckOutputOperand(out)})
    if (!refusal.empty()) return UsageError(refusal);
  const int settled = SettleOutputEarly(out, options.noClobber);
  if (settled >= 0) return settled;

  Publishing publishing;
  publishing.noClobber = options.noClobber;
  return RunStreamedJob(in, out, publishing, [&](File& input, PictureOutput& output) {
    return StreamConvertJob(input, output, target);
  });
}

}  // namespace quendral::cli
