#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <limits>

#include "commands.h"
#include "operands.h"
#include "ops/diagnostics.h"
#include "ops/scale_job.h"

namespace quendral::cli {
namespace {

std::string Lowered(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The rescale letter for a MODE operand: a letter in either case or its
// word; 0 for anything else.
char ParseMode(const std::string& text) {
  static const struct {
    const char* word;
    char letter;
  } kModes[] = {{"percent", 'P'}, {"width", 'W'}, {"height", 'H'}, {"fit", 'F'}};
  const std::string lowered = Lowered(text);
  for (const auto& mode : kModes) {
    if (lowered == mode.word) return mode.letter;
    if (lowered.size() == 1 && lowered[0] == std::tolower(mode.letter)) return mode.letter;
  }
  return 0;
}

enum class Parsed { kOk, kNotANumber, kOutOfRange };

Parsed ParseInt(const std::string& text, int& value) {
  const bool digits = !text.empty() && std::isdigit(static_cast<unsigned char>(text.back()));
  errno = 0;
  char* end = nullptr;
  const long long parsed = std::strtoll(text.c_str(), &end, 10);
  if (!digits || *end != '\0' || std::isspace(static_cast<unsigned char>(text[0])))
    return Parsed::kNotANumber;
  if (errno == ERANGE || parsed < std::numeric_limits<int>::min() ||
      parsed > std::numeric_limits<int>::max())
    return Parsed::kOutOfRange;
  value = static_cast<int>(parsed);
  return Parsed::kOk;
}

std::string WithoutTrailingNewline(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

}  // namespace

int RunScale(const Arguments& args, const Options& options) {
  if (options.json) return UsageError("--json applies to info only");
  if (options.jobsGiven || options.quiet) return UsageError("-j and -q apply to mark only");
  if (args.size() != 4) return UsageError("scale takes four operands: IN OUT MODE VALUE");
  const std::string& in = args[0];
  const std::string& out = args[1];
  if (in.empty() || out.empty()) return EmptyOperandError();
  const char mode = ParseMode(args[2]);
  if (mode == 0)
    return UsageError("unknown scale mode '" + args[2] +
                      "': use P, W, H or F (either case), or percent, width, height or fit");
  int value = 0;
  switch (ParseInt(args[3], value)) {
    case Parsed::kOk: break;
    case Parsed::kNotANumber:
      return UsageError("VALUE must be a whole number, not '" + args[3] + "'");
    case Parsed::kOutOfRange:
      return UsageError("VALUE " + args[3] + " is out of range (" +
                        std::to_string(std::numeric_limits<int>::min()) + " to " +
                        std::to_string(std::numeric_limits<int>::max()) + ")");
  }
  for (const std::string& refusal : {CheckInputOperand(in), CheckOutputOperand(out)})
    if (!refusal.empty()) return UsageError(refusal);
  const int settled = SettleOutputEarly(out, options.noClobber);
  if (settled >= 0) return settled;

  PictureInput input(in);
  if (!input.IsOpen()) {
    PrintError(input.Explain());
    return kExitInputNotLoaded;
  }
  ClearLastDiagnostic();
  ScaleJobResult result;
  if (IsStandardStream(out)) {
    File standardOutput = OpenStandardOutput();
    DirectOutput output(standardOutput);
    result = StreamScaleJob(input.file(), output, mode, value);
  } else {
    // As for mark: with -n the picture is put in place by a step that
    // fails on an existing name.
    ReplacingOutput output([&] { return out.c_str(); }, options.noClobber
                                                            ? OutputFile::Publish::kNoReplace
                                                            : OutputFile::Publish::kReplace);
    result = StreamScaleJob(input.file(), output, mode, value);
  }
  if (!result.loaded) {
    PrintError(input.Explain());
    return kExitInputNotLoaded;
  }
  if (!result.scaled) {
    const std::string diagnostic = WithoutTrailingNewline(LastDiagnostic());
    if (!diagnostic.empty()) {
      PrintError(diagnostic);
    } else {
      PrintError("cannot scale " + InputName(in) + ": the new size is too large, or memory ran out");
    }
    return kExitUsage;
  }
  if (!result.written && options.noClobber && result.save.systemError == EEXIST) {
    PrintError(out + " exists; not replaced");
    return kExitOk;
  }
  if (!result.written) {
    const SaveStatus& status = result.save;
    PrintError("cannot write " + OutputName(out) + ": " +
               ExplainSaveFailure(static_cast<int>(status.outcome), status.systemError));
    return kExitOutputNotWritten;
  }
  return kExitOk;
}

}  // namespace quendral::cli
