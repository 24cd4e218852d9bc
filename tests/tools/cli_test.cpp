// The quendral command run as a user runs it: every exit code, the message
// behind it, and the files it leaves.
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
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

// What the program's standard input is, and whether a terminal stands in
// for its standard input or output.
struct Streams {
  const Bytes* input = nullptr;  // fed through a pipe, which cannot be rewound
  bool inputIsTerminal = false;
  bool outputIsTerminal = false;
  const char* outputPath = nullptr;  // standard output goes to this file instead
  int userId = -1;                   // run as this user (and group of the same number)
};

// Runs the program with `args` in `workDir`, capturing its output.
Outcome Run(const Args& args, const std::string& workDir, const Streams& streams = {}) {
  test::ScratchDir capture;
  const std::string outPath = capture.File("stdout");
  const std::string errPath = capture.File("stderr");
  Args command = ProgramCommand();
  command.insert(command.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  int inputPipe[2] = {-1, -1};
  if (streams.input != nullptr && pipe(inputPipe) != 0) return {};
  int terminal = -1;
  if (streams.inputIsTerminal || streams.outputIsTerminal) {
    terminal = posix_openpt(O_RDWR | O_NOCTTY);
    if (terminal < 0 || grantpt(terminal) != 0 || unlockpt(terminal) != 0) return {};
  }
  const pid_t pid = fork();
  if (pid == 0) {
    int in = open("/dev/null", O_RDONLY);
    int out = streams.outputPath != nullptr ? open(streams.outputPath, O_WRONLY)
                                            : open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (streams.input != nullptr) in = inputPipe[0];
    if (terminal >= 0) {
      const int side = open(ptsname(terminal), O_RDWR | O_NOCTTY);
      if (streams.inputIsTerminal) in = side;
      if (streams.outputIsTerminal) out = side;
    }
    if (in < 0 || out < 0 || err < 0 || chdir(workDir.c_str()) != 0 || dup2(in, 0) < 0 ||
        dup2(out, 1) < 0 || dup2(err, 2) < 0)
      _exit(126);
    if (inputPipe[1] >= 0) close(inputPipe[1]);
    if (streams.userId >= 0 && (setgid(static_cast<gid_t>(streams.userId)) != 0 ||
                                setuid(static_cast<uid_t>(streams.userId)) != 0))
      _exit(126);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  if (streams.input != nullptr) {
    close(inputPipe[0]);
    // A program that stops reading early closes the pipe; that is no fault here.
    signal(SIGPIPE, SIG_IGN);
    const Bytes& bytes = *streams.input;
    for (std::size_t at = 0; at < bytes.size();) {
      const ssize_t wrote = write(inputPipe[1], bytes.data() + at, bytes.size() - at);
      if (wrote <= 0) break;
      at += static_cast<std::size_t>(wrote);
    }
    close(inputPipe[1]);
  }
  Outcome outcome;
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status))
    outcome.exitCode = WEXITSTATUS(status);
  if (terminal >= 0) close(terminal);
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
  Outcome Run(const Args& args, const Streams& streams = {}) {
    return quendral::Run(args, dir_.path(), streams);
  }
  std::string Text(const std::string& name) { return ReadText(dir_.File(name)); }

  // One run that must fail with `exitCode`, one line on stderr holding
  // `message`, nothing on stdout and no new file.
  void ExpectFailure(const Args& args, int exitCode, const std::string& message,
                     const Streams& streams = {}) {
    const Names before = dir_.Entries();
    const Outcome o = Run(args, streams);
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
      {{"mark", "in.bmp", "out/x.bmp"}, 3, "cannot write out/x.bmp: directory out: No such file"},
      {{"mark", "in.bmp", "in.bmp/x.bmp"}, 3, "directory in.bmp: Not a directory"},
      {{"mark", "missing.bmp", "out/x.bmp"}, 3, "directory out: No such file"},
      {{"mark", "-", "-"}, 1, "cannot read standard input: the file ends inside the BMP headers"},
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
      {{"mark"}, "mark takes IN OUT, or IN... DIR"},
      {{"mark", "in.bmp"}, "mark takes IN OUT, or IN... DIR"},
      {{"mark", "in.bmp", "a.bmp", "-"}, "the last operand must be a directory"},
      {{"mark", "in.bmp", "-", "sub"}, "standard input ('-') cannot be one of several"},
      {{"mark", "in.bmp", "sub/../in.bmp", "sub"}, "would both be written as sub/in.bmp"},
      {{"mark", "--json", "in.bmp", "out.bmp"}, "--json applies to info only"},
      {{"info", "-n", "in.bmp"}, "do not apply to info"},
      {{"scale", "-q", "in.bmp", "out.bmp", "P", "5"}, "apply to mark only"},
      {{"-j", "0", "mark", "in.bmp", "out.bmp"}, "number of jobs must be a whole number"},
      {{"--jobs=x", "mark", "in.bmp", "out.bmp"}, "not 'x'"},
      {{"mark", "in.bmp", "sub", "-j"}, "option '-j' needs a number"},
      {{"-json"}, "unknown option '-json'"},
      {{"info"}, "info takes one operand"},
      {{"info", "in.bmp", "in.bmp"}, "info takes one operand"},
      {{"scale", "in.bmp", "out.bmp", "P"}, "scale takes four operands"},
      {{"scale", "in.bmp", "out.bmp", "P", "5", "6"}, "scale takes four operands"},
      // The operands are judged before any file is opened.
      {{"scale", "missing.bmp", "o", "X", "50"},
       "unknown scale mode 'X': use P, W, H or F (either case), or percent, width, height or fit"},
      {{"scale", "in.bmp", "out.bmp", "Wrong", "50"}, "unknown scale mode 'Wrong'"},
      {{"scale", "in.bmp", "out.bmp", "", "50"}, "unknown scale mode ''"},
      {{"scale", "in.bmp", "out.bmp", "P", "abc"}, "VALUE must be a whole number, not 'abc'"},
      {{"scale", "in.bmp", "out.bmp", "P", "5x"}, "VALUE must be a whole number"},
      {{"scale", "in.bmp", "out.bmp", "P", "1.5"}, "VALUE must be a whole number"},
      {{"scale", "in.bmp", "out.bmp", "P", ""}, "VALUE must be a whole number"},
      {{"scale", "missing.bmp", "out.bmp", "P", "99999999999"}, "VALUE 99999999999 is out of range"},
      {{"scale", "in.bmp", "out.bmp", "P", "-2147483649"}, "is out of range"},
      {{"convert", "in.bmp", "out.bmp"}, "convert takes three operands: IN OUT DEPTH"},
      {{"convert", "missing.bmp", "o", "12"}, "unknown DEPTH '12': use 1, 4, 8, 16, 24 or 32"},
      {{"convert", "in.bmp", "out.bmp", "08"}, "unknown DEPTH '08'"},
      {{"convert", "in.bmp", "out.bmp", "-8"}, "unknown DEPTH '-8'"},
      {{"convert", "--grey", "missing.bmp", "o", "16"}, "--grey applies to DEPTH 1, 4 and 8 only"},
      {{"convert", "-j", "2", "in.bmp", "out.bmp", "8"}, "apply to mark only"},
      {{"--grey", "mark", "in.bmp", "out.bmp"}, "--grey applies to convert only"},
      {{"frobnicate", "in.bmp"}, "unknown command 'frobnicate'"},
      {{"-"}, "unknown command '-'"},
      {{"--bogus"}, "unknown option '--bogus'"},
      {{"mark", "-x", "in.bmp", "out.bmp"}, "unknown option '-x'"},
      {{"mark", "-in.bmp", "out.bmp"}, "unknown option '-in.bmp'"},
      {{"--", "--help"}, "unknown command '--help'"},
      {{"mark", "in.bmp", "a.bmp", ""}, "an empty operand names no file"},
      {{"mark", "", "out.bmp"}, "an empty operand names no file"},
      {{"info", ""}, "an empty operand names no file"},
      {{"scale", "in.bmp", "", "P", "5"}, "an empty operand names no file"},
  };
  ASSERT_EQ(mkdir(dir_.File("sub").c_str(), 0700), 0);
  for (const Case& c : cases) {
    ExpectFailure(c.args, 2, c.message);
    ExpectFailure(c.args, 2, "(try 'quendral --help')");
  }
  // No picture is read from or written to a terminal.
  Streams terminalIn, terminalOut;
  terminalIn.inputIsTerminal = true;
  terminalOut.outputIsTerminal = true;
  ExpectFailure({"mark", "-", "out.bmp"}, 2, "will not read a picture from a terminal", terminalIn);
  ExpectFailure({"scale", "in.bmp", "-", "P", "5"}, 2, "will not write a picture to a terminal",
                terminalOut);
  ExpectFailure({"convert", "in.bmp", "-", "4"}, 2, "will not write a picture to a terminal",
                terminalOut);
}

TEST_F(Cli, HelpNamesEveryCommandAndExitCode) {
  for (const Args& args : {Args{"--help"}, Args{"-h"}, Args{"mark", "--help"}}) {
    const Outcome o = Run(args);
    EXPECT_EQ(o.exitCode, 0) << Joined(args);
    EXPECT_EQ(o.err, "") << Joined(args);
    for (const char* text :
         {"Usage: quendral mark", "mark IN OUT", "mark IN... DIR", "info FILE",
          "scale IN OUT MODE VALUE", "convert IN OUT DEPTH", "--grey", "--version", "Exit status", "\n  0  ", "\n  1  ", "\n  2  ",
          "\n  3  "})
      EXPECT_NE(o.out.find(text), std::string::npos) << Joined(args) << " lacks '" << text << "'";
  }
}

// The manual page tells what --help tells: every option and command.
TEST_F(Cli, TheManualPageNamesWhatTheHelpNames) {
  std::string manual = ReadText(QUENDRAL_MANUAL_PAGE);
  for (const char* markup : {"\\fI", "\\fB", "\\fP", "\\fR"})
    for (std::size_t at; (at = manual.find(markup)) != std::string::npos;) manual.erase(at, 3);
  for (std::size_t at; (at = manual.find("\\-")) != std::string::npos;) manual.replace(at, 2, "-");
  const std::string help = Run({"--help"}).out;
  std::vector<std::string> words;
  for (std::size_t at = 0; (at = help.find_first_not_of(" \n,()[]|'", at)) != std::string::npos;) {
    const std::size_t end = help.find_first_of(" \n,()[]|'", at);
    if (help[at] == '-' && end - at > 1) words.push_back(help.substr(at, end - at));
    at = end;
  }
  for (const char* word : {"mark IN OUT", "mark IN... DIR", "info FILE", "scale IN OUT MODE VALUE",
                           "percent", "width", "height", "fit", "convert IN OUT DEPTH"})
    words.push_back(word);
  EXPECT_GE(words.size(), 14u);
  for (const std::string& word : words)
    EXPECT_NE(manual.find(word), std::string::npos) << "the manual page lacks '" << word << "'";
  EXPECT_NE(manual.find("quendral " + Run({"--version"}).out.substr(9, 5)), std::string::npos);
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

TEST_F(Cli, InfoShowsWhatStandsInAnyFileAndFailsWhenItIsNoBmp) {
  Put("text.txt", Bytes{'n', 'o', ' ', 't', 'e', 'x', 't'});
  const Outcome text = Run({"info", "text.txt"});
  EXPECT_EQ(text.exitCode, 1) << text.err;
  EXPECT_EQ(text.err, "");
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
      {{"scale", "in.bmp", "out.bmp", "Percent", "50"}, 4, 3},
      {{"scale", "in.bmp", "out.bmp", "fit", "16"}, 16, 12},
      {{"scale", "in.bmp", "out.bmp", "HEIGHT", "3"}, 4, 3},
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

// The command gives what the library's own composition gives: Load,
// SetDepth, FillGrayPalette with --grey, Save; through files and pipes.
TEST_F(Cli, ConvertSavesWhatTheLibraryComposes) {
  const struct {
    Args options;
    int depth;
  } kCases[] = {{{}, 1}, {{}, 4}, {{}, 8}, {{}, 16}, {{}, 24}, {{}, 32},
                {{"--grey"}, 1}, {{"--gray"}, 4}, {{"--grey"}, 8}};
  const Bytes input = test::ReadFileBytes(dir_.File("in.bmp"));
  for (const auto& c : kCases) {
    BitmapImage image;
    ASSERT_TRUE(image.Load(dir_.File("in.bmp").c_str()));
    image.SetDepth(c.depth);
    if (!c.options.empty()) image.FillGrayPalette();
    ASSERT_TRUE(image.Save(dir_.File("expected.bmp").c_str()));
    Args args = c.options;
    for (const char* word : {"convert", "in.bmp", "out.bmp"}) args.push_back(word);
    args.push_back(std::to_string(c.depth));
    const Outcome file = Run(args);
    EXPECT_EQ(file.exitCode, 0) << Joined(args) << "\n" << file.err;
    EXPECT_EQ(Text("out.bmp"), Text("expected.bmp")) << Joined(args);
    args[args.size() - 3] = "-", args[args.size() - 2] = "-";
    Streams pipe;
    pipe.input = &input;
    const Outcome piped = Run(args, pipe);
    EXPECT_EQ(piped.exitCode, 0) << Joined(args) << "\n" << piped.err;
    EXPECT_EQ(piped.out, Text("expected.bmp")) << Joined(args);
  }
  ExpectFailure({"convert", "missing.bmp", "out.bmp", "8"}, 1, "cannot read missing.bmp");
  ExpectFailure({"convert", "in.bmp", "no/out.bmp", "8"}, 3, "cannot write no/out.bmp");
  const Outcome kept = Run({"convert", "-n", "in.bmp", "expected.bmp", "4"});
  EXPECT_EQ(kept.exitCode, 0);
  EXPECT_NE(kept.err.find("exists; not replaced"), std::string::npos) << kept.err;
}

TEST_F(Cli, ScaleFailuresHaveTheirOwnExitCodes) {
  struct Case {
    Args args;
    int exitCode;
    std::string message;
  };
  const Case cases[] = {
      {{"scale", "in.bmp", "out.bmp", "P", "1000000"}, 2, "too large"},
      {{"scale", "missing.bmp", "out.bmp", "P", "50"}, 1, "cannot read missing.bmp: No such file"},
      {{"scale", "in.bmp", "out/x.bmp", "P", "50"}, 3, "cannot write out/x.bmp: directory out"},
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

// A pipe is a file that cannot be rewound: whatever a file gives, whole, cut
// short or not a picture at all, the same bytes through standard input give
// the same status, message and picture, and standard output gets the bytes
// a file would.
TEST_F(Cli, PipesGiveWhatFilesGive) {
  BmpFields indexed;
  indexed.biWidth = 5;
  indexed.biHeight = 3;
  indexed.biBitCount = 8;
  std::vector<ColorQuad> table(256);
  for (int k = 0; k < 256; ++k) table[k] = {std::uint8_t(k), std::uint8_t(255 - k), 7, 0};
  Bytes pixels(test::StoredRowBytes(5, 8) * 3);
  for (std::size_t k = 0; k < pixels.size(); ++k) pixels[k] = static_cast<std::uint8_t>(k * 37);
  const Bytes eight = test::BuildBmp(indexed, {}, table, pixels);
  const Bytes whole = test::ReadFileBytes(dir_.File("in.bmp"));
  BmpFields rle;
  rle.biCompression = 1;
  rle.biBitCount = 8;
  Bytes os2 = {'B', 'M'};  // the 12-byte header of a 1 x 1 picture, shorter than 54 bytes
  for (const std::uint32_t v : {0u, 0u, 26u, 12u}) test::Put32(os2, v);
  for (const std::uint32_t v : {1u, 1u, 1u, 24u}) test::Put16(os2, v);
  os2.resize(os2.size() + 4, 0x40);
  const std::vector<Bytes> inputs = {
      whole, Bytes(whole.begin(), whole.begin() + 100), Bytes(whole.begin(), whole.begin() + 30),
      eight, Bytes(eight.begin(), eight.begin() + 300), {}, Bytes(70, 'x'),
      test::BuildBmp(rle, {}, {}, Bytes(8, 0)), os2};
  const std::vector<Args> runs = {{"mark"}, {"scale", "P", "150"}, {"info"}, {"info", "--json"}};
  for (std::size_t k = 0; k < inputs.size(); ++k) {
    Put("case.bmp", inputs[k]);
    for (const Args& run : runs) {
      const bool info = run[0] == "info";
      Args fromFile = {run[0], "case.bmp"}, fromPipe = {run[0], "-"};
      if (!info) fromFile.push_back("file-out.bmp"), fromPipe.push_back("-");
      for (std::size_t w = 1; w < run.size(); ++w) fromFile.push_back(run[w]), fromPipe.push_back(run[w]);
      Streams pipe;
      pipe.input = &inputs[k];
      const Outcome file = Run(fromFile), piped = Run(fromPipe, pipe);
      const std::string context = "input " + std::to_string(k) + ": " + Joined(fromPipe);
      EXPECT_EQ(piped.exitCode, file.exitCode) << context << "\n" << piped.err;
      std::string message = file.err;
      if (message.find("case.bmp") != std::string::npos)
        message.replace(message.find("case.bmp"), 8, "standard input");
      EXPECT_EQ(piped.err, message) << context;
      EXPECT_EQ(piped.out, info ? file.out : Text("file-out.bmp")) << context;
      unlink(dir_.File("file-out.bmp").c_str());
    }
  }
}

TEST_F(Cli, ManyFilesGoIntoADirectoryUnderTheirOwnNames) {
  ASSERT_EQ(mkdir(dir_.File("src").c_str(), 0700), 0);
  ASSERT_EQ(mkdir(dir_.File("dst").c_str(), 0700), 0);
  const Bytes picture = test::ReadFileBytes(dir_.File("in.bmp"));
  const Names good = {"a.bmp", "b.bmp", "c.bmp", "d.bmp", "e.bmp"};
  for (const std::string& name : good) Put("src/" + name, picture);
  Put("src/text.bmp", Bytes(60, 'x'));
  ASSERT_EQ(Run({"mark", "in.bmp", "marked.bmp"}).exitCode, 0);
  const std::string marked = Text("marked.bmp");

  // One line per failing file, the others done; the status is the worst.
  Args args = {"mark", "-j", "3"};
  for (const std::string& name : good) args.push_back("src/" + name);
  args.insert(args.begin() + 4, {"src/missing.bmp", "src/text.bmp"});
  args.push_back("dst");
  Outcome o = Run(args);
  EXPECT_EQ(o.exitCode, 1) << o.err;
  EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 2) << o.err;
  EXPECT_NE(o.err.find("quendral: cannot read src/missing.bmp: No such file"), std::string::npos);
  EXPECT_NE(o.err.find("quendral: src/text.bmp: not a BMP file"), std::string::npos);
  Names written;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.File("dst")))
    written.push_back(entry.path().filename().string());
  std::sort(written.begin(), written.end());
  EXPECT_EQ(written, good);
  for (const std::string& name : good) EXPECT_EQ(Text("dst/" + name), marked) << name;

  // Two operands whose last is a directory make a batch of one, like cp.
  Put("dst/a.bmp", Bytes{'o', 'l', 'd'});
  o = Run({"mark", "-n", "src/a.bmp", "src/b.bmp", "dst/"});
  EXPECT_EQ(o.exitCode, 0) << o.err;
  // The files run at once, so their lines come in either order.
  EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 2) << o.err;
  EXPECT_NE(o.err.find("quendral: dst/a.bmp exists; not replaced\n"), std::string::npos) << o.err;
  EXPECT_NE(o.err.find("quendral: dst/b.bmp exists; not replaced\n"), std::string::npos) << o.err;
  EXPECT_EQ(Text("dst/a.bmp"), "old");
  EXPECT_EQ(Run({"mark", "src/a.bmp", "dst"}).exitCode, 0);
  EXPECT_EQ(Text("dst/a.bmp"), marked);

  // A directory that is not there fails before any picture is read.
  ExpectFailure({"mark", "src/a.bmp", "src/missing.bmp", "nowhere"}, 3,
                "cannot write into nowhere: No such file or directory");
  ExpectFailure({"mark", "src/a.bmp", "src/b.bmp", "in.bmp"}, 3,
                "cannot write into in.bmp: Not a directory");
}

// Two inputs of a batch whose outputs are one file under two names: the
// first wins whole, the second is reported and changes nothing.
TEST_F(Cli, TwoInputsOfABatchNeverWriteOneFile) {
  ASSERT_EQ(mkdir(dir_.File("a").c_str(), 0700), 0);
  ASSERT_EQ(mkdir(dir_.File("b").c_str(), 0700), 0);
  ASSERT_EQ(mkdir(dir_.File("dst").c_str(), 0700), 0);
  Put("b/y.bmp", test::ReadFileBytes(dir_.File("in.bmp")));
  BitmapImage other;
  ASSERT_TRUE(other.Resize(3, 2));
  ASSERT_TRUE(other.Save(dir_.File("a/x.bmp").c_str()));
  ASSERT_EQ(Run({"mark", "b/y.bmp", "winner.bmp"}).exitCode, 0);
  ASSERT_EQ(symlink("y.bmp", dir_.File("dst/x.bmp").c_str()), 0);
  for (const Args& options : {Args{}, Args{"-n"}}) {
    Args args = {"mark", "-j", "1"};
    args.insert(args.end(), options.begin(), options.end());
    args.insert(args.end(), {"b/y.bmp", "a/x.bmp", "dst"});
    const Outcome o = Run(args);
    EXPECT_EQ(o.exitCode, 3) << Joined(args) << "\n" << o.err;
    EXPECT_EQ(o.err, "quendral: cannot write dst/x.bmp: it is the file already written as "
                     "dst/y.bmp from b/y.bmp\n") << Joined(args);
    EXPECT_EQ(Text("dst/y.bmp"), Text("winner.bmp")) << Joined(args);
    EXPECT_EQ(test::ScratchDir::EntriesOf(dir_.File("dst")), (Names{"x.bmp", "y.bmp"}));
    ASSERT_EQ(unlink(dir_.File("dst/y.bmp").c_str()), 0);
  }
}

TEST_F(Cli, NoClobberLeavesAnExistingOutputAlone) {
  Put("old.bmp", Bytes{'o', 'l', 'd'});
  for (const Args& args : {Args{"mark", "-n", "in.bmp", "old.bmp"},
                           Args{"scale", "--no-clobber", "in.bmp", "old.bmp", "P", "50"},
                           Args{"mark", "-n", "missing.bmp", "old.bmp"}}) {
    const Outcome o = Run(args);
    EXPECT_EQ(o.exitCode, 0) << Joined(args) << "\n" << o.err;
    EXPECT_EQ(o.err, "quendral: old.bmp exists; not replaced\n") << Joined(args);
    EXPECT_EQ(Text("old.bmp"), "old") << Joined(args);
  }
  EXPECT_EQ(Run({"mark", "-n", "in.bmp", "new.bmp"}).exitCode, 0);
  EXPECT_TRUE(test::FileExists(dir_.File("new.bmp")));
}

// Whatever goes to standard output, a failed write is an error (status 3)
// that says why, never a success.
TEST_F(Cli, AFailedWriteToStandardOutputIsReported) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  Streams full;
  full.outputPath = "/dev/full";
  for (const Args& args : {Args{"info", "in.bmp"}, Args{"info", "--json", "in.bmp"}, Args{"--help"},
                           Args{"--version"}, Args{"mark", "in.bmp", "-"},
                           Args{"scale", "in.bmp", "-", "P", "50"}})
    ExpectFailure(args, 3, "cannot write standard output: No space left on device", full);
}

// A link at OUT is written through: what must be writable is the directory
// of the file it names, not the link's.
TEST_F(Cli, ALinkInAReadOnlyDirectoryIsWrittenThrough) {
  Streams streams;
  if (geteuid() == 0) streams.userId = 65534;  // root may write anywhere; nobody may not
  ASSERT_EQ(chmod(dir_.path().c_str(), 0755), 0);
  ASSERT_EQ(mkdir(dir_.File("rw").c_str(), 0777), 0);
  ASSERT_EQ(chmod(dir_.File("rw").c_str(), 0777), 0);
  ASSERT_EQ(mkdir(dir_.File("ro").c_str(), 0755), 0);
  Put("rw/target.bmp", Bytes{'o', 'l', 'd'});
  ASSERT_EQ(chmod(dir_.File("rw/target.bmp").c_str(), 0666), 0);
  ASSERT_EQ(symlink("../rw/target.bmp", dir_.File("ro/link.bmp").c_str()), 0);
  ASSERT_EQ(chmod(dir_.File("ro").c_str(), 0555), 0);
  const Outcome o = Run({"mark", "in.bmp", "ro/link.bmp"}, streams);
  EXPECT_EQ(o.exitCode, 0) << o.err;
  BitmapImage written;
  EXPECT_TRUE(written.Load(dir_.File("rw/target.bmp").c_str()));
  struct stat record {};
  EXPECT_TRUE(lstat(dir_.File("ro/link.bmp").c_str(), &record) == 0 && S_ISLNK(record.st_mode));
  EXPECT_EQ(chmod(dir_.File("ro").c_str(), 0755), 0);  // so that the scratch directory goes
}

bool WriteSetting(const char* path, const std::string& value) {
  const int fd = open(path, O_WRONLY);
  const bool written = fd >= 0 && write(fd, value.data(), value.size()) == ssize_t(value.size());
  if (fd >= 0) close(fd);
  return written;
}

// A link that another user planted in a shared sticky directory is not
// followed where the system protects such links: the save is refused, as
// cp's would be, and the file the link names is untouched.
TEST_F(Cli, ALinkPlantedInASharedDirectoryIsNotFollowed) {
  const char* setting = "/proc/sys/fs/protected_symlinks";
  if (geteuid() != 0) GTEST_SKIP() << "needs root, to plant a link as another user";
  const std::string was = access(setting, R_OK) == 0 ? ReadText(setting) : "";
  if (was.empty() || (was[0] != '1' && !WriteSetting(setting, "1")))
    GTEST_SKIP() << "cannot turn on " << setting;
  ASSERT_EQ(chmod(dir_.path().c_str(), 0755), 0);
  ASSERT_EQ(mkdir(dir_.File("shared").c_str(), 0777), 0);
  ASSERT_EQ(chmod(dir_.File("shared").c_str(), 01777), 0);
  Put("private.txt", Bytes{'t', 'e', 'x', 't'});
  const pid_t pid = fork();
  if (pid == 0) {
    const bool planted = setgid(65534) == 0 && setuid(65534) == 0 &&
                         symlink(dir_.File("private.txt").c_str(), dir_.File("shared/out.bmp").c_str()) == 0;
    _exit(planted ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the link could not be planted";
  const Outcome o = Run({"mark", "in.bmp", "shared/out.bmp"});
  if (was[0] != '1') WriteSetting(setting, was);
  EXPECT_EQ(o.exitCode, 3) << o.err;
  EXPECT_EQ(o.err, "quendral: cannot write shared/out.bmp: Permission denied\n");
  EXPECT_EQ(Text("private.txt"), "text");
}

TEST_F(Cli, InfoJsonHoldsTheFieldsAndTheSummary) {
  const Outcome o = Run({"info", "--json", "in.bmp"});
  EXPECT_EQ(o.exitCode, 0) << o.err;
  for (const char* pair :
       {"{\n", "\"bfType\": 19778,", "\"bfSize\": 198,", "\"bfOffBits\": 54,", "\"biSize\": 40,",
        "\"biWidth\": 8,", "\"biHeight\": 6,", "\"biPlanes\": 1,", "\"biBitCount\": 24,",
        "\"biCompression\": 0,", "\"biSizeImage\": 0,", "\"biXPelsPerMeter\": 2835,",
        "\"biClrImportant\": 0,", "\"compressionName\": \"none\",", "\"colourTableEntries\": 0,",
        "\"isBmp\": true,", "\"headersComplete\": true\n}\n"})
    EXPECT_NE(o.out.find(pair), std::string::npos) << "lacks " << pair << " in\n" << o.out;
  Put("short.bmp", Bytes{'B', 'M', 1});
  const Outcome cut = Run({"info", "--json", "short.bmp"});
  EXPECT_EQ(cut.exitCode, 1);
  EXPECT_NE(cut.out.find("\"headersComplete\": false"), std::string::npos) << cut.out;
}

}  // namespace
}  // namespace quendral
