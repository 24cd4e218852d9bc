#include "error_stream.h"

#include <cstdio>
#include <mutex>

namespace quendral::cli {
namespace {

std::mutex g_stderr;
bool g_progressShown = false;

// Back to the start of the line and wipe it (a carriage return and the
// terminal's erase-to-end-of-line).
void WipeLocked() {
  if (!g_progressShown) return;
  std::fputs("\r\033[K", stderr);
  g_progressShown = false;
}

}  // namespace

void WriteErrorLine(const std::string& line) {
  std::lock_guard<std::mutex> lock(g_stderr);
  WipeLocked();
  std::fprintf(stderr, "%s\n", line.c_str());
}

void DrawProgressLine(const std::string& text) {
  std::lock_guard<std::mutex> lock(g_stderr);
  std::fprintf(stderr, "\r%s\033[K", text.c_str());
  std::fflush(stderr);
  g_progressShown = true;
}

void ClearProgressLine() {
  std::lock_guard<std::mutex> lock(g_stderr);
  WipeLocked();
  std::fflush(stderr);
}

}  // namespace quendral::cli
