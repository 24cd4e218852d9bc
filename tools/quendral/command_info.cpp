#include <sys/stat.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bmp/header_parser.h"
#include "bmp/headers.h"
#include "commands.h"
#include "image/bitmap_image.h"
#include "operands.h"
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

// The header fields as name and value, in file order.
struct Field {
  const char* name;
  long long value;
};

std::vector<Field> Fields(const FileHeader& f, const InfoHeader& i) {
  std::vector<Field> fields;
  auto add = [&fields](const char* name, auto value) { fields.push_back({name, value}); };
  ForEachFileHeaderField(f, add);
  ForEachInfoHeaderField(i, add);
  return fields;
}

void PrintText(const FileHeader& f, const InfoHeader& i, bool isBmp, bool complete) {
  std::printf("bfType 0x%04X (%c%c)\n", f.bfType, Printable(f.bfType & 0xFF), Printable(f.bfType >> 8));
  const std::vector<Field> fields = Fields(f, i);
  for (std::size_t k = 1; k < fields.size(); ++k)
    std::printf("%s %lld\n", fields[k].name, fields[k].value);
  std::printf("summary: %" PRId32 " x %" PRId32 " pixels, %u bits per pixel, compression %" PRIu32
              " (%s), %ld colour-table entries%s%s\n",
              i.biWidth, i.biHeight, unsigned{i.biBitCount}, i.biCompression,
              CompressionName(i.biCompression), ColourTableEntries(f, i),
              isBmp ? "" : "; not a BMP file",
              complete ? "" : "; the file ends inside the headers (later fields are defaults)");
}

void PrintJson(const FileHeader& f, const InfoHeader& i, bool isBmp, bool complete) {
  std::printf("{\n");
  for (const Field& field : Fields(f, i)) std::printf("  \"%s\": %lld,\n", field.name, field.value);
  std::printf("  \"width\": %" PRId32 ",\n  \"height\": %" PRId32
              ",\n  \"bitsPerPixel\": %u,\n  \"compressionName\": \"%s\",\n"
              "  \"colourTableEntries\": %ld,\n  \"isBmp\": %s,\n  \"headersComplete\": %s\n}\n",
              i.biWidth, i.biHeight, unsigned{i.biBitCount}, CompressionName(i.biCompression),
              ColourTableEntries(f, i), isBmp ? "true" : "false", complete ? "true" : "false");
}

}  // namespace

int RunInfo(const Arguments& args, const Options& options) {
  if (options.jobsGiven || options.quiet || options.noClobber)
    return UsageError("-j, -q and -n do not apply to info");
  if (args.size() != 1) return UsageError("info takes one operand: FILE");
  const std::string& operand = args[0];
  if (operand.empty()) return EmptyOperandError();
  const std::string name = InputName(operand);
  if (IsStandardStream(operand)) {
    const std::string refusal = CheckInputOperand(operand);
    if (!refusal.empty()) return UsageError(refusal);
  } else {
    // A directory opens for reading on some systems but holds no headers;
    // listing the defaults would present them as the file's.
    struct stat record {};
    if (stat(operand.c_str(), &record) == 0 && (record.st_mode & S_IFMT) == S_IFDIR) {
      PrintError("cannot open " + name + ": " + std::strerror(EISDIR));
      return kExitInputNotLoaded;
    }
  }
  PictureInput input(operand);
  if (!input.IsOpen()) {
    PrintError("cannot open " + name + ": " + std::strerror(errno));
    return kExitInputNotLoaded;
  }
  File& file = input.file();
  // Both headers are read in one pass, so that a pipe serves as well as a
  // file. Fields beyond the end of a short file show their defaults, and
  // the summary says so, so that they are not taken for the file's own.
  FileHeader f;
  InfoHeader i;
  const bool fileHeaderComplete = ReadFileHeaderFields(file, f);
  const bool complete = ReadInfoHeaderFields(file, i) && fileHeaderComplete;
  const bool isBmp = f.bfType == kBmpSignature;
  if (options.json) {
    PrintJson(f, i, isBmp, complete);
  } else {
    PrintText(f, i, isBmp, complete);
  }
  return FinishStandardOutput(isBmp && complete ? kExitOk : kExitInputNotLoaded);
}

}  // namespace quendral::cli
