// Writes the deterministic pictures that the whole-job benchmark and the
// output comparison run on.
//
//   quendral_make_pictures photos DIR WIDTH HEIGHT
//       photo-1, -4, -8, -16, -24 and -32.bmp: one photo-like picture per
//       depth (8 bits with its own table, 16 bits as 5-6-5 bit fields).
//   quendral_make_pictures golden DIR
//       a fixed set of small and medium pictures at every depth: odd widths,
//       standard and own tables, short tables, both 16-bit layouts, files
//       cut short anywhere from the headers to the last row.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "picture_maker.h"

namespace quendral::bench {
namespace {

struct GoldenCase {
  std::string name;
  int width;
  int height;
  PictureFormat format;
  // Bytes kept: the whole file when `keepNumerator` is 0, else that
  // fraction of it (out of 1000) plus `keepExtra` bytes.
  int keepNumerator = 0;
  int keepExtra = 0;
};

PictureFormat Format(int depth, bool standardTable = true, int tableEntries = -1,
                     bool bitFields = false) {
  PictureFormat f;
  f.depth = depth;
  f.standardTable = standardTable;
  f.tableEntries = tableEntries;
  f.bitFields = bitFields;
  return f;
}

std::vector<GoldenCase> GoldenCases() {
  std::vector<GoldenCase> cases;
  struct Size {
    int w, h;
  };
  // Widths that leave every possible remainder of pixels in the last byte
  // and of bytes in the last 4-byte group; heights both below and above
  // half the width, so that the marked triangles end early or fit.
  const Size sizes[] = {{1, 1},  {2, 3},   {3, 5},    {7, 4},     {9, 9},
                        {33, 9}, {64, 40}, {101, 33}, {640, 480}, {1283, 721}};
  struct Kind {
    const char* label;
    PictureFormat format;
  };
  const Kind kinds[] = {
      {"1std", Format(1)},    {"1own", Format(1, false)},
      {"4std", Format(4)},    {"4own", Format(4, false)},
      {"8std", Format(8)},    {"8own", Format(8, false)},
      {"16-555", Format(16)}, {"16-565", Format(16, true, -1, true)},
      {"24", Format(24)},     {"32", Format(32)},
  };
  auto add = [&](std::string name, int w, int h, PictureFormat f, int keep = 0, int extra = 0) {
    cases.push_back({std::move(name), w, h, f, keep, extra});
  };
  for (const Kind& kind : kinds)
    for (const Size& s : sizes)
      add(std::string("g") + kind.label + "-" + std::to_string(s.w) + "x" + std::to_string(s.h),
          s.w, s.h, kind.format);

  // Short colour tables: the entries the file does not give are white.
  add("short-table-8-16entries", 101, 33, Format(8, false, 16));
  add("short-table-4-5entries", 33, 9, Format(4, true, 5));
  add("short-table-8-none", 64, 40, Format(8, true, 0));

  // Files that end early: inside the headers, inside the table or masks,
  // at the first row, and mid-row and mid-word at several places.
  const int cuts[][2] = {{0, 30},  {0, 60},  {0, 200}, {500, 0},
                         {500, 1}, {500, 3}, {731, 2}, {999, 0}};
  const Kind cutKinds[] = {{"1std", Format(1)},
                           {"4own", Format(4, false)},
                           {"8own", Format(8, false)},
                           {"16-555", Format(16)},
                           {"16-565", Format(16, true, -1, true)},
                           {"24", Format(24)},
                           {"32", Format(32)}};
  const Size cutSizes[] = {{33, 9}, {1283, 721}};
  for (const Kind& kind : cutKinds)
    for (const Size& s : cutSizes)
      for (const auto& cut : cuts) {
        if (cut[0] == 0 && s.w > 100) continue;  // header cuts need one size only
        add(std::string("cut-") + kind.label + "-" + std::to_string(s.w) + "x" +
                std::to_string(s.h) + "-" + std::to_string(cut[0]) + "-" + std::to_string(cut[1]),
            s.w, s.h, kind.format, cut[0], cut[1]);
      }
  return cases;
}

int Usage() {
  std::fprintf(stderr,
               "usage: quendral_make_pictures photos DIR WIDTH HEIGHT\n"
               "       quendral_make_pictures golden DIR\n");
  return 2;
}

bool Write(const std::string& path, const Bytes& bytes) {
  if (WriteBytes(path, bytes)) return true;
  std::fprintf(stderr, "quendral_make_pictures: cannot write %s\n", path.c_str());
  return false;
}

int MakePhotos(const std::string& dir, int width, int height) {
  const PictureFormat formats[] = {
      Format(1), Format(4), Format(8, false), Format(16, true, -1, true), Format(24), Format(32)};
  for (const PictureFormat& f : formats) {
    const std::string path = dir + "/photo-" + std::to_string(f.depth) + ".bmp";
    if (!Write(path, MakePicture(width, height, f, 20240601u))) return 1;
  }
  return 0;
}

int MakeGolden(const std::string& dir) {
  std::uint32_t seed = 1;
  for (const GoldenCase& c : GoldenCases()) {
    Bytes bytes = MakePicture(c.width, c.height, c.format, seed++);
    if (c.keepNumerator != 0) {
      const std::size_t keep = bytes.size() * static_cast<std::size_t>(c.keepNumerator) / 1000 +
                               static_cast<std::size_t>(c.keepExtra);
      if (keep < bytes.size()) bytes.resize(keep);
    } else if (c.keepExtra != 0) {
      bytes.resize(static_cast<std::size_t>(c.keepExtra));
    }
    if (!Write(dir + "/" + c.name + ".bmp", bytes)) return 1;
  }
  return 0;
}

}  // namespace
}  // namespace quendral::bench

int main(int argc, char** argv) {
  using namespace quendral::bench;
  if (argc == 5 && std::string(argv[1]) == "photos") {
    const int width = std::atoi(argv[3]);
    const int height = std::atoi(argv[4]);
    if (width < 1 || height < 1) return Usage();
    return MakePhotos(argv[2], width, height);
  }
  if (argc == 3 && std::string(argv[1]) == "golden") return MakeGolden(argv[2]);
  return Usage();
}
