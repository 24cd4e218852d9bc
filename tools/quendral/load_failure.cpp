// Explains, in a user's words, why a picture did not load or save. Follows
// the reader's own checks in their order, looking at the headers through
// the same field-by-field code.
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "bmp/headers.h"
#include "commands.h"
#include "image/bitmap_image.h"
#include "platform/file.h"

namespace quendral::cli {
namespace {

std::string CannotRead(const std::string& path, const std::string& why) {
  return "cannot read " + path + ": " + why;
}

std::string DescribeKind(std::uint32_t compression, int bitCount) {
  switch (compression) {
    case 1:
    case 2:
      return "RLE-compressed BMP (compression " + std::to_string(compression) +
             ") is not supported";
    case 3:
      return "bit-field BMP at " + std::to_string(bitCount) +
             " bits per pixel is not supported (only at 16)";
    case 0:
      return std::to_string(bitCount) + " bits per pixel is not supported";
    default:
      return "BMP compression " + std::to_string(compression) + " is not supported";
  }
}

}  // namespace

std::string ExplainLoadFailure(const std::string& path) {
  struct stat record;
  if (stat(path.c_str(), &record) != 0) return CannotRead(path, std::strerror(errno));
  if ((record.st_mode & S_IFMT) == S_IFDIR) return CannotRead(path, std::strerror(EISDIR));
  File file = File::Open(path.c_str(), "rb");
  if (!file.IsOpen()) return CannotRead(path, std::strerror(errno));

  FileHeader fileHeader;
  InfoHeader info;
  // Both headers are read even when the first is cut short, as the reader does.
  const bool fileHeaderComplete = ReadFileHeaderFields(file, fileHeader);
  const bool infoHeaderComplete = ReadInfoHeaderFields(file, info);
  const bool complete = fileHeaderComplete && infoHeaderComplete;
  if (fileHeader.bfType != kBmpSignature) return path + ": not a BMP file";
  if (!complete) return CannotRead(path, "the file ends inside the BMP headers");
  const int bitCount = info.biBitCount;
  const bool accepted =
      (info.biCompression == kCompressionNone &&
       (bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 16 || bitCount == 24 ||
        bitCount == 32)) ||
      (info.biCompression == kCompressionBitFields && bitCount == 16);
  if (!accepted) return CannotRead(path, DescribeKind(info.biCompression, bitCount));
  if (info.biHeight < 0) return CannotRead(path, "top-down BMP (negative height) is not supported");
  if (info.biWidth <= 0 || info.biHeight <= 0)
    return CannotRead(path, "the picture is " + std::to_string(info.biWidth) + " x " +
                                std::to_string(info.biHeight) + " pixels");
  const std::int64_t pixels = std::int64_t{info.biWidth} * info.biHeight;
  if (pixels > kMaxPixels || std::int64_t{info.biWidth} * bitCount > INT32_MAX)
    return CannotRead(path, "the picture is too large (" + std::to_string(info.biWidth) + " x " +
                                std::to_string(info.biHeight) + " pixels; at most " +
                                std::to_string(kMaxPixels) + " pixels)");
  return CannotRead(path, "not enough memory for a picture of " + std::to_string(info.biWidth) +
                              " x " + std::to_string(info.biHeight) + " pixels");
}

std::string ExplainSaveFailure(int outcome, int systemError) {
  if (outcome == static_cast<int>(SaveStatus::Outcome::kTooLarge))
    return "the picture is too large for a BMP file";
  if (systemError != 0) return std::strerror(systemError);
  return "write failed";
}

}  // namespace quendral::cli
