#include <sys/stat.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "bmp/header_parser.h"
#include "bmp/headers.h"
#include "bmp/probes.h"
#include "commands.h"
#include "image/bitmap_image.h"
#include "platform/file.h"

namespace quendral::cli {
namespace {

char Printable(int byte) { return (byte >= 0x20 && byte < 0x7F) ? static_cast<char>(byte) : '.'; }

const char* CompressionName(std::uint32_t compression) {
  switch (compression) {
    case 0: return "none";
    case 1: return "RLE 8-bit";
    case 2: return "RLE 4-bit";
    case 3: return "bit fields";
    default: return "unknown";
  }
}

// Colour-table entries as the reader counts them.
long ColourTableEntries(const FileHeader& f, const InfoHeader& i) {
  if (!IsIndexedDepth(i.biBitCount)) return 0;
  return ComputePixelDataLayout(f, i).tableEntries;
}

}  // namespace

int RunInfo(const Arguments& args) {
  if (args.size() != 1) return UsageError("info takes one operand: FILE");
  const std::string& path = args[0];
  if (!File::Open(path.c_str(), "rb").IsOpen()) {
    PrintError("cannot open " + path + ": " + std::strerror(errno));
    return kExitInputNotLoaded;
  }
  // A directory opens for reading on some systems but holds no headers;
  // listing the defaults would present them as the file's.
  struct stat record {};
  const bool known = stat(path.c_str(), &record) == 0;
  if (known && (record.st_mode & S_IFMT) == S_IFDIR) {
    PrintError("cannot open " + path + ": " + std::strerror(EISDIR));
    return kExitInputNotLoaded;
  }
  // Fields that lie beyond the end of a short file show their defaults; the
  // summary says so, so that they are not taken for the file's own.
  const bool headersCutShort =
      known && (record.st_mode & S_IFMT) == S_IFREG && record.st_size < kHeadersSize;
  const FileHeader f = ReadFileHeader(path.c_str());
  const InfoHeader i = ReadInfoHeader(path.c_str());
  std::printf("bfType 0x%04X (%c%c)\n", f.bfType, Printable(f.bfType & 0xFF), Printable(f.bfType >> 8));
  std::printf("bfSize %" PRIu32 "\n", f.bfSize);
  std::printf("bfReserved1 %u\n", unsigned{f.bfReserved1});
  std::printf("bfReserved2 %u\n", unsigned{f.bfReserved2});
  std::printf("bfOffBits %" PRIu32 "\n", f.bfOffBits);
  std::printf("biSize %" PRIu32 "\n", i.biSize);
  std::printf("biWidth %" PRId32 "\n", i.biWidth);
  std::printf("biHeight %" PRId32 "\n", i.biHeight);
  std::printf("biPlanes %u\n", unsigned{i.biPlanes});
  std::printf("biBitCount %u\n", unsigned{i.biBitCount});
  std::printf("biCompression %" PRIu32 "\n", i.biCompression);
  std::printf("biSizeImage %" PRIu32 "\n", i.biSizeImage);
  std::printf("biXPelsPerMeter %" PRId32 "\n", i.biXPelsPerMeter);
  std::printf("biYPelsPerMeter %" PRId32 "\n", i.biYPelsPerMeter);
  std::printf("biClrUsed %" PRIu32 "\n", i.biClrUsed);
  std::printf("biClrImportant %" PRIu32 "\n", i.biClrImportant);
  std::printf("summary: %" PRId32 " x %" PRId32 " pixels, %u bits per pixel, compression %" PRIu32
              " (%s), %ld colour-table entries%s%s\n",
              i.biWidth, i.biHeight, unsigned{i.biBitCount}, i.biCompression,
              CompressionName(i.biCompression), ColourTableEntries(f, i),
              f.bfType == kBmpSignature ? "" : "; not a BMP file",
              headersCutShort ? "; the file ends inside the headers (later fields are defaults)" : "");
  return kExitOk;
}

}  // namespace quendral::cli
