// Explains, in a user's words, why a picture did not load or save. Follows
// the reader's own checks in their order, looking at the headers through
// the same field-by-field code.
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "bmp/header_parser.h"
#include "bmp/headers.h"
#include "commands.h"
#include "image/bitmap_image.h"
#include "platform/file.h"

namespace quendral::cli {
namespace {

std::string CannotRead(const std::string& path, const std::string& why) {
  return "cannot read " + path + ": " + why;
}

std::string DescribeKind(const InfoHeader& info) {
  if (info.biSize == 12) return "OS/2 BMP (12-byte header) is not supported";
  const std::uint32_t compression = info.biCompression;
  const int bitCount = info.biBitCount;
  switch (compression) {
    case 1:
    case 2:
      return "RLE-compressed BMP (compression " + std::to_string(compression) +
             ") is not supported";
    case 3:
      return "bit-field BMP at " + std::to_string(bitCount) +
             " bits per pixel is not supported (only at 16)";
    case 4:
      return "JPEG-compressed BMP (compression 4) is not supported";
    case 5:
      return "PNG-compressed BMP (compression 5) is not supported";
    case 6:
      return "bit-field BMP with an alpha mask (compression 6) is not supported";
    case 0:
      return std::to_string(bitCount) + " bits per pixel is not supported";
    default:
      return "BMP compression " + std::to_string(compression) + " is not supported";
  }
}

}  // namespace

std::string ExplainLoadFailure(const std::string& path, File& file) {
  BmpHeaders headers;
  ReadHeaders(file, headers);
  const InfoHeader& info = headers.info;
  switch (JudgeHeaders(headers)) {
    case HeaderVerdict::kNotBmp:
      return path + ": not a BMP file";
    case HeaderVerdict::kCutShort:
      // The oldest header is shorter than the fields read here.
      if (info.biSize == 12) return CannotRead(path, DescribeKind(info));
      return CannotRead(path, "the file ends inside the BMP headers");
    case HeaderVerdict::kUnsupportedKind:
      return CannotRead(path, DescribeKind(info));
    case HeaderVerdict::kNotPositive:
      if (info.biHeight < 0)
        return CannotRead(path, "top-down BMP (negative height) is not supported");
      return CannotRead(path, "the picture is " + std::to_string(info.biWidth) + " x " +
                                  std::to_string(info.biHeight) + " pixels");
    case HeaderVerdict::kTooLarge:
      if (std::int64_t{info.biWidth} * info.biBitCount > INT32_MAX)
        return CannotRead(path, "the picture is too wide (" + std::to_string(info.biWidth) +
                                    " pixels at " + std::to_string(info.biBitCount) +
                                    " bits per pixel; at most 2^31 - 1 bits a row)");
      return CannotRead(path, "the picture is too large (" + std::to_string(info.biWidth) +
                                  " x " + std::to_string(info.biHeight) + " pixels; at most " +
                                  std::to_string(kMaxPixels) + " pixels)");
    case HeaderVerdict::kAccepted:
      break;
  }
  return CannotRead(path, "not enough memory for a picture of " + std::to_string(info.biWidth) +
                              " x " + std::to_string(info.biHeight) + " pixels");
}

std::string ExplainSaveFailure(int outcome, int systemError) {
  if (outcome == static_cast<int>(SaveStatus::Outcome::kTooLarge))
    return "the picture is too large for a BMP file";
  if (outcome == static_cast<int>(SaveStatus::Outcome::kFlushFailed))
    return std::string("the device would not flush the new picture (") +
           std::strerror(systemError) + ")";
  if (systemError != 0) return std::strerror(systemError);
  return "write failed";
}

}  // namespace quendral::cli
