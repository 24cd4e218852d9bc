#include "picture_maker.h"

#include <algorithm>
#include <cstdio>

namespace quendral::bench {
namespace {

int ClampByte(int v) {
  return v < 0 ? 0 : (v > 255 ? 255 : v);
}

std::uint32_t Mix(std::uint32_t h) {
  h ^= h >> 16;
  h *= 0x7FEB352Du;
  h ^= h >> 15;
  h *= 0x846CA68Bu;
  h ^= h >> 16;
  return h;
}

// 0 .. 255 .. 0 over one period: a smooth-looking wave without floating point.
int Triangle(std::int64_t t, int period) {
  std::int64_t p = t % period;
  if (p < 0) p += period;
  const std::int64_t half = period / 2;
  return static_cast<int>((p < half ? p : period - p) * 255 / half);
}

std::vector<Rgb> StandardTable(int depth) {
  if (depth == 1) return {{0, 0, 0}, {255, 255, 255}};
  if (depth == 4) {
    std::vector<Rgb> t(16);
    for (int k = 0; k < 8; ++k)
      t[k] = {static_cast<std::uint8_t>(128 * (k & 1)),
              static_cast<std::uint8_t>(128 * ((k >> 1) & 1)),
              static_cast<std::uint8_t>(128 * ((k >> 2) & 1))};
    for (int k = 0; k < 8; ++k)
      t[8 + k] = {static_cast<std::uint8_t>(255 * (k & 1)),
                  static_cast<std::uint8_t>(255 * ((k >> 1) & 1)),
                  static_cast<std::uint8_t>(255 * ((k >> 2) & 1))};
    t[8] = {192, 192, 192};
    return t;
  }
  std::vector<Rgb> t(256);
  for (int n = 0; n < 256; ++n)
    t[n] = {static_cast<std::uint8_t>(32 * (n % 8)), static_cast<std::uint8_t>(32 * ((n / 8) % 8)),
            static_cast<std::uint8_t>(64 * (n / 64))};
  const Rgb low[10] = {{0, 0, 0},       {128, 0, 0},    {0, 128, 0},   {128, 128, 0},
                       {0, 0, 128},     {128, 0, 128},  {0, 128, 128}, {192, 192, 192},
                       {192, 220, 192}, {166, 202, 240}};
  const Rgb high[10] = {{255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},
                        {0, 255, 0},     {255, 255, 0},   {0, 0, 255},     {255, 0, 255},
                        {0, 255, 255},   {255, 255, 255}};
  std::copy(low, low + 10, t.begin());
  std::copy(high, high + 10, t.begin() + 246);
  return t;
}

// Own tables, each with one entry repeated, so that ties between equal
// entries occur in the pictures.
std::vector<Rgb> OwnTable(int depth) {
  if (depth == 1) return {{20, 30, 90}, {240, 230, 170}};
  if (depth == 4) {
    std::vector<Rgb> t(16);
    for (int k = 0; k < 16; ++k)
      t[k] = {static_cast<std::uint8_t>(17 * k), static_cast<std::uint8_t>(255 - 13 * k),
              static_cast<std::uint8_t>((k * 97) % 256)};
    t[15] = t[3];
    return t;
  }
  // A 6 x 7 x 6 colour cube, then greys; the last entry repeats black.
  std::vector<Rgb> t;
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 7; ++g)
      for (int b = 0; b < 6; ++b)
        t.push_back({static_cast<std::uint8_t>(r * 51), static_cast<std::uint8_t>(g * 42),
                     static_cast<std::uint8_t>(b * 51)});
  t.push_back({64, 64, 64});
  t.push_back({128, 128, 128});
  t.push_back({192, 192, 192});
  t.push_back({0, 0, 0});
  return t;
}

int Distance(const Rgb& a, const Rgb& b) {
  const int dr = a.red - b.red, dg = a.green - b.green, db = a.blue - b.blue;
  return dr * dr + dg * dg + db * db;
}

// The table entry a pixel is stored as. Small tables are searched; the
// 256-entry tables are regular grids, so rounding per channel finds a near
// entry without a search (any entry serves: the content only has to look
// like a quantised photo).
int Quantise(const Rgb& c, const PictureFormat& format, const std::vector<Rgb>& table) {
  if (format.depth == 8) {
    if (format.standardTable) {
      const int r = std::min(7, (c.red + 16) / 32), g = std::min(7, (c.green + 16) / 32);
      const int b = std::min(3, (c.blue + 32) / 64);
      return r + 8 * g + 64 * b;
    }
    const int r = (c.red + 25) / 51, g = std::min(6, (c.green + 21) / 42), b = (c.blue + 25) / 51;
    return r * 42 + g * 6 + b;
  }
  int best = 0;
  for (int k = 1; k < static_cast<int>(table.size()); ++k)
    if (Distance(table[k], c) < Distance(table[best], c)) best = k;
  return best;
}

void Put16(Bytes& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(Bytes& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

}  // namespace

Rgb PhotoPixel(int x, int y, int width, int height, std::uint32_t seed) {
  const std::uint32_t h = Mix(static_cast<std::uint32_t>(x) * 0x9E3779B1u ^
                              Mix(static_cast<std::uint32_t>(y) * 0x85EBCA77u ^ seed));
  const int n1 = static_cast<int>(h & 31) - 16;
  const int n2 = static_cast<int>((h >> 5) & 31) - 16;
  const int n3 = static_cast<int>((h >> 10) & 31) - 16;
  const std::int64_t phase = seed % 997;
  const int red = static_cast<int>(std::int64_t{x} * 160 / width) +
                  Triangle(x + 2 * std::int64_t{y} + phase, 1500) / 3 + n1;
  const int green = static_cast<int>(std::int64_t{y} * 160 / height) +
                    Triangle(3 * std::int64_t{x} - y + 2 * phase, 2300) / 3 + n2;
  const int blue = static_cast<int>((std::int64_t{x} + y) * 120 / (std::int64_t{width} + height)) +
                   60 + Triangle(x - 2 * std::int64_t{y} + 3 * phase, 1900) / 4 + n3;
  return {static_cast<std::uint8_t>(ClampByte(red)), static_cast<std::uint8_t>(ClampByte(green)),
          static_cast<std::uint8_t>(ClampByte(blue))};
}

std::vector<Rgb> ColourTable(const PictureFormat& format) {
  return format.standardTable ? StandardTable(format.depth) : OwnTable(format.depth);
}

Bytes MakePicture(int width, int height, const PictureFormat& format, std::uint32_t seed) {
  const int depth = format.depth;
  const bool indexed = depth <= 8;
  const std::vector<Rgb> table = indexed ? ColourTable(format) : std::vector<Rgb>();
  const int entries =
      !indexed ? 0
               : (format.tableEntries < 0 ? static_cast<int>(table.size()) : format.tableEntries);
  const bool masks = depth == 16 && format.bitFields;
  const std::size_t stride = (static_cast<std::size_t>(width) * depth + 31) / 32 * 4;
  const std::uint32_t offBits = 54 + (masks ? 12 : 0) + 4 * entries;
  const std::size_t pixelBytes = stride * static_cast<std::size_t>(height);

  Bytes out;
  out.reserve(offBits + pixelBytes);
  out.push_back('B');
  out.push_back('M');
  Put32(out, static_cast<std::uint32_t>(offBits + pixelBytes));
  Put32(out, 0);
  Put32(out, offBits);
  Put32(out, 40);
  Put32(out, static_cast<std::uint32_t>(width));
  Put32(out, static_cast<std::uint32_t>(height));
  Put16(out, 1);
  Put16(out, static_cast<std::uint32_t>(depth));
  Put32(out, masks ? 3 : 0);
  Put32(out, static_cast<std::uint32_t>(pixelBytes));
  Put32(out, format.resolution);
  Put32(out, format.resolution);
  Put32(out, 0);
  Put32(out, 0);
  if (masks) {
    Put32(out, 0xF800);
    Put32(out, 0x07E0);
    Put32(out, 0x001F);
  }
  for (int k = 0; k < entries; ++k) {
    const Rgb& e = table[static_cast<std::size_t>(k)];
    out.push_back(e.blue);
    out.push_back(e.green);
    out.push_back(e.red);
    out.push_back(static_cast<std::uint8_t>(k * 7));  // reserved bytes that are not all 0
  }

  Bytes row(stride);
  for (int y = height - 1; y >= 0; --y) {
    std::fill(row.begin(), row.end(), 0);
    for (int x = 0; x < width; ++x) {
      const Rgb c = PhotoPixel(x, y, width, height, seed);
      const std::size_t i = static_cast<std::size_t>(x);
      switch (depth) {
        case 1:
          row[i / 8] |= static_cast<std::uint8_t>(Quantise(c, format, table) << (7 - i % 8));
          break;
        case 4:
          row[i / 2] |= static_cast<std::uint8_t>(Quantise(c, format, table) << (i % 2 ? 0 : 4));
          break;
        case 8:
          row[i] = static_cast<std::uint8_t>(Quantise(c, format, table));
          break;
        case 16: {
          const unsigned word = format.bitFields
                                    ? ((c.red >> 3) << 11) | ((c.green >> 2) << 5) | (c.blue >> 3)
                                    : ((c.red >> 3) << 10) | ((c.green >> 3) << 5) | (c.blue >> 3);
          row[2 * i] = static_cast<std::uint8_t>(word);
          row[2 * i + 1] = static_cast<std::uint8_t>(word >> 8);
          break;
        }
        default:
          row[(depth / 8) * i] = c.blue;
          row[(depth / 8) * i + 1] = c.green;
          row[(depth / 8) * i + 2] = c.red;
          if (depth == 32) row[4 * i + 3] = static_cast<std::uint8_t>((x ^ y) & 0xFF);
          break;
      }
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

bool WriteBytes(const std::string& path, const Bytes& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return (std::fclose(f) == 0) && written;
}

}  // namespace quendral::bench
