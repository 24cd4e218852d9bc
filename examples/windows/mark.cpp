// A Windows host of quendral.dll: loads it at run time, binds Quendral by
// name and calls it with the wide paths it was given.
//
//   x86_64-w64-mingw32-g++ -municode mark.cpp -o mark.exe && mark.exe in.bmp out.bmp
#include <windows.h>

#include <cstdint>
#include <cwchar>

using QuendralEntry = std::int32_t(WINAPI*)(const wchar_t*, const wchar_t*);

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fwprintf(stderr, L"usage: %ls IN OUT\n", argv[0]);
    return 2;
  }
  // The program's own directory is the first place searched.
  HMODULE library = LoadLibraryW(L"quendral.dll");
  if (library == nullptr) {
    std::fwprintf(stderr, L"quendral.dll did not load (error %lu)\n", GetLastError());
    return 1;
  }
  const auto quendral =
      reinterpret_cast<QuendralEntry>(reinterpret_cast<void*>(GetProcAddress(library, "Quendral")));
  if (quendral == nullptr) {
    std::fwprintf(stderr, L"quendral.dll has no export named Quendral\n");
    return 1;
  }
  // 999: the input was loaded (and the output attempted); 1: it was not.
  const std::int32_t result = quendral(argv[1], argv[2]);
  std::wprintf(L"Quendral returned %d\n", static_cast<int>(result));
  FreeLibrary(library);
  return result == 999 ? 0 : 1;
}
