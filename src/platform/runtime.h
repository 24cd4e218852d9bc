// Arithmetic and text services with the exact results the library relies on.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace quendral {

double Floor(double value);
double Ceiling(double value);

// Letters a to z become A to Z; every other value comes back unchanged,
// whatever the locale.
char ToUpperAscii(char c);

// printf-style formatting into a caller's buffer of `size` characters,
// always terminated; the number of characters the full text needs.
int FormatInto(char* buffer, std::size_t size, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

}  // namespace quendral
