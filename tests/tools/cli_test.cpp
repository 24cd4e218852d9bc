// The quendral command run as a user runs it: every exit code, the message
// behind it, and the files it leaves.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "export/mark_triangles.h"
#include "image/bitmap_image.h"
#include "support/bmp_bytes.h"
#include "support/scratch_dir.h"

namespace quendral {
namespace {

using test::BmpFields;
using test::Bytes;
using Args = std::vector<std::string>;
using Names = std::vector<std::string>;

struct Outcome {
  int exitCode = -1;
  std::string out, err;
};

std::string ReadText(const std::string& path) {
  const Bytes bytes = test::ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

// The program, behind the emulator that a cross build runs its programs
// with (given as words separated by '|').
Args ProgramCommand() {
  Args words;
  const std::string launcher = QUENDRAL_PROGRAM_LAUNCHER;
  for (std::size_t start = 0; !launcher.empty();) {
    const std::size_t bar = launcher.find('|', start);
    words.push_back(launcher.substr(start, bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  words.push_back(QUENDRAL_PROGRAM_PATH);
  return words;
}

// Runs the program with `args` in `workDir`, capturing its output.
Outcome Run(const Args& args, const std::string& workDir) {
  test::ScratchDir capture;
  const std::string outPath = capture.File("stdout");
  const std::string errPath = capture.File("stderr");
  Args command = ProgramCommand();
  command.insert(command.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out < 0 || err < 0 || chdir(workDir.c_str()) != 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0)
      _exit(126);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  Outcome outcome;
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status))
    outcome.exitCode = WEXITSTATUS(status);
  outcome.out = ReadText(outPath);
  outcome.err = ReadText(errPath);
  return outcome;
}

std::string Joined(const Args& args) {
  std::string text = "quendral";
  for (const std::string& a : args) text += " '" + a + "'";
  return text;
}

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    BmpFields fields;
    fields.biWidth = 8;
    fields.biHeight = 6;
    test::TestRandom random(8);
    Bytes pixels(test::StoredRowBytes(8, 24) * 6);
    for (std::uint8_t& b : pixels) b = random.Byte();
    Put("in.bmp", test::BuildBmp(fields, {}, {}, pixels));
  }
  void Put(const std::string& name, const Bytes& bytes) {
    test::WriteFileBytes(dir_.File(name), bytes);
  }
  Outcome Run(const Args& args) { return quendral::Run(args, dir_.path()); }

  // One run that must fail with `exitCode`, one line on stderr holding
  // `message`, nothing on stdout and no new file.
  void ExpectFailure(const Args& args, int exitCode, const std::string& message) {
    const Names before = dir_.Entries();
    const Outcome o = Run(args);
    EXPECT_EQ(o.exitCode, exitCode) << Joined(args) << "\n" << o.err;
    EXPECT_NE(o.err.find(message), std::string::npos) << Joined(args) << ": stderr was " << o.err;
    EXPECT_EQ(o.err.rfind("quendral: ", 0), 0u) << Joined(args) << ": " << o.err;
    EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << Joined(args) << ": " << o.err;
    EXPECT_EQ(o.out, "") << Joined(args);
    EXPECT_EQ(dir_.Entries(), before) << Joined(args);
  }

  test::ScratchDir dir_;
};

TEST_F(Cli, MarkWritesTheMarkedPicture) {
  const Outcome o = Run({"mark", "in.bmp", "out.bmp"});
  EXPECT_EQ(o.exitCode, 0) << o.err;
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(o.err, "");
  BitmapImage expected, written;
  ASSERT_TRUE(expected.Load(dir_.File("in.bmp").c_str()));
  MarkTriangles(expected);
  ASSERT_TRUE(written.Load(dir_.File("out.bmp").c_str()));
  ASSERT_EQ(written.Width(), 8);
  ASSERT_EQ(written.Height(), 6);
  EXPECT_EQ(written.Depth(), 24);
  for (int j = 0; j < 6; ++j)
    for (int i = 0; i < 8; ++i) EXPECT_EQ(written.At(i, j), expected.At(i, j)) << i << "," << j;
  EXPECT_EQ(written.At(0, 0).red, 0);
}

TEST_F(Cli, MarkExplainsWhatWentWrong) {
  BmpFields rle;
  rle.biBitCount = 8;
  rle.biCompression = 1;
  Put("rle.bmp", test::BuildBmp(rle, {}, {}, Bytes(8, 0)));
  Put("text.bmp", Bytes(60, 'x'));
  // The oldest header: 12 bytes of 16-bit sizes, here 4 x 4 and 1 x 1 at 24 bits.
  for (const int side : {4, 1}) {
    Bytes os2 = {'B', 'M'};
    test::Put32(os2, 0);
    test::Put32(os2, 0);
    test::Put32(os2, 26);
    test::Put32(os2, 12);
    for (const int v : {side, side, 1, 24}) test::Put16(os2, static_cast<std::uint32_t>(v));
    os2.resize(os2.size() + static_cast<std::size_t>(side) * test::StoredRowBytes(side, 24), 0x40);
    Put("os2-" + std::to_string(side) + ".bmp", os2);
  }
  ASSERT_EQ(mkdir(dir_.File("sub").c_str(), 0700), 0);
  struct Case {
    Args args;
    int exitCode;
    std::string message;
  };
  const Case cases[] = {
      {{"mark", "missing.bmp", "out.bmp"}, 1, "cannot read missing.bmp: No such file or directory"},
      {{"mark", "text.bmp", "out.bmp"}, 1, "text.bmp: not a BMP file"},
      {{"mark", "rle.bmp", "out.bmp"}, 1, "RLE-compressed BMP (compression 1) is not supported"},
      {{"mark", "os2-4.bmp", "out.bmp"}, 1, "OS/2 BMP (12-byte header) is not supported"},
      {{"mark", "os2-1.bmp", "out.bmp"}, 1, "OS/2 BMP (12-byte header) is not supported"},
      {{"mark", "sub", "out.bmp"}, 1, "cannot read sub: Is a directory"},
      {{"mark", "in.bmp", "out/x.bmp"}, 3, "cannot write out/x.bmp: No such file or directory"},
      {{"mark", "in.bmp", "sub"}, 3, "cannot write sub: "},
  };
  for (const Case& c : cases) ExpectFailure(c.args, c.exitCode, c.message);
}

TEST_F(Cli, UsageErrorsExitWith2AndPointToHelp) {
  struct Case {
    Args args;
    std::string message;
  };
  const Case cases[] = {
      {{}, "no command given"},
      {{"mark"}, "mark takes two operands"},
      {{"mark", "in.bmp"}, "mark takes two operands"},
      {{"mark", "in.bmp", "a.bmp", "b.bmp"}, "mark takes two operands"},
      {{"info"}, "info takes one operand"},
      {{"info", "in.bmp", "in.bmp"}, "info takes one operand"},
      {{"scale", "in.bmp", "out.bmp", "P"}, "scale takes four operands"},
      {{"scale", "in.bmp", "out.bmp", "P", "5", "6"}, "scale takes four operands"},
      {{"frobnicate", "in.bmp"}, "unknown command 'frobnicate'"},
      {{"-"}, "unknown command '-'"},
      {{"--bogus"}, "unknown option '--bogus'"},
      {{"mark", "-x", "in.bmp", "out.bmp"}, "unknown option '-x'"},
      {{"mark", "-in.bmp", "out.bmp"}, "unknown option '-in.bmp'"},
      {{"--", "--help"}, "unknown command '--help'"},
  };
  for (const Case& c : cases) {
    ExpectFailure(c.args, 2, c.message);
    ExpectFailure(c.args, 2, "(try 'quendral --help')");
  }
}

TEST_F(Cli, HelpNamesEveryCommandAndExitCode) {
  for (const Args& args : {Args{"--help"}, Args{"-h"}, Args{"mark", "--help"}}) {
    const Outcome o = Run(args);
    EXPECT_EQ(o.exitCode, 0) << Joined(args);
    EXPECT_EQ(o.err, "") << Joined(args);
    for (const char* text :
         {"Usage: quendral COMMAND", "mark IN OUT", "info FILE", "scale IN OUT MODE VALUE",
          "--version", "Exit status", "\n  0  ", "\n  1  ", "\n  2  ", "\n  3  "})
      EXPECT_NE(o.out.find(text), std::string::npos) << Joined(args) << " lacks '" << text << "'";
  }
}

TEST_F(Cli, VersionIsOneLine) {
  for (const Args& args : {Args{"--version"}, Args{"-V"}}) {
    const Outcome o = Run(args);
    EXPECT_EQ(o.exitCode, 0);
    EXPECT_EQ(o.out.rfind("quendral ", 0), 0u) << o.out;
    EXPECT_EQ(std::count(o.out.begin(), o.out.end(), '\n'), 1) << o.out;
    EXPECT_NE(o.out.find_first_of("0123456789"), std::string::npos) << o.out;
  }
}

TEST_F(Cli, InfoListsTheSixteenFieldsAndASummary) {
  BmpFields fields;
  fields.bfReserved1 = 7;
  fields.bfOffBits = 54 + 16 * 4;
  fields.biWidth = 3;
  fields.biHeight = -2;
  fields.biBitCount = 8;
  fields.biSizeImage = 16;
  fields.biXPelsPerMeter = -1;
  fields.biClrUsed = 16;
  fields.biClrImportant = 3;
  Put("table.bmp", test::BuildBmp(fields, {}, std::vector<ColorQuad>(16), Bytes(8, 0)));
  const Outcome o = Run({"info", "table.bmp"});
  EXPECT_EQ(o.exitCode, 0) << o.err;
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(o.out,
            "bfType 0x4D42 (BM)\n"
            "bfSize 126\n"
            "bfReserved1 7\n"
            "bfReserved2 0\n"
            "bfOffBits 118\n"
            "biSize 40\n"
            "biWidth 3\n"
            "biHeight -2\n"
            "biPlanes 1\n"
            "biBitCount 8\n"
            "biCompression 0\n"
            "biSizeImage 16\n"
            "biXPelsPerMeter -1\n"
            "biYPelsPerMeter 2835\n"
            "biClrUsed 16\n"
            "biClrImportant 3\n"
            "summary: 3 x -2 pixels, 8 bits per pixel, compression 0 (none), "
            "16 colour-table entries\n");
}

TEST_F(Cli, InfoShowsWhatStandsInAnyFileAndFailsOnlyWhenItCannotOpenIt) {
  Put("text.txt", Bytes{'n', 'o', ' ', 't', 'e', 'x', 't'});
  const Outcome text = Run({"info", "text.txt"});
  EXPECT_EQ(text.exitCode, 0) << text.err;
  EXPECT_EQ(text.out.rfind("bfType 0x6F6E (no)\n", 0), 0u) << text.out;
  EXPECT_NE(text.out.find("; not a BMP file; the file ends inside the headers"), std::string::npos)
      << text.out;
  ExpectFailure({"info", "missing.bmp"}, 1, "cannot open missing.bmp: No such file or directory");
  ASSERT_EQ(mkdir(dir_.File("sub").c_str(), 0700), 0);
  ExpectFailure({"info", "sub"}, 1, "cannot open sub: Is a directory");
}

TEST_F(Cli, ScaleResizesAndSavesAt24Bits) {
  struct Case {
    Args args;
    int width, height;
  };
  const Case cases[] = {
      {{"scale", "in.bmp", "out.bmp", "P", "50"}, 4, 3},
      {{"scale", "in.bmp", "out.bmp", "w", "4"}, 4, 3},
      {{"scale", "in.bmp", "out.bmp", "H", "12"}, 16, 12},
      {{"scale", "in.bmp", "out.bmp", "P", "-5"}, 1, 1},  // a negative value, not an option
      {{"scale", "--", "in.bmp", "out.bmp", "P", "-5"}, 1, 1},
  };
  for (const Case& c : cases) {
    const Outcome o = Run(c.args);
    EXPECT_EQ(o.exitCode, 0) << Joined(c.args) << "\n" << o.err;
    EXPECT_EQ(o.out, "");
    BitmapImage scaled;
    ASSERT_TRUE(scaled.Load(dir_.File("out.bmp").c_str())) << Joined(c.args);
    EXPECT_EQ(scaled.Width(), c.width) << Joined(c.args);
    EXPECT_EQ(scaled.Height(), c.height) << Joined(c.args);
    EXPECT_EQ(scaled.Depth(), 24) << Joined(c.args);
    ASSERT_EQ(unlink(dir_.File("out.bmp").c_str()), 0);
  }
}

TEST_F(Cli, ScaleFailuresHaveTheirOwnExitCodes) {
  struct Case {
    Args args;
    int exitCode;
    std::string message;
  };
  const Case cases[] = {
      {{"scale", "in.bmp", "out.bmp", "x", "50"},
       2,
       "Bitmap Error: Unknown rescale mode x requested"},
      {{"scale", "in.bmp", "out.bmp", "", "50"}, 2, "MODE"},
      {{"scale", "in.bmp", "out.bmp", "P", "abc"}, 2, "VALUE must be a whole number"},
      {{"scale", "in.bmp", "out.bmp", "P", "5x"}, 2, "VALUE must be a whole number"},
      {{"scale", "in.bmp", "out.bmp", "P", "1.5"}, 2, "VALUE must be a whole number"},
      {{"scale", "in.bmp", "out.bmp", "P", ""}, 2, "VALUE must be a whole number"},
      {{"scale", "in.bmp", "out.bmp", "P", "99999999999"}, 2, "VALUE must be a whole number"},
      {{"scale", "in.bmp", "out.bmp", "P", "1000000"}, 2, "too large"},
      {{"scale", "missing.bmp", "out.bmp", "P", "50"}, 1, "cannot read missing.bmp: No such file"},
      {{"scale", "in.bmp", "out/x.bmp", "P", "50"}, 3, "cannot write out/x.bmp: No such file"},
  };
  for (const Case& c : cases) ExpectFailure(c.args, c.exitCode, c.message);
}

TEST_F(Cli, DoubleDashEndsTheOptions) {
  Put("-in.bmp", test::ReadFileBytes(dir_.File("in.bmp")));
  for (const Args& args :
       {Args{"mark", "--", "-in.bmp", "-out.bmp"}, Args{"--", "mark", "-in.bmp", "-out.bmp"}}) {
    const Outcome o = Run(args);
    EXPECT_EQ(o.exitCode, 0) << Joined(args) << "\n" << o.err;
    EXPECT_TRUE(test::FileExists(dir_.File("-out.bmp"))) << Joined(args);
    ASSERT_EQ(unlink(dir_.File("-out.bmp").c_str()), 0);
  }
}

}  // namespace
}  // namespace quendral
