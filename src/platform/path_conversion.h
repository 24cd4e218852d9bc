// Host paths (UTF-16) turned into the narrow paths that files are opened by.
#pragma once

#include <cstdint>
#include <string>

namespace quendral {

#if defined(_WIN32)
using HostPathChar = wchar_t;
#else
using HostPathChar = char16_t;
#endif

// Holds the narrow form of a host path for as long as it lives. Windows
// converts to the ANSI code page; elsewhere UTF-16 becomes UTF-8. A null
// path, and a path that cannot be converted without changing what it names
// (a lone surrogate, a character the code page lacks), give a null c_str(),
// so that opening it fails rather than opening some other file.
class NarrowPath {
 public:
  explicit NarrowPath(const HostPathChar* wide);
  const char* c_str() const { return valid_ ? text_.c_str() : nullptr; }

 private:
  std::string text_;
  bool valid_ = false;
};

// UTF-16 to UTF-8; false for a malformed string (a lone surrogate).
bool Utf16ToUtf8(const char16_t* text, std::string& out);

}  // namespace quendral
