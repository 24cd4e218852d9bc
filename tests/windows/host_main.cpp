// A Windows host as a real one is written: it loads quendral.dll from its
// own directory with LoadLibraryW, binds Quendral by name with
// GetProcAddress and calls it with wide paths. It links nothing of the
// library, so it sees only what the DLL itself exports.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using QuendralEntry = std::int32_t(WINAPI*)(const wchar_t*, const wchar_t*);

constexpr std::int32_t kLoaded = 999;
constexpr std::int32_t kNotLoaded = 1;

fs::path OwnDirectory() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length < buffer.size()) {
      buffer.resize(length);
      return fs::path(buffer).parent_path();
    }
    buffer.resize(buffer.size() * 2);
  }
}

// The DLL, loaded once for the whole run as a host would.
class Library {
 public:
  static Library& Get() {
    static Library library;
    return library;
  }
  HMODULE module() const { return module_; }
  QuendralEntry entry() const { return entry_; }

 private:
  Library() {
    const fs::path dll = OwnDirectory() / L"quendral.dll";
    module_ = LoadLibraryW(dll.c_str());
    if (module_ != nullptr)
      entry_ = reinterpret_cast<QuendralEntry>(
          reinterpret_cast<void*>(GetProcAddress(module_, "Quendral")));
  }
  HMODULE module_ = nullptr;
  QuendralEntry entry_ = nullptr;
};

// The names in the DLL's export directory, read from its loaded image.
std::vector<std::string> ExportedNames(HMODULE module) {
  const auto* base = reinterpret_cast<const std::uint8_t*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  std::vector<std::string> names;
  if (directory.VirtualAddress == 0) return names;
  const auto* exports =
      reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
  const auto* nameOffsets = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  for (DWORD k = 0; k < exports->NumberOfNames; ++k)
    names.emplace_back(reinterpret_cast<const char*>(base + nameOffsets[k]));
  return names;
}

void Put16(Bytes& out, std::uint32_t value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void Put32(Bytes& out, std::uint32_t value) {
  for (int k = 0; k < 4; ++k) out.push_back(static_cast<std::uint8_t>(value >> (8 * k)));
}

std::size_t RowBytes(int width, int depth) {
  return (static_cast<std::size_t>(width) * depth + 31) / 32 * 4;
}

// A BMP file of `width` x `height` white pixels at `depth` bits: a
// black-and-white table at the indexed depths, 5-5-5 words at 16 bits.
Bytes WhitePicture(int width, int height, int depth) {
  const bool indexed = depth <= 8;
  const std::uint32_t tableBytes = indexed ? 4u << depth : 0u;
  const std::size_t stride = RowBytes(width, depth);
  Bytes out;
  Put16(out, 0x4D42);
  Put32(out, static_cast<std::uint32_t>(54 + tableBytes + stride * height));
  Put32(out, 0);
  Put32(out, 54 + tableBytes);
  Put32(out, 40);
  Put32(out, static_cast<std::uint32_t>(width));
  Put32(out, static_cast<std::uint32_t>(height));
  Put16(out, 1);
  Put16(out, static_cast<std::uint32_t>(depth));
  for (int k = 0; k < 6; ++k) Put32(out, 0);
  for (std::uint32_t k = 0; k < tableBytes / 4; ++k) Put32(out, k == 1 ? 0x00FFFFFFu : 0u);
  Bytes row(stride, 0);
  const std::size_t dataBytes = (static_cast<std::size_t>(width) * depth + 7) / 8;
  for (std::size_t k = 0; k < dataBytes; ++k)
    row[k] = depth == 1 ? 0xFF : depth == 4 ? 0x11 : depth == 8 ? 0x01 : 0xFF;
  if (depth == 16)
    for (std::size_t k = 1; k < dataBytes; k += 2) row[k] = 0x7F;  // 0x7FFF: white in 5-5-5
  if (depth == 1 && width % 8 != 0)
    row[dataBytes - 1] = static_cast<std::uint8_t>(0xFF << (8 - width % 8));
  for (int j = 0; j < height; ++j) out.insert(out.end(), row.begin(), row.end());
  return out;
}

void WriteBytes(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::uint32_t Field32(const Bytes& file, std::size_t offset) {
  return file[offset] | (file[offset + 1] << 8) | (file[offset + 2] << 16) |
         (std::uint32_t{file[offset + 3]} << 24);
}

// Whether the top-left and top-right triangles, and nothing else, lost red
// and green in a 24- or 32-bit picture that was all white.
void ExpectMarkedWhite(const Bytes& file, int width, int height, int depth) {
  ASSERT_GE(file.size(), 54u);
  const std::size_t bytesPerPixel = depth / 8;
  const std::size_t stride = RowBytes(width, depth);
  const std::size_t offBits = Field32(file, 10);
  ASSERT_EQ(file.size(), offBits + stride * height);
  const int half = width / 2;
  const int lastRow = std::min(std::max(half - 1, 0), height - 1);
  for (int j = 0; j < height; ++j) {
    const std::size_t row = offBits + static_cast<std::size_t>(height - 1 - j) * stride;
    for (int i = 0; i < width; ++i) {
      const std::uint8_t* p = &file[row + i * bytesPerPixel];
      const bool marked = j <= lastRow && (i <= half - j || i >= half + j);
      const std::uint8_t redGreen = marked ? 0 : 255;
      EXPECT_EQ(p[0], 255) << "blue at " << i << "," << j;
      EXPECT_EQ(p[1], redGreen) << "green at " << i << "," << j;
      EXPECT_EQ(p[2], redGreen) << "red at " << i << "," << j;
    }
  }
}

class HostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(Library::Get().module(), nullptr) << "quendral.dll did not load";
    ASSERT_NE(Library::Get().entry(), nullptr) << "quendral.dll has no export named Quendral";
    static std::atomic<int> counter{0};
    dir_ = fs::temp_directory_path() / (L"quendral-host-" + std::to_wstring(GetCurrentProcessId()) +
                                        L"-" + std::to_wstring(counter++));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  std::int32_t Call(const fs::path& in, const fs::path& out) {
    return Library::Get().entry()(in.c_str(), out.c_str());
  }
  fs::path File(const std::wstring& name) const { return dir_ / name; }

  fs::path dir_;
};

TEST_F(HostTest, TheDllExportsQuendralAndNothingElse) {
  EXPECT_EQ(ExportedNames(Library::Get().module()), std::vector<std::string>{"Quendral"});
}

struct DepthCase {
  int depth;
  int width;
  int height;
};

void PrintTo(const DepthCase& c, std::ostream* out) {
  *out << c.depth << " bits, " << c.width << " x " << c.height;
}

class HostDepthTest : public HostTest, public ::testing::WithParamInterface<DepthCase> {};

// Every accepted depth comes back at its own depth; where pixels are stored
// as they are (24 and 32 bits) the marked triangles are checked pixel by pixel.
TEST_P(HostDepthTest, MarksAndSavesAtTheInputDepth) {
  const DepthCase c = GetParam();
  WriteBytes(File(L"in.bmp"), WhitePicture(c.width, c.height, c.depth));
  ASSERT_EQ(Call(File(L"in.bmp"), File(L"out.bmp")), kLoaded);
  const Bytes out = ReadBytes(File(L"out.bmp"));
  ASSERT_GE(out.size(), 54u);
  EXPECT_EQ(out[0], 'B');
  EXPECT_EQ(out[1], 'M');
  EXPECT_EQ(out[28], c.depth);
  EXPECT_EQ(Field32(out, 2), out.size());
  if (c.depth >= 24) ExpectMarkedWhite(out, c.width, c.height, c.depth);
}

INSTANTIATE_TEST_SUITE_P(Depths, HostDepthTest,
                         ::testing::Values(DepthCase{1, 9, 5}, DepthCase{4, 7, 3},
                                           DepthCase{8, 6, 4}, DepthCase{16, 5, 5},
                                           DepthCase{24, 10, 6}, DepthCase{24, 1, 1},
                                           DepthCase{32, 11, 7}),
                         [](const ::testing::TestParamInfo<DepthCase>& info) {
                           const DepthCase& c = info.param;
                           return std::to_string(c.depth) + "bits_" + std::to_string(c.width) +
                                  "x" + std::to_string(c.height);
                         });

TEST_F(HostTest, UnloadableInputsGiveOneAndWriteNothing) {
  WriteBytes(File(L"not-a-picture.bmp"), Bytes{'G', 'I', 'F', '8', '9', 'a'});
  Bytes cut = WhitePicture(4, 4, 24);
  cut.resize(40);
  WriteBytes(File(L"cut.bmp"), cut);
  for (const wchar_t* name : {L"missing.bmp", L"not-a-picture.bmp", L"cut.bmp"}) {
    SCOPED_TRACE(fs::path(name).string());
    EXPECT_EQ(Call(File(name), File(L"out.bmp")), kNotLoaded);
    EXPECT_FALSE(fs::exists(File(L"out.bmp")));
  }
  EXPECT_EQ(Library::Get().entry()(nullptr, File(L"out.bmp").c_str()), kNotLoaded);
  EXPECT_FALSE(fs::exists(File(L"out.bmp")));
}

TEST_F(HostTest, AnUnwritableOutputStillGives999) {
  WriteBytes(File(L"in.bmp"), WhitePicture(4, 4, 24));
  EXPECT_EQ(Call(File(L"in.bmp"), File(L"no-such-dir") / L"out.bmp"), kLoaded);
  EXPECT_FALSE(fs::exists(File(L"no-such-dir")));
  EXPECT_EQ(Library::Get().entry()(File(L"in.bmp").c_str(), nullptr), kLoaded);
}

TEST_F(HostTest, InputAndOutputMayBeTheSameFile) {
  WriteBytes(File(L"same.bmp"), WhitePicture(10, 6, 24));
  ASSERT_EQ(Call(File(L"same.bmp"), File(L"same.bmp")), kLoaded);
  ExpectMarkedWhite(ReadBytes(File(L"same.bmp")), 10, 6, 24);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

// Whether the ANSI code page can name `text` exactly. UTF-8 can name every
// well-formed string but refuses to report replacements.
bool AnsiCodePageHas(const std::wstring& text) {
  if (GetACP() == CP_UTF8)
    return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.c_str(), -1, nullptr, 0, nullptr,
                               nullptr) > 0;
  BOOL usedDefault = FALSE;
  const int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), -1, nullptr, 0,
                                         nullptr, &usedDefault);
  return length > 0 && !usedDefault;
}

// Paths reach the library through the ANSI code page. A name the code page
// holds opens that very file; one it lacks must fail to open rather than
// open a file with a stand-in or look-alike character in its name (the
// full-width a must not become a). The long path takes three UTF-8 bytes
// for most of its UTF-16 units.
TEST_F(HostTest, WidePathsOpenTheFileTheyNameOrNone) {
  const Bytes picture = WhitePicture(6, 4, 24);
  const std::wstring longName =
      std::wstring(60, L'\u6587') + L"\\" + std::wstring(60, L'\u4e2d') + L".bmp";
  for (const std::wstring& name :
       {std::wstring(L"bild-\u00e4\u00f6\u00fc.bmp"), std::wstring(L"\u4e2d\u6587.bmp"),
        std::wstring(L"smile-\U0001F600.bmp"), std::wstring(L"full-width-\uFF41.bmp"), longName}) {
    SCOPED_TRACE(fs::path(name).u8string().c_str());
    const fs::path input = File(name);
    const fs::path output = fs::path(input).replace_extension(L".out.bmp");
    fs::create_directories(input.parent_path());
    WriteBytes(input, picture);
    if (AnsiCodePageHas(output.wstring())) {
      EXPECT_EQ(Call(input, output), kLoaded);
      ExpectMarkedWhite(ReadBytes(output), 6, 4, 24);
    } else {
      EXPECT_EQ(Call(input, output), kNotLoaded);
      // The same picture under a plain name loads, but its output under
      // the name the code page lacks is not written anywhere.
      WriteBytes(File(L"plain.bmp"), picture);
      EXPECT_EQ(Call(File(L"plain.bmp"), output), kLoaded);
      EXPECT_FALSE(fs::exists(output));
      std::size_t files = 0;
      for (const auto& entry : fs::recursive_directory_iterator(dir_))
        files += entry.is_regular_file() ? 1 : 0;
      EXPECT_EQ(files, 2u) << "an output was written under another name";
      fs::remove(File(L"plain.bmp"));
    }
    for (const fs::path& entry : fs::directory_iterator(dir_)) fs::remove_all(entry);
  }
}

#if !defined(QUENDRAL_HOST_ASKS_FOR_UTF8)
// The command takes its arguments as wide text as well: a name that the
// code page lacks is refused, not turned into a look-alike naming another
// file (here the plain a.bmp beside it).
TEST_F(HostTest, TheCommandRefusesNamesTheCodePageLacks) {
  const fs::path command = OwnDirectory() / L"quendral.exe";
  if (!fs::exists(command)) GTEST_SKIP() << "quendral.exe is not built";
  const std::wstring name = L"\uFF41.bmp";
  if (AnsiCodePageHas(name)) GTEST_SKIP() << "the system's code page holds a full-width a";
  WriteBytes(File(L"a.bmp"), WhitePicture(6, 4, 24));
  WriteBytes(File(name), WhitePicture(6, 4, 24));
  std::wstring line = L"\"" + command.wstring() + L"\" mark \"" + File(name).wstring() + L"\" \"" +
                      File(L"out.bmp").wstring() + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &process));
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exitCode = 0;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  EXPECT_EQ(exitCode, 2u);
  EXPECT_FALSE(fs::exists(File(L"out.bmp")));
}
#endif

#if defined(QUENDRAL_HOST_ASKS_FOR_UTF8)
// This host's manifest asks for UTF-8 as its ANSI code page; the path tests
// above then take the branch where every name can be opened.
TEST(HostCodePage, IsUtf8AsTheManifestAsks) {
  EXPECT_EQ(GetACP(), static_cast<UINT>(CP_UTF8));
}
#endif

// A host may call from several threads at once; each call keeps to itself.
TEST_F(HostTest, CallsOnSeveralThreadsDoNotInterfere) {
  constexpr int kThreads = 4;
  std::vector<std::int32_t> results(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    WriteBytes(File(L"in" + std::to_wstring(t) + L".bmp"), WhitePicture(20 + t, 9, 24));
    threads.emplace_back([this, t, &results] {
      for (int round = 0; round < 5 && results[t] != kNotLoaded; ++round)
        results[t] = Call(File(L"in" + std::to_wstring(t) + L".bmp"),
                          File(L"out" + std::to_wstring(t) + L".bmp"));
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(results[t], kLoaded);
    ExpectMarkedWhite(ReadBytes(File(L"out" + std::to_wstring(t) + L".bmp")), 20 + t, 9, 24);
  }
}

}  // namespace
