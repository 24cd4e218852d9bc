// The shared library as a host uses it: loaded at run time, reached through
// its one exported name and called with UTF-16 paths. The pictures it
// writes are checked by a small decoder of this file's own, so nothing of
// the library answers for itself here.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "quendral/quendral.h"
#include "support/bmp_bytes.h"
#include "support/scratch_dir.h"

namespace quendral {
namespace {

using test::BmpFields;
using test::Bytes;
using Names = std::vector<std::string>;

constexpr std::int32_t kLoaded = 999;
constexpr std::int32_t kNotLoaded = 1;

// --- a decoder independent of the library -------------------------------------

std::uint32_t U32(const Bytes& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}

struct Picture {
  int depth = 0, width = 0, height = 0;
  std::vector<ColorQuad> table;
  std::vector<ColorQuad> pixels;  // top row first
  ColorQuad At(int i, int j) const { return pixels[static_cast<std::size_t>(j * width + i)]; }
};

// Reads an uncompressed 1-, 4-, 8- or 24-bit file, rows bottom-up, as the
// format defines it; false for anything else or a file cut short.
bool Decode(const Bytes& b, Picture& p) {
  if (b.size() < 54 || b[0] != 'B' || b[1] != 'M' || U32(b, 30) != 0) return false;
  const std::size_t offBits = U32(b, 10);
  p.width = static_cast<std::int32_t>(U32(b, 18));
  p.height = static_cast<std::int32_t>(U32(b, 22));
  p.depth = b[28] | (b[29] << 8);
  if (p.width < 1 || p.height < 1 ||
      (p.depth != 1 && p.depth != 4 && p.depth != 8 && p.depth != 24))
    return false;
  p.table.clear();
  if (p.depth <= 8)
    for (std::size_t at = 54; at + 4 <= offBits; at += 4)
      p.table.push_back({b[at], b[at + 1], b[at + 2], b[at + 3]});
  const std::size_t stride = (static_cast<std::size_t>(p.width) * p.depth + 31) / 32 * 4;
  if (offBits + stride * p.height > b.size()) return false;
  p.pixels.clear();
  for (int j = 0; j < p.height; ++j) {
    const std::uint8_t* row = &b[offBits + stride * (p.height - 1 - j)];
    for (int i = 0; i < p.width; ++i) {
      if (p.depth == 24) {
        p.pixels.push_back({row[3 * i], row[3 * i + 1], row[3 * i + 2], 0});
        continue;
      }
      const int bit = i * p.depth;
      const int index = (row[bit / 8] >> (8 - p.depth - bit % 8)) & ((1 << p.depth) - 1);
      if (static_cast<std::size_t>(index) >= p.table.size()) return false;
      p.pixels.push_back(p.table[static_cast<std::size_t>(index)]);
    }
  }
  return true;
}

// --- what the marking should do -------------------------------------------------

// Row j of the two top corner triangles: columns 0 .. W/2 - j and
// W/2 + j .. W - 1, for rows 0 .. max(W/2 - 1, 0).
bool InTriangle(int i, int j, int width) {
  const int half = width / 2;
  return j <= std::max(half - 1, 0) && (i <= half - j || i >= half + j);
}

ColorQuad Marked(ColorQuad c) {
  c.red = 0;
  c.green = 0;
  return c;
}

// The entry nearest to `c` by squared distance of red, green and blue; the
// lowest index among equals.
ColorQuad Nearest(const std::vector<ColorQuad>& table, const ColorQuad& c) {
  std::size_t best = 0;
  long bestDistance = -1;
  for (std::size_t k = 0; k < table.size(); ++k) {
    const long dr = table[k].red - c.red, dg = table[k].green - c.green,
               db = table[k].blue - c.blue;
    const long d = dr * dr + dg * dg + db * db;
    if (bestDistance < 0 || d < bestDistance) {
      bestDistance = d;
      best = k;
    }
  }
  return table[best];
}

// A picture of random pixels at `depth`, with a full table of random
// colours at 1, 4 and 8 bits.
Bytes RandomPicture(int depth, int width, int height, std::uint32_t seed) {
  test::TestRandom random(seed);
  std::vector<ColorQuad> table(depth <= 8 ? std::size_t{1} << depth : 0);
  for (ColorQuad& e : table) e = {random.Byte(), random.Byte(), random.Byte(), random.Byte()};
  Bytes pixels(test::StoredRowBytes(width, depth) * static_cast<std::size_t>(height));
  for (std::uint8_t& b : pixels) b = random.Byte();
  BmpFields fields;
  fields.biBitCount = static_cast<std::uint16_t>(depth);
  fields.biWidth = width;
  fields.biHeight = height;
  return test::BuildBmp(fields, {}, table, pixels);
}

// The UTF-16 form of an ASCII path.
std::u16string Wide(const std::string& ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

// --- the library, loaded as a host loads it -------------------------------------

using QuendralFunction = decltype(&::Quendral);

class Host : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    library_ = dlopen(QUENDRAL_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    if (library_ != nullptr)
      quendral_ = reinterpret_cast<QuendralFunction>(dlsym(library_, "Quendral"));
  }
  static void TearDownTestSuite() {
    if (library_ != nullptr) dlclose(library_);
    library_ = nullptr;
    quendral_ = nullptr;
  }
  void SetUp() override {
    ASSERT_NE(library_, nullptr) << "cannot load " << QUENDRAL_LIBRARY_PATH << ": " << dlerror();
    ASSERT_NE(quendral_, nullptr) << "the library does not export Quendral";
  }

  static std::int32_t Call(const std::u16string& in, const std::u16string& out) {
    return quendral_(in.c_str(), out.c_str());
  }
  std::int32_t CallNamed(const std::string& in, const std::string& out) {
    return Call(Wide(dir_.File(in)), Wide(dir_.File(out)));
  }
  void Write(const std::string& name, const Bytes& bytes) {
    test::WriteFileBytes(dir_.File(name), bytes);
  }
  Bytes Read(const std::string& name) { return test::ReadFileBytes(dir_.File(name)); }

  // `output` must be `input` marked: same depth, size and table, and every
  // pixel of the triangles the table entry nearest to its marked colour.
  static void ExpectMarked(const Bytes& input, const Bytes& output, const std::string& what) {
    Picture in, out;
    ASSERT_TRUE(Decode(input, in)) << what;
    ASSERT_TRUE(Decode(output, out)) << what << ": the output is no readable picture";
    ASSERT_EQ(out.depth, in.depth) << what;
    ASSERT_EQ(out.width, in.width) << what;
    ASSERT_EQ(out.height, in.height) << what;
    EXPECT_EQ(U32(output, 38), U32(input, 38)) << what << ": resolution";
    if (in.depth <= 8) {
      ASSERT_EQ(out.table, in.table) << what;
    }
    for (int j = 0; j < in.height; ++j) {
      for (int i = 0; i < in.width; ++i) {
        ColorQuad expected = InTriangle(i, j, in.width) ? Marked(in.At(i, j)) : in.At(i, j);
        if (in.depth <= 8) expected = Nearest(in.table, expected);
        ASSERT_EQ(out.At(i, j), expected) << what << ", pixel " << i << "," << j;
      }
    }
  }

  static void* library_;
  static QuendralFunction quendral_;
  test::ScratchDir dir_;
};

void* Host::library_ = nullptr;
QuendralFunction Host::quendral_ = nullptr;

TEST_F(Host, MarksTheTopCornerTrianglesAtTheInputsDepth) {
  struct Case {
    int depth, width, height;
  };
  const Case cases[] = {{24, 1, 1},  {24, 3, 2}, {24, 4, 3}, {24, 10, 7},
                        {24, 10, 2}, {1, 13, 9}, {4, 9, 6},  {8, 12, 8}};
  for (const Case& c : cases) {
    const std::string what = std::to_string(c.depth) + " bits, " + std::to_string(c.width) + " x " +
                             std::to_string(c.height);
    const Bytes input =
        RandomPicture(c.depth, c.width, c.height, static_cast<std::uint32_t>(c.width * c.height));
    Write("in.bmp", input);
    ASSERT_EQ(CallNamed("in.bmp", "out.bmp"), kLoaded) << what;
    ExpectMarked(input, Read("out.bmp"), what);
  }
}

TEST_F(Host, APictureCutShortIsMarkedWithWhiteForWhatIsMissing) {
  Bytes input = RandomPicture(24, 6, 4, 7);
  input.resize(54 + 2 * 20 + 5);  // two whole rows of 20 bytes and a piece of the third
  Write("in.bmp", input);
  ASSERT_EQ(CallNamed("in.bmp", "out.bmp"), kLoaded);
  Picture out;
  ASSERT_TRUE(Decode(Read("out.bmp"), out));
  ASSERT_EQ(out.height, 4);
  const ColorQuad markedWhite{255, 0, 0, 0};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(out.At(i, 0), markedWhite) << i;
    EXPECT_EQ(out.At(i, 1), InTriangle(i, 1, 6) ? markedWhite : kWhite) << i;
  }
}

TEST_F(Host, InputsThatDoNotLoadGive1AndWriteNothing) {
  BmpFields rle;
  rle.biBitCount = 8;
  rle.biCompression = 1;
  const std::string text = "not a picture at all, but long enough to hold both headers........";
  struct Case {
    const char* name;
    bool exists;
    Bytes bytes;
  };
  const Case cases[] = {
      {"missing", false, {}},
      {"empty", true, {}},
      {"text", true, Bytes(text.begin(), text.end())},
      {"run-length coded", true, test::BuildBmp(rle, {}, {}, Bytes(8, 0))},
  };
  for (const Case& c : cases) {
    test::ScratchDir dir;
    if (c.exists) test::WriteFileBytes(dir.File("in.bmp"), c.bytes);
    EXPECT_EQ(Call(Wide(dir.File("in.bmp")), Wide(dir.File("out.bmp"))), kNotLoaded) << c.name;
    EXPECT_EQ(dir.Entries(), c.exists ? Names{"in.bmp"} : Names{}) << c.name;
  }
}

TEST_F(Host, AnOutputThatCannotBeWrittenStillGives999) {
  Write("in.bmp", RandomPicture(24, 4, 4, 1));
  EXPECT_EQ(CallNamed("in.bmp", "missing/out.bmp"), kLoaded);
  EXPECT_EQ(Call(Wide(dir_.File("in.bmp")), u""), kLoaded);
  EXPECT_EQ(dir_.Entries(), Names{"in.bmp"});
}

TEST_F(Host, InputAndOutputMayBeTheSameFile) {
  const Bytes input = RandomPicture(8, 11, 7, 3);
  Write("picture.bmp", input);
  ASSERT_EQ(CallNamed("picture.bmp", "picture.bmp"), kLoaded);
  ExpectMarked(input, Read("picture.bmp"), "in place");
  EXPECT_EQ(dir_.Entries(), Names{"picture.bmp"});
}

TEST_F(Host, NullPathsAreFilesThatCannotBeOpened) {
  Write("in.bmp", RandomPicture(24, 4, 4, 2));
  const std::u16string in = Wide(dir_.File("in.bmp"));
  const std::u16string out = Wide(dir_.File("out.bmp"));
  EXPECT_EQ(quendral_(nullptr, out.c_str()), kNotLoaded);
  EXPECT_EQ(quendral_(in.c_str(), nullptr), kLoaded);
  EXPECT_EQ(quendral_(nullptr, nullptr), kNotLoaded);
  EXPECT_EQ(dir_.Entries(), Names{"in.bmp"});
}

TEST_F(Host, PathsBeyondAsciiNameTheFilesTheySpell) {
  const Bytes input = RandomPicture(24, 6, 3, 4);
  Write(u8"bild-é-日本.bmp", input);
  const std::u16string dir = Wide(dir_.path() + "/");
  ASSERT_EQ(Call(dir + u"bild-é-日本.bmp", dir + u"😀-ausgabe-ß.bmp"), kLoaded);
  ExpectMarked(input, Read(u8"😀-ausgabe-ß.bmp"), "non-ASCII names");
  EXPECT_EQ(dir_.Entries(), (Names{u8"bild-é-日本.bmp", u8"😀-ausgabe-ß.bmp"}));
}

TEST_F(Host, PathsWithLoneSurrogatesOpenNothing) {
  Write("in.bmp", RandomPicture(24, 4, 4, 5));
  const std::u16string dir = Wide(dir_.path() + "/");
  const std::u16string in = dir + u"in.bmp";
  const std::u16string broken[] = {
      dir + u"in.bmp" + char16_t{0xD800},                   // high surrogate at the end
      dir + char16_t{0xDC00} + u"in.bmp",                   // low surrogate alone
      dir + char16_t{0xDE00} + char16_t{0xD83D} + u".bmp",  // a pair in the wrong order
  };
  for (const std::u16string& path : broken) {
    EXPECT_EQ(Call(path, dir + u"out.bmp"), kNotLoaded);
    EXPECT_EQ(Call(in, path), kLoaded);
    EXPECT_EQ(dir_.Entries(), Names{"in.bmp"});
  }
}

TEST_F(Host, TheLibraryExportsQuendralAndNothingElse) {
  const std::string nm = QUENDRAL_NM;
  if (nm.empty()) GTEST_SKIP() << "no nm to list the exports with";
  std::FILE* pipe =
      popen(("'" + nm + "' -D --defined-only '" + QUENDRAL_LIBRARY_PATH + "'").c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::set<std::string> symbols;
  char line[512];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    char address[64], kind[8], name[256];
    if (std::sscanf(line, "%63s %7s %255s", address, kind, name) == 3) symbols.insert(name);
  }
  ASSERT_EQ(pclose(pipe), 0) << "nm failed";
  EXPECT_EQ(symbols, std::set<std::string>{"Quendral"});
}

// Calls on many threads at once, on different inputs and on one shared
// input, write exactly what the same calls write one after another.
TEST_F(Host, ConcurrentCallsWriteWhatSerialCallsWrite) {
  constexpr int kInputs = 8, kSharing = 4, kRounds = 3;
  const int depths[kInputs] = {1, 4, 8, 16, 24, 32, 24, 8};
  std::vector<Bytes> serial;
  for (int k = 0; k < kInputs; ++k) {
    const std::string in = "in" + std::to_string(k) + ".bmp";
    Write(in, RandomPicture(depths[k], 61 + k, 47 + 2 * k, static_cast<std::uint32_t>(100 + k)));
    ASSERT_EQ(CallNamed(in, "serial.bmp"), kLoaded) << k;
    serial.push_back(Read("serial.bmp"));
  }
  for (int round = 0; round < kRounds; ++round) {
    std::atomic<int> waiting{kInputs + kSharing};
    std::vector<std::int32_t> results(kInputs + kSharing, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kInputs + kSharing; ++t) {
      threads.emplace_back([&, t] {
        const int input = t < kInputs ? t : 0;
        const std::u16string in = Wide(dir_.File("in" + std::to_string(input) + ".bmp"));
        const std::u16string out = Wide(dir_.File("out" + std::to_string(t) + ".bmp"));
        waiting.fetch_sub(1);
        while (waiting.load() > 0) std::this_thread::yield();  // start together
        results[static_cast<std::size_t>(t)] = Call(in, out);
      });
    }
    for (std::thread& thread : threads) thread.join();
    for (int t = 0; t < kInputs + kSharing; ++t) {
      const int input = t < kInputs ? t : 0;
      EXPECT_EQ(results[static_cast<std::size_t>(t)], kLoaded) << "thread " << t;
      EXPECT_EQ(Read("out" + std::to_string(t) + ".bmp"), serial[static_cast<std::size_t>(input)])
          << "round " << round << ", thread " << t;
    }
  }
}

}  // namespace
}  // namespace quendral
