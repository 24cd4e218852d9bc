// Writes the fixed set of BMP pictures whose processed outputs are pinned by
// hash: every accepted kind, odd widths, short and own colour tables, gaps,
// files cut short, and files that must be refused. The bytes depend on
// nothing but this file, and every multi-byte value is written byte by
// byte, so every processor that runs it writes the same files.
//
//   quendral_golden_inputs DIRECTORY
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// A small deterministic generator (xorshift32), seeded per picture.
class Noise {
 public:
  explicit Noise(std::uint32_t seed) : state_(seed * 2654435761u + 0x9E3779B9u) {}
  std::uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  std::uint8_t Byte() { return static_cast<std::uint8_t>(Next() >> 24); }

 private:
  std::uint32_t state_;
};

void Put16(Bytes& out, std::uint32_t value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void Put32(Bytes& out, std::uint32_t value) {
  for (int k = 0; k < 4; ++k) out.push_back(static_cast<std::uint8_t>(value >> (8 * k)));
}

std::size_t StoredRowBytes(int width, int depth) {
  return (static_cast<std::size_t>(width) * static_cast<std::size_t>(depth) + 31) / 32 * 4;
}

struct Picture {
  int width = 1;
  int height = 1;
  int depth = 24;
  std::uint32_t compression = 0;
  std::vector<std::uint32_t> masks;  // written after the headers when not empty
  Bytes table;                       // colour-table bytes as stored
  std::uint32_t extraOffset = 0;     // junk bytes between table and pixels
  std::int64_t offBits = -1;         // -1: right after what precedes the pixels
  std::uint32_t size = 0;            // bfSize; 0: the real file size
  Bytes pixels;                      // stored rows, bottom row first
};

Bytes Assemble(const Picture& p) {
  const std::size_t before = 54 + 4 * p.masks.size() + p.table.size() + p.extraOffset;
  const auto offBits =
      p.offBits < 0 ? static_cast<std::uint32_t>(before) : static_cast<std::uint32_t>(p.offBits);
  Bytes out;
  Put16(out, 0x4D42);
  Put32(out, p.size != 0 ? p.size : static_cast<std::uint32_t>(before + p.pixels.size()));
  Put16(out, 0);
  Put16(out, 0);
  Put32(out, offBits);
  Put32(out, 40);
  Put32(out, static_cast<std::uint32_t>(p.width));
  Put32(out, static_cast<std::uint32_t>(p.height));
  Put16(out, 1);
  Put16(out, static_cast<std::uint32_t>(p.depth));
  Put32(out, p.compression);
  Put32(out, static_cast<std::uint32_t>(p.pixels.size()));
  Put32(out, 2835);
  Put32(out, 3780);
  Put32(out, 0);
  Put32(out, 0);
  for (std::uint32_t mask : p.masks) Put32(out, mask);
  out.insert(out.end(), p.table.begin(), p.table.end());
  for (std::uint32_t k = 0; k < p.extraOffset; ++k)
    out.push_back(static_cast<std::uint8_t>(0xA5 ^ k));
  out.insert(out.end(), p.pixels.begin(), p.pixels.end());
  return out;
}

Bytes RandomTable(int entries, Noise& noise) {
  Bytes table;
  for (int k = 0; k < 4 * entries; ++k) table.push_back(noise.Byte());
  return table;
}

Bytes GreyTable() {
  Bytes table;
  for (int k = 0; k < 256; ++k) {
    for (int c = 0; c < 3; ++c) table.push_back(static_cast<std::uint8_t>(k));
    table.push_back(0);
  }
  return table;
}

// Rows of random bytes; the padding is random too, as readers must ignore it.
Bytes RandomRows(int width, int height, int depth, Noise& noise) {
  Bytes rows(StoredRowBytes(width, depth) * static_cast<std::size_t>(height));
  for (std::uint8_t& b : rows) b = noise.Byte();
  return rows;
}

// A smooth picture with some noise, as a photograph has: 3 or 4 bytes a pixel.
Bytes PhotoRows(int width, int height, int bytesPerPixel, Noise& noise) {
  const std::size_t stride = StoredRowBytes(width, 8 * bytesPerPixel);
  Bytes rows(stride * static_cast<std::size_t>(height), 0);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p =
          &rows[static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x) * bytesPerPixel];
      p[0] = static_cast<std::uint8_t>(255 * x / width + (noise.Byte() & 7));
      p[1] = static_cast<std::uint8_t>(255 * y / height + (noise.Byte() & 7));
      p[2] = static_cast<std::uint8_t>((x * y) & 0xFF);
      if (bytesPerPixel == 4) p[3] = noise.Byte();
    }
  }
  return rows;
}

Picture Indexed(int width, int height, int depth, Bytes table, std::uint32_t seed) {
  Noise noise(seed);
  Picture p;
  p.width = width;
  p.height = height;
  p.depth = depth;
  p.table = std::move(table);
  p.pixels = RandomRows(width, height, depth, noise);
  return p;
}

Picture Direct(int width, int height, int depth, std::uint32_t seed) {
  Noise noise(seed);
  Picture p;
  p.width = width;
  p.height = height;
  p.depth = depth;
  p.pixels = depth == 16 ? RandomRows(width, height, 16, noise)
                         : PhotoRows(width, height, depth / 8, noise);
  return p;
}

Picture BitFields(int width, int height, std::vector<std::uint32_t> masks, std::uint32_t seed) {
  Picture p = Direct(width, height, 16, seed);
  p.compression = 3;
  p.masks = std::move(masks);
  return p;
}

// The 2 x 2 picture of the rescaling worked example, alpha included.
Picture WorkedExample() {
  Picture p;
  p.width = 2;
  p.height = 2;
  p.depth = 32;
  p.pixels = {10, 20, 30, 5, 40,  80,  120, 3,  // bottom row: (0, 1), (1, 1)
              0,  0,  0,  9, 200, 100, 50,  7};
  return p;
}

Bytes CutTo(Bytes bytes, std::size_t length) {
  if (bytes.size() > length) bytes.resize(length);
  return bytes;
}

struct Input {
  std::string name;
  Bytes bytes;
};

std::vector<Input> GoldenInputs() {
  Noise seeds(2024);
  std::vector<Input> inputs;
  auto add = [&](const std::string& name, const Picture& p) {
    inputs.push_back({name, Assemble(p)});
  };

  add("d1-own-table-13x9", Indexed(13, 9, 1, Bytes{10, 200, 30, 0, 250, 5, 100, 0}, 1));
  add("d1-std-table-33x5", Indexed(33, 5, 1, Bytes{0, 0, 0, 0, 255, 255, 255, 0}, 2));
  add("d4-own-table-15x11", Indexed(15, 11, 4, RandomTable(16, seeds), 3));
  Picture shortTable = Indexed(9, 6, 4, RandomTable(5, seeds), 4);  // entries 5..15 white
  add("d4-short-table-9x6", shortTable);
  add("d8-own-table-31x17", Indexed(31, 17, 8, RandomTable(256, seeds), 5));
  add("d8-grey-table-12x12", Indexed(12, 12, 8, GreyTable(), 6));
  Picture gapped = Indexed(7, 5, 8, RandomTable(256, seeds), 7);
  gapped.extraOffset = 10;
  add("d8-gap-7x5", gapped);
  add("d16-555-17x13", Direct(17, 13, 16, 8));
  add("d16-565-19x7", BitFields(19, 7, {0xF800, 0x07E0, 0x001F}, 9));
  add("d16-444-11x5", BitFields(11, 5, {0x0F00, 0x00F0, 0x000F}, 10));
  add("d24-37x23", Direct(37, 23, 24, 11));
  add("d24-1x1", Direct(1, 1, 24, 12));
  add("d24-1x40", Direct(1, 40, 24, 13));
  add("d24-3x15", Direct(3, 15, 24, 14));
  add("d24-7x7", Direct(7, 7, 24, 15));
  add("d24-101x33", Direct(101, 33, 24, 16));
  Picture oddSize = Direct(10, 4, 24, 17);
  oddSize.size = 0xFFFFFFF1u;  // bfSize is never trusted
  add("d24-wrong-bfsize-10x4", oddSize);
  add("d32-21x19", Direct(21, 19, 32, 18));
  add("d32-worked-2x2", WorkedExample());

  // Files cut short: the rows given load, the rest stays white.
  inputs.push_back(
      {"d24-cut-in-rows-29x13", CutTo(Assemble(Direct(29, 13, 24, 19)), 54 + 88 * 5 + 41)});
  inputs.push_back({"d8-cut-in-table-8x8",
                    CutTo(Assemble(Indexed(8, 8, 8, RandomTable(256, seeds), 20)), 54 + 301)});
  inputs.push_back(
      {"d16-cut-odd-byte-9x9", CutTo(Assemble(Direct(9, 9, 16, 21)), 54 + 20 * 3 + 7)});
  inputs.push_back({"d16-565-cut-in-masks-6x6",
                    CutTo(Assemble(BitFields(6, 6, {0xF800, 0x07E0, 0x001F}, 22)), 54 + 6)});

  // Refused: cut inside the headers, not a BMP, compressed, top-down rows,
  // and sizes that would not fit in memory or in 32-bit arithmetic.
  inputs.push_back({"refused-cut-in-header", CutTo(Assemble(Direct(4, 4, 24, 23)), 30)});
  inputs.push_back({"refused-not-bmp", Bytes{0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0, 0, 13}});
  Picture compressed = Indexed(4, 4, 8, RandomTable(256, seeds), 24);
  compressed.compression = 1;
  add("refused-rle8-4x4", compressed);
  Picture topDown = Direct(4, 4, 24, 25);
  topDown.height = -4;
  add("refused-top-down-4x4", topDown);
  Picture huge = Direct(1, 1, 24, 26);
  huge.width = 1 << 30;
  huge.height = 4;
  add("refused-huge-24", huge);
  Picture wideRow = Direct(1, 1, 32, 27);
  wideRow.width = 0x7FFFFFFF;
  add("refused-row-past-2g-32", wideRow);
  return inputs;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
    return 2;
  }
  for (const Input& input : GoldenInputs()) {
    const std::string path = std::string(argv[1]) + "/" + input.name + ".bmp";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    const bool written = file != nullptr && std::fwrite(input.bytes.data(), 1, input.bytes.size(),
                                                        file) == input.bytes.size();
    if (file == nullptr || std::fclose(file) != 0 || !written) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
