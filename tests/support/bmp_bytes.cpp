#include "support/bmp_bytes.h"

#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace quendral::test {

void Put16(Bytes& out, std::uint32_t value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void Put32(Bytes& out, std::uint32_t value) {
  for (int k = 0; k < 4; ++k) out.push_back(static_cast<std::uint8_t>(value >> (8 * k)));
}

Bytes HeaderBytes(const BmpFields& f) {
  Bytes out;
  Put16(out, f.bfType);
  Put32(out, f.bfSize);
  Put16(out, f.bfReserved1);
  Put16(out, f.bfReserved2);
  Put32(out, f.bfOffBits < 0 ? 54u : static_cast<std::uint32_t>(f.bfOffBits));
  Put32(out, f.biSize);
  Put32(out, static_cast<std::uint32_t>(f.biWidth));
  Put32(out, static_cast<std::uint32_t>(f.biHeight));
  Put16(out, f.biPlanes);
  Put16(out, f.biBitCount);
  Put32(out, f.biCompression);
  Put32(out, f.biSizeImage);
  Put32(out, static_cast<std::uint32_t>(f.biXPelsPerMeter));
  Put32(out, static_cast<std::uint32_t>(f.biYPelsPerMeter));
  Put32(out, f.biClrUsed);
  Put32(out, f.biClrImportant);
  return out;
}

Bytes BuildBmp(BmpFields fields, const std::vector<std::uint32_t>& masks,
               const std::vector<ColorQuad>& table, const Bytes& pixelData) {
  const std::size_t before = 54 + 4 * masks.size() + 4 * table.size();
  if (fields.bfOffBits < 0) fields.bfOffBits = static_cast<std::int64_t>(before);
  if (fields.bfSize == 0) fields.bfSize = static_cast<std::uint32_t>(before + pixelData.size());
  Bytes out = HeaderBytes(fields);
  for (std::uint32_t mask : masks) Put32(out, mask);
  for (const ColorQuad& c : table) {
    out.push_back(c.blue);
    out.push_back(c.green);
    out.push_back(c.red);
    out.push_back(c.alpha);
  }
  out.insert(out.end(), pixelData.begin(), pixelData.end());
  return out;
}

std::size_t StoredRowBytes(int width, int depth) {
  return ((static_cast<std::size_t>(width) * depth + 31) / 32) * 4;
}

void WriteFileBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

Bytes ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool FileExists(const std::string& path) {
  struct stat record;
  return stat(path.c_str(), &record) == 0;
}

}  // namespace quendral::test
