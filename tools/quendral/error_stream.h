// Standard error shared by the threads of a batch: whole lines only, and a
// progress line redrawn in place that an error line never lands inside.
#pragma once

#include <string>

namespace quendral::cli {

// Writes `line` and a newline, first wiping a progress line if one is shown.
void WriteErrorLine(const std::string& line);
// Shows `text` as the progress line, replacing the one before.
void DrawProgressLine(const std::string& text);
// Wipes the progress line, if one is shown.
void ClearProgressLine();

}  // namespace quendral::cli
