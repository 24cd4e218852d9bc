// Runs fuzz inputs through a fuzz target without libFuzzer, so that the
// seed corpus and every input that once broke a target stay regression
// tests in any build. Arguments are files or directories (every file under
// them, in name order; hidden files such as .gitkeep are passed over). A
// broken invariant aborts; otherwise exits 0.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_check.h"

namespace {

std::vector<std::filesystem::path> InputFiles(const std::vector<std::string>& arguments) {
  std::vector<std::filesystem::path> files;
  for (const std::string& argument : arguments) {
    if (std::filesystem::is_directory(argument)) {
      for (const auto& entry : std::filesystem::recursive_directory_iterator(argument))
        if (entry.is_regular_file() && entry.path().filename().string().front() != '.')
          files.push_back(entry.path());
    } else {
      files.emplace_back(argument);
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h") {
    std::fprintf(stderr,
                 "usage: %s FILE|DIR...\n"
                 "Runs every file given, and every file under every directory given, through\n"
                 "the fuzz target; aborts on the first broken invariant.\n",
                 argc > 0 ? argv[0] : "replay");
    return argc < 2 ? 2 : 0;
  }
  const auto files = InputFiles(std::vector<std::string>(argv + 1, argv + argc));
  for (const auto& file : files) {
    std::ifstream stream(file, std::ios::binary);
    if (!stream) {
      std::fprintf(stderr, "cannot read %s\n", file.string().c_str());
      return 1;
    }
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(stream)),
                                          std::istreambuf_iterator<char>());
    std::fprintf(stderr, "%s\n", file.string().c_str());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  std::printf("%zu inputs passed\n", files.size());
  return 0;
}
