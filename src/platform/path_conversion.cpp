#include "platform/path_conversion.h"

#if defined(_WIN32)
#include <windows.h>

#include <cwchar>
#endif

namespace quendral {

bool Utf16ToUtf8(const char16_t* text, std::string& out) {
  out.clear();
  for (const char16_t* p = text; *p != 0; ++p) {
    std::uint32_t code = *p;
    if (code >= 0xD800 && code <= 0xDBFF) {
      const std::uint32_t low = p[1];
      if (low < 0xDC00 || low > 0xDFFF) return false;
      code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
      ++p;
    } else if (code >= 0xDC00 && code <= 0xDFFF) {
      return false;
    }
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return true;
}

#if defined(_WIN32)
NarrowPath::NarrowPath(const HostPathChar* wide) {
  if (wide == nullptr) return;
  const std::size_t n = std::wcslen(wide);
  // The ANSI code page is UTF-8 where the system or the host's manifest
  // says so. UTF-8 holds every character but takes up to three bytes for
  // one UTF-16 unit, and it refuses to report stand-ins (the conversion
  // fails when asked to), so malformed text is refused outright instead.
  const bool utf8 = GetACP() == CP_UTF8;
  const std::size_t room = (n + 1) * (utf8 ? 3 : 2);
  // The first byte 0, so that a failed conversion leaves an empty path.
  text_.assign(room, '\0');
  BOOL usedDefault = FALSE;
  const int written = WideCharToMultiByte(
      CP_ACP, utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS, wide, -1, &text_[0],
      static_cast<int>(room), nullptr, utf8 ? nullptr : &usedDefault);
  // A character that the code page lacks would be replaced by a stand-in,
  // or by a look-alike ("best fit": a full-width a becomes a), and could
  // name a different file; such a path is not opened at all. Without best
  // fit every such character becomes the default one, which is reported.
  valid_ = written > 0 && !usedDefault;
  text_.resize(std::char_traits<char>::length(text_.c_str()));
}
#else
NarrowPath::NarrowPath(const HostPathChar* wide) {
  if (wide == nullptr) return;
  valid_ = Utf16ToUtf8(wide, text_);
}
#endif

}  // namespace quendral
