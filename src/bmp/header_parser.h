// The one reading of a BMP file's headers that the reader, the streaming
// job, the probes' users and the command's explanations all share: the
// sixteen fields, the verdict on them, and where the colour table, the
// masks and the pixels stand.
#pragma once

#include <cstdint>

#include "bmp/headers.h"

namespace quendral {

class File;

struct BmpHeaders {
  FileHeader file;
  InfoHeader info;
  bool complete = false;  // all sixteen fields arrived
};

// The reader's verdict, in the order it judges.
enum class HeaderVerdict {
  kAccepted,
  kNotBmp,          // the signature is not "BM"
  kCutShort,        // the file ends inside the headers
  kUnsupportedKind, // compression, bit count, or a header layout not read
  kNotPositive,     // width or height 0 or negative (negative: top-down)
  kTooLarge,        // more pixels than an image holds, or a row of 2^31 bits
};

// Reads bfType and, when it is the signature, the fifteen other fields,
// each with its own read, all of them even after one failed.
void ReadHeaders(File& file, BmpHeaders& headers);

// Judges headers as the reader does. The resolution of a file refused for
// its kind or size is still the file's; that of one cut short is not.
HeaderVerdict JudgeHeaders(const BmpHeaders& headers);

// What lies between the 54 bytes of headers and the pixel rows.
struct PixelDataLayout {
  // Bytes of a longer info header to pass over before the colour table
  // (0 when the table is taken to follow the 54 bytes directly).
  std::uint32_t headerRest = 0;
  // Colour-table entries the file gives (1, 4 and 8 bits only).
  int tableEntries = 0;
  // Bytes to pass over after the table or the masks, before the rows.
  std::int64_t gap = 0;
};

// Where the colour table stands: after the info header as long as biSize
// says, when that header ends at or before the pixels; else straight after
// the 40 bytes every file has. Its length comes from bfOffBits, at most
// 2^depth entries.
PixelDataLayout ComputePixelDataLayout(const FileHeader& file, const InfoHeader& info);

}  // namespace quendral
