#include "bench_pictures.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <tuple>

#include "picture_maker.h"

namespace quendral::bench {
namespace {

class ScratchDirectory {
 public:
  ScratchDirectory()
      : path_(std::filesystem::temp_directory_path() /
              ("quendral-bench-" + std::to_string(getpid()))) {
    std::filesystem::create_directories(path_);
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

ScratchDirectory& Scratch() {
  static ScratchDirectory directory;
  return directory;
}

}  // namespace

std::string ScratchPath(const std::string& name) {
  return Scratch().File(name);
}

const std::string& PhotoFile(int depth, int width, int height) {
  static std::map<std::tuple<int, int, int>, std::string> made;
  const auto key = std::make_tuple(depth, width, height);
  auto found = made.find(key);
  if (found != made.end()) return found->second;
  PictureFormat format;
  format.depth = depth;
  format.standardTable = depth != 8;
  format.bitFields = depth == 16;
  const std::string path =
      ScratchPath("photo-" + std::to_string(depth) + "-" + std::to_string(width) + "x" +
                  std::to_string(height) + ".bmp");
  if (!WriteBytes(path, MakePicture(width, height, format, 7u))) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::abort();
  }
  return made.emplace(key, path).first->second;
}

void LoadPhoto(BitmapImage& image, int depth, int width, int height) {
  if (!image.Load(PhotoFile(depth, width, height).c_str())) {
    std::fprintf(stderr, "cannot load the %d-bit photo\n", depth);
    std::abort();
  }
}

}  // namespace quendral::bench
