#include "platform/runtime.h"

#include <cmath>
#include <cstdio>

namespace quendral {

double Floor(double value) { return std::floor(value); }

double Ceiling(double value) { return std::ceil(value); }

char ToUpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

int FormatInto(char* buffer, std::size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int needed = std::vsnprintf(buffer, size, format, args);
  va_end(args);
  return needed;
}

}  // namespace quendral
