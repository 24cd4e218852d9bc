#include <cerrno>
#include <cstdlib>
#include <limits>

#include "commands.h"
#include "image/bitmap_image.h"
#include "ops/diagnostics.h"
#include "ops/rescale.h"

namespace quendral::cli {
namespace {

bool ParseInt(const std::string& text, int& value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long long parsed = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || parsed < std::numeric_limits<int>::min() ||
      parsed > std::numeric_limits<int>::max())
    return false;
  value = static_cast<int>(parsed);
  return true;
}

std::string WithoutTrailingNewline(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

}  // namespace

int RunScale(const Arguments& args) {
  if (args.size() != 4) return UsageError("scale takes four operands: IN OUT MODE VALUE");
  const std::string& in = args[0];
  const std::string& out = args[1];
  if (args[2].empty()) return UsageError("MODE must not be empty");
  int value = 0;
  if (!ParseInt(args[3], value))
    return UsageError("VALUE must be a whole number, not '" + args[3] + "'");

  BitmapImage image;
  if (!image.Load(in.c_str())) {
    PrintError(ExplainLoadFailure(in));
    return kExitInputNotLoaded;
  }
  ClearLastDiagnostic();
  if (!ScaleImage(image, args[2][0], value)) {
    const std::string diagnostic = WithoutTrailingNewline(LastDiagnostic());
    if (!diagnostic.empty()) {
      PrintError(diagnostic);
    } else {
      PrintError("cannot scale " + in + ": the new size is too large, or memory ran out");
    }
    return kExitUsage;
  }
  const SaveStatus status = image.SaveWithStatus(out.c_str());
  if (!status.ok()) {
    PrintError("cannot write " + out + ": " +
               ExplainSaveFailure(static_cast<int>(status.outcome), status.systemError));
    return kExitOutputNotWritten;
  }
  return kExitOk;
}

}  // namespace quendral::cli
