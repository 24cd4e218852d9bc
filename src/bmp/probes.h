// Looks at a BMP file's headers without reading its pixels. The probes
// report what stands in the file and judge nothing.
#pragma once

#include "bmp/headers.h"

namespace quendral {

// bfType 0 means that the file could not be opened. Fields beyond the end
// of a short file keep their defaults.
FileHeader ReadFileHeader(const char* path);
// Defaults only when the file cannot be opened.
InfoHeader ReadInfoHeader(const char* path);
// Reads both headers and hands them to their Display, which shows nothing.
void ShowHeaders(const char* path);
// The file's biBitCount (0 when the file cannot be opened).
int FileBitDepth(const char* path);

}  // namespace quendral
