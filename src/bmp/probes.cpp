#include "bmp/probes.h"

#include "platform/file.h"

namespace quendral {

FileHeader ReadFileHeader(const char* path) {
  FileHeader header;
  File file = File::Open(path, "rb");
  if (!file.IsOpen()) {
    header.bfType = 0;
    return header;
  }
  ReadFileHeaderFields(file, header);
  return header;
}

InfoHeader ReadInfoHeader(const char* path) {
  InfoHeader header;
  File file = File::Open(path, "rb");
  if (!file.IsOpen()) return header;
  std::uint8_t skipped;
  for (int k = 0; k < 14; ++k) ReadExact(&skipped, 1, 1, file);
  ReadInfoHeaderFields(file, header);
  return header;
}

void ShowHeaders(const char* path) {
  if (!File::Open(path, "rb").IsOpen()) return;
  ReadFileHeader(path).Display();
  ReadInfoHeader(path).Display();
}

int FileBitDepth(const char* path) { return ReadInfoHeader(path).biBitCount; }

}  // namespace quendral
