// The fast paths held against the plain statements of what they compute:
// the row loops, the colour matcher, and loading and saving in chunks of
// rows (rescaling is held against its plain statement with its own tests).
// Inputs are random; every case is compared byte for byte.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "bmp/row_loops.h"
#include "image/bitmap_image.h"
#include "image/palette_matcher.h"
#include "platform/file.h"
#include "support/bmp_bytes.h"
#include "support/scratch_dir.h"

namespace quendral {
namespace {

using test::Bytes;
using test::TestRandom;

ColorQuad RandomQuad(TestRandom& random) {
  return ColorQuad{random.Byte(), random.Byte(), random.Byte(), random.Byte()};
}

std::vector<ColorQuad> RandomTable(TestRandom& random, int entries) {
  std::vector<ColorQuad> table(static_cast<std::size_t>(entries));
  for (ColorQuad& c : table) c = RandomQuad(random);
  // Repeated entries and near neighbours make ties, which the lowest index wins.
  if (entries > 2) {
    table[static_cast<std::size_t>(entries - 1)] = table[1];
    table[static_cast<std::size_t>(entries / 2)].red = static_cast<std::uint8_t>(table[0].red ^ 1);
  }
  return table;
}

bool SameQuad(const ColorQuad& a, const ColorQuad& b) {
  return a == b;
}

// --- row loops ----------------------------------------------------------------

TEST(FastPaths, RowLoopsMatchTheirPlainStatements) {
  TestRandom random(1);
  const std::vector<ColorQuad> table = RandomTable(random, 256);
  std::vector<ColorQuad> lut(65536);
  for (ColorQuad& c : lut) c = RandomQuad(random);
  for (int width = 1; width <= 70; ++width) {
    Bytes in(4 * static_cast<std::size_t>(width) + 8);
    for (std::uint8_t& b : in) b = random.Byte();
    std::vector<ColorQuad> pixels(static_cast<std::size_t>(width));
    for (ColorQuad& p : pixels) p = RandomQuad(random);

    struct ExpandCase {
      const char* name;
      void (*run)(const std::uint8_t*, ColorQuad*, int, const ColorQuad*, const ColorQuad*);
      ColorQuad (*plain)(const Bytes&, int, const ColorQuad*, const ColorQuad*);
    };
    const ExpandCase expands[] = {
        {"32",
         [](const std::uint8_t* i, ColorQuad* o, int w, const ColorQuad*, const ColorQuad*) {
           rows::Expand32(i, o, w);
         },
         [](const Bytes& b, int x, const ColorQuad*, const ColorQuad*) {
           const std::size_t k = 4 * static_cast<std::size_t>(x);
           return ColorQuad{b[k], b[k + 1], b[k + 2], b[k + 3]};
         }},
        {"24",
         [](const std::uint8_t* i, ColorQuad* o, int w, const ColorQuad*, const ColorQuad*) {
           rows::Expand24(i, o, w);
         },
         [](const Bytes& b, int x, const ColorQuad*, const ColorQuad*) {
           const std::size_t k = 3 * static_cast<std::size_t>(x);
           return ColorQuad{b[k], b[k + 1], b[k + 2], 0};
         }},
        {"8",
         [](const std::uint8_t* i, ColorQuad* o, int w, const ColorQuad* t, const ColorQuad*) {
           rows::Expand8(i, o, w, t);
         },
         [](const Bytes& b, int x, const ColorQuad* t, const ColorQuad*) {
           return t[b[static_cast<std::size_t>(x)]];
         }},
        {"4",
         [](const std::uint8_t* i, ColorQuad* o, int w, const ColorQuad* t, const ColorQuad*) {
           rows::Expand4(i, o, w, t);
         },
         [](const Bytes& b, int x, const ColorQuad* t, const ColorQuad*) {
           const std::uint8_t byte = b[static_cast<std::size_t>(x / 2)];
           return t[x % 2 == 0 ? (byte & 0xF0) >> 4 : byte & 0x0F];
         }},
        {"1",
         [](const std::uint8_t* i, ColorQuad* o, int w, const ColorQuad* t, const ColorQuad*) {
           rows::Expand1(i, o, w, t);
         },
         [](const Bytes& b, int x, const ColorQuad* t, const ColorQuad*) {
           const int k = x % 8;
           return t[(b[static_cast<std::size_t>(x / 8)] & (0x80 >> k)) >> (7 - k)];
         }},
        {"16",
         [](const std::uint8_t* i, ColorQuad* o, int w, const ColorQuad*, const ColorQuad* l) {
           rows::Expand16(i, o, w, l);
         },
         [](const Bytes& b, int x, const ColorQuad*, const ColorQuad* l) {
           const std::size_t k = 2 * static_cast<std::size_t>(x);
           return l[b[k] + 256 * b[k + 1]];
         }},
    };
    for (const ExpandCase& c : expands) {
      std::vector<ColorQuad> out(static_cast<std::size_t>(width) + 1, ColorQuad{1, 2, 3, 4});
      c.run(in.data(), out.data(), width, table.data(), lut.data());
      for (int x = 0; x < width; ++x)
        ASSERT_PRED2(SameQuad, out[static_cast<std::size_t>(x)],
                     c.plain(in, x, table.data(), lut.data()))
            << "Expand" << c.name << " width " << width << " pixel " << x;
      ASSERT_PRED2(SameQuad, out.back(), (ColorQuad{1, 2, 3, 4}))
          << "Expand" << c.name << " wrote past the row";
    }

    struct PackCase {
      const char* name;
      void (*run)(const ColorQuad*, std::uint8_t*, int);
      Bytes (*plain)(const ColorQuad&);
      std::size_t bytesPerPixel;
    };
    const PackCase packs[] = {
        {"32", rows::Pack32,
         [](const ColorQuad& p) {
           return Bytes{p.blue, p.green, p.red, p.alpha};
         },
         4},
        {"24", rows::Pack24,
         [](const ColorQuad& p) {
           return Bytes{p.blue, p.green, p.red};
         },
         3},
        {"565", rows::Pack565,
         [](const ColorQuad& p) {
           const unsigned word = ((p.red >> 3) << 11) | ((p.green >> 2) << 5) | (p.blue >> 3);
           return Bytes{static_cast<std::uint8_t>(word & 0xFF),
                        static_cast<std::uint8_t>(word >> 8)};
         },
         2},
    };
    for (const PackCase& c : packs) {
      const std::size_t dataBytes = c.bytesPerPixel * static_cast<std::size_t>(width);
      Bytes out(dataBytes + 4, 0xA5);
      c.run(pixels.data(), out.data(), width);
      Bytes expected;
      for (const ColorQuad& p : pixels) {
        const Bytes one = c.plain(p);
        expected.insert(expected.end(), one.begin(), one.end());
      }
      expected.insert(expected.end(), 4, 0xA5);  // the padding behind the data is left alone
      ASSERT_EQ(out, expected) << "Pack" << c.name << " width " << width;
    }
  }
}

// --- colour matching -------------------------------------------------------------

TEST(FastPaths, PaletteMatcherAgreesWithTheFullScan) {
  for (int depth : {1, 4, 8}) {
    for (std::uint32_t seed = 1; seed <= 6; ++seed) {
      TestRandom random(seed * 31 + static_cast<std::uint32_t>(depth));
      BitmapImage image;
      ASSERT_TRUE(image.SetDepth(depth));
      // Seed 1 keeps the standard table, seed 2 has greys two levels apart
      // (every grey between two entries is a tie) repeating after 128
      // entries, and the others random tables of their own.
      if (seed == 2) {
        for (int k = 0; k < image.ColorCount(); ++k) {
          const auto v = static_cast<std::uint8_t>((2 * k) & 0xFF);
          image.SetPaletteEntry(k, ColorQuad{v, v, v, 0});
        }
      } else if (seed > 2) {
        const std::vector<ColorQuad> table = RandomTable(random, image.ColorCount());
        for (int k = 0; k < image.ColorCount(); ++k)
          image.SetPaletteEntry(k, table[static_cast<std::size_t>(k)]);
      }
      PaletteMatcher matcher(image);
      // Random colours, the table's own colours under any alpha, and each
      // colour asked twice (the second answer comes from memory).
      for (int round = 0; round < 2; ++round) {
        TestRandom colours(seed);
        for (int n = 0; n < 3000; ++n) {
          ColorQuad c = RandomQuad(colours);
          if (n % 5 == 1) c.green = c.blue = c.red;  // greys, near ties in the grey table
          if (n % 3 == 0) {
            c = image.PaletteEntry(
                static_cast<int>(colours.Next() % static_cast<std::uint32_t>(image.ColorCount())));
            c.alpha = colours.Byte();
          }
          ASSERT_EQ(matcher.Match(c), image.NearestPaletteIndex(c))
              << "depth " << depth << " seed " << seed << " colour " << int(c.red) << ","
              << int(c.green) << "," << int(c.blue);
        }
      }
    }
  }
}

// --- loading in chunks -------------------------------------------------------------

struct PictureShape {
  int width;
  int height;
  int depth;
  bool bitFields;  // 16 bits: 5-6-5 masks in the file
};

// The reader's rules transcribed pixel by pixel: rows bottom-up, a row
// decoded only when all of its stored bytes are there; at 16 bits one word
// at a time, a word cut short replacing only the byte that arrived, and the
// last word standing in for every word the file does not give.
std::vector<ColorQuad> PlainDecode(const Bytes& file, const PictureShape& s,
                                   const std::vector<ColorQuad>& table, std::size_t offBits) {
  const std::size_t w = static_cast<std::size_t>(s.width);
  std::vector<ColorQuad> pixels(w * static_cast<std::size_t>(s.height), kWhite);
  std::size_t at = offBits;
  if (s.depth == 16) {
    const unsigned mask[3] = {s.bitFields ? 0xF800u : 0x7C00u, s.bitFields ? 0x07E0u : 0x03E0u,
                              0x001Fu};
    const int shift[3] = {s.bitFields ? 11 : 10, s.bitFields ? 6 : 5, 0};
    unsigned word = 0;
    for (int j = s.height - 1; j >= 0; --j) {
      for (std::size_t i = 0; i < w; ++i) {
        if (at + 2 <= file.size()) {
          word = file[at] + 256u * file[at + 1];
          at += 2;
        } else if (at + 1 == file.size()) {
          word = (word & 0xFF00u) | file[at];
          at += 1;
        }
        ColorQuad& p = pixels[static_cast<std::size_t>(j) * w + i];
        p = ColorQuad{static_cast<std::uint8_t>(8 * ((word & mask[2]) >> shift[2])),
                      static_cast<std::uint8_t>(8 * ((word & mask[1]) >> shift[1])),
                      static_cast<std::uint8_t>(8 * ((word & mask[0]) >> shift[0])), 0};
      }
      at = std::min(at + (w % 2) * 2, file.size());  // the pad bytes, as far as they go
    }
    return pixels;
  }
  const std::size_t stride = test::StoredRowBytes(s.width, s.depth);
  for (int j = s.height - 1; j >= 0 && at + stride <= file.size(); --j, at += stride) {
    for (std::size_t i = 0; i < w; ++i) {
      const std::uint8_t* row = file.data() + at;
      ColorQuad& p = pixels[static_cast<std::size_t>(j) * w + i];
      switch (s.depth) {
        case 32:
          p = ColorQuad{row[4 * i], row[4 * i + 1], row[4 * i + 2], row[4 * i + 3]};
          break;
        case 24:
          p = ColorQuad{row[3 * i], row[3 * i + 1], row[3 * i + 2], 0};
          break;
        case 8:
          p = table[row[i]];
          break;
        case 4:
          p = table[i % 2 == 0 ? row[i / 2] >> 4 : row[i / 2] & 0x0F];
          break;
        default:
          p = table[(row[i / 8] >> (7 - i % 8)) & 1];
          break;
      }
    }
  }
  return pixels;
}

TEST(FastPaths, ChunkedLoadingMatchesRowByRowReading) {
  // Small pictures, and pictures whose rows take several reads of the
  // reader's chunk (and, at 16 bits, large enough for its word table).
  const PictureShape shapes[] = {
      {1, 1, 24, false},     {5, 3, 24, false},     {3000, 100, 24, false}, {7, 5, 32, false},
      {900, 150, 32, false}, {33, 4, 8, false},     {3001, 90, 8, false},   {9, 7, 4, false},
      {2999, 80, 4, false},  {17, 6, 1, false},     {4001, 70, 1, false},   {3, 3, 16, false},
      {5, 4, 16, true},      {1025, 256, 16, true}, {1024, 257, 16, false},
  };
  TestRandom random(7);
  for (const PictureShape& s : shapes) {
    test::BmpFields fields;
    fields.biWidth = s.width;
    fields.biHeight = s.height;
    fields.biBitCount = static_cast<std::uint16_t>(s.depth);
    fields.biCompression = s.bitFields ? 3 : 0;
    const std::vector<std::uint32_t> masks =
        s.bitFields ? std::vector<std::uint32_t>{0xF800, 0x07E0, 0x001F}
                    : std::vector<std::uint32_t>{};
    const std::vector<ColorQuad> table =
        s.depth <= 8 ? RandomTable(random, 1 << s.depth) : std::vector<ColorQuad>{};
    const std::size_t dataBytes =
        s.depth == 16 ? (2 * static_cast<std::size_t>(s.width) + 3) / 4 * 4 *
                            static_cast<std::size_t>(s.height)
                      : test::StoredRowBytes(s.width, s.depth) * static_cast<std::size_t>(s.height);
    Bytes data(dataBytes);
    for (std::uint8_t& b : data) b = random.Byte();
    const Bytes whole = test::BuildBmp(fields, masks, table, data);
    const std::size_t offBits = whole.size() - dataBytes;

    // The whole file, then cuts at the first row, mid-word, mid-row and in
    // the last row.
    const std::size_t cuts[] = {
        whole.size(),    offBits, offBits + 1, offBits + dataBytes / 3 + 1, offBits + dataBytes / 2,
        whole.size() - 1};
    for (std::size_t keep : cuts) {
      const Bytes file(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(keep));
      File in = File::FromMemory(file.data(), file.size());
      if (!in.IsOpen()) GTEST_SKIP() << "no memory streams on this platform";
      BitmapImage image;
      ASSERT_TRUE(image.Load(in)) << s.width << "x" << s.height << "@" << s.depth;
      const std::vector<ColorQuad> expected = PlainDecode(file, s, table, offBits);
      for (int j = 0; j < s.height; ++j)
        for (int i = 0; i < s.width; ++i)
          ASSERT_PRED2(SameQuad, image.Row(j)[i],
                       expected[static_cast<std::size_t>(j) * s.width + i])
              << s.width << "x" << s.height << "@" << s.depth << " keeping " << keep << " of "
              << whole.size() << " bytes, pixel " << i << "," << j;
    }
  }
}

// --- saving in chunks ---------------------------------------------------------------

// The writer's rows transcribed pixel by pixel: bottom row first, each filled
// with zeros to a multiple of 4 bytes, indices from the full scan.
Bytes PlainEncode(const BitmapImage& image) {
  const int depth = image.Depth();
  const std::size_t stride = depth == 16 ? (2 * static_cast<std::size_t>(image.Width()) + 3) / 4 * 4
                                         : test::StoredRowBytes(image.Width(), depth);
  std::map<std::uint32_t, int> nearest;  // the scan's answers, asked once per colour
  auto index = [&](const ColorQuad& c) {
    const std::uint32_t key = (std::uint32_t{c.red} << 16) | (std::uint32_t{c.green} << 8) | c.blue;
    auto found = nearest.find(key);
    if (found == nearest.end()) found = nearest.emplace(key, image.NearestPaletteIndex(c)).first;
    return static_cast<unsigned>(found->second);
  };
  Bytes out;
  for (int j = image.Height() - 1; j >= 0; --j) {
    Bytes row(stride, 0);
    for (int i = 0; i < image.Width(); ++i) {
      const ColorQuad p = image.ReadPixel(i, j);
      const std::size_t x = static_cast<std::size_t>(i);
      switch (depth) {
        case 32:
          row[4 * x] = p.blue;
          row[4 * x + 1] = p.green;
          row[4 * x + 2] = p.red;
          row[4 * x + 3] = p.alpha;
          break;
        case 24:
          row[3 * x] = p.blue;
          row[3 * x + 1] = p.green;
          row[3 * x + 2] = p.red;
          break;
        case 16: {
          const unsigned word = ((p.red >> 3) << 11) | ((p.green >> 2) << 5) | (p.blue >> 3);
          row[2 * x] = static_cast<std::uint8_t>(word & 0xFF);
          row[2 * x + 1] = static_cast<std::uint8_t>(word >> 8);
          break;
        }
        case 8:
          row[x] = static_cast<std::uint8_t>(index(p));
          break;
        case 4:
          row[x / 2] = static_cast<std::uint8_t>(row[x / 2] + (index(p) << (x % 2 ? 0 : 4)));
          break;
        default:
          row[x / 8] = static_cast<std::uint8_t>(row[x / 8] + (index(p) << (7 - x % 8)));
          break;
      }
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

TEST(FastPaths, ChunkedSavingMatchesRowByRowWriting) {
  const PictureShape shapes[] = {
      {1, 1, 24, false},     {7, 3, 24, false}, {3000, 100, 24, false}, {5, 2, 32, false},
      {900, 150, 32, false}, {3, 5, 16, true},  {2001, 70, 16, true},   {33, 3, 8, false},
      {3001, 60, 8, false},  {9, 4, 4, false},  {2999, 50, 4, false},   {13, 5, 1, false},
      {4001, 40, 1, false},
  };
  test::ScratchDir dir;
  TestRandom random(11);
  for (const PictureShape& s : shapes) {
    BitmapImage image;
    ASSERT_TRUE(image.SetDepth(s.depth));
    ASSERT_TRUE(image.Resize(s.width, s.height));
    // A few hundred colours, some of them the table's, as in a picture
    // that was loaded from a paletted file and then marked.
    std::vector<ColorQuad> colours(300);
    for (std::size_t k = 0; k < colours.size(); ++k)
      colours[k] = (s.depth <= 8 && k % 2 == 0) ? image.PaletteEntry(static_cast<int>(k % 256))
                                                : RandomQuad(random);
    for (int j = 0; j < s.height; ++j)
      for (int i = 0; i < s.width; ++i) image.Row(j)[i] = colours[random.Next() % colours.size()];

    const std::string path = dir.File("saved.bmp");
    ASSERT_TRUE(image.Save(path.c_str()));
    const Bytes file = test::ReadFileBytes(path);
    ASSERT_GE(file.size(), 54u);
    const std::size_t offBits = file[10] + 256u * file[11] + 65536u * file[12];
    ASSERT_EQ(Bytes(file.begin() + static_cast<std::ptrdiff_t>(offBits), file.end()),
              PlainEncode(image))
        << s.width << "x" << s.height << "@" << s.depth;
  }
}

}  // namespace
}  // namespace quendral
