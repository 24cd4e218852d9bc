// A C++ host of the Quendral library: marks the picture IN and saves it as OUT.
// See CMakeLists.txt beside it for find_package(quendral).
#include <quendral/quendral.h>

#include <cstdint>
#include <filesystem>
#include <iostream>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: " << argv[0] << " IN OUT\n";
    return 2;
  }
  // std::filesystem converts the system's narrow text to the UTF-16 the library takes.
#if defined(_WIN32)
  const std::wstring in = std::filesystem::path(argv[1]).wstring();
  const std::wstring out = std::filesystem::path(argv[2]).wstring();
#else
  const std::u16string in = std::filesystem::path(argv[1]).u16string();
  const std::u16string out = std::filesystem::path(argv[2]).u16string();
#endif
  // 999: the input was loaded (and the output attempted); 1: it was not.
  const std::int32_t result = Quendral(in.c_str(), out.c_str());
  std::cout << "Quendral returned " << result << "\n";
  return result == 999 ? 0 : 1;
}
