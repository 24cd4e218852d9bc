// quendral: marks, inspects, rescales and converts BMP pictures from the command line.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "error_stream.h"
#include "interrupt_cleanup.h"
#include "operands.h"

#if defined(_WIN32)
#include <windows.h>

#include "platform/path_conversion.h"
#endif

namespace quendral::cli {
namespace {

constexpr const char* kHelp =
    "Usage: quendral mark [-n] IN OUT\n"
    "       quendral mark [-n] [-j N] [-q] IN... DIR\n"
    "       quendral info [--json] FILE\n"
    "       quendral scale [-n] IN OUT MODE VALUE\n"
    "       quendral convert [-n] [--grey] IN OUT DEPTH\n"
    "       quendral --help | --version\n"
    "\n"
    "Commands:\n"
    "  mark IN OUT     Load the BMP picture IN, set red and green to 0 in two\n"
    "                  triangles at its top corners, and save it as OUT at the\n"
    "                  picture's own bit depth. IN and OUT may be the same file;\n"
    "                  a file is replaced only by a complete picture.\n"
    "  mark IN... DIR  Mark each IN into the directory DIR under its own file\n"
    "                  name. Used when there are more than two operands or the\n"
    "                  last one is a directory. A file that fails is reported in\n"
    "                  one line and the others go on.\n"
    "  info FILE       Show the 16 BMP header fields of FILE and a summary,\n"
    "                  without reading its pixels.\n"
    "  scale IN OUT MODE VALUE\n"
    "                  Rescale IN by bilinear interpolation and save it as a\n"
    "                  24-bit picture OUT. MODE, a letter in either case or a word:\n"
    "                    P, percent  VALUE percent of both sides\n"
    "                    W, width    width VALUE, height following the aspect ratio\n"
    "                    H, height   height VALUE, width following the aspect ratio\n"
    "                    F, fit      longer side VALUE (H for a square picture)\n"
    "                  VALUE is a whole number and may be negative (sides never\n"
    "                  go below 1 pixel).\n"
    "  convert IN OUT DEPTH\n"
    "                  Save IN as OUT at DEPTH bits per pixel: 1, 4 or 8 with the\n"
    "                  standard colour table (or, with --grey, an even ramp of\n"
    "                  greys from black to white), each pixel taking the nearest\n"
    "                  colour of the table, without dithering; 16 as 5-6-5 bit\n"
    "                  fields; 24; or 32 (alpha as loaded). Works a few rows at a\n"
    "                  time, so pictures of any size take little memory.\n"
    "\n"
    "A '-' as IN or FILE reads standard input, and as OUT writes standard output\n"
    "(straight, not through a temporary file). Pictures are not read from or\n"
    "written to a terminal.\n"
    "\n"
    "Accepted input: uncompressed BMP at 1, 4, 8, 16, 24 or 32 bits per pixel, and\n"
    "16-bit bit-field BMP, stored bottom row first.\n"
    "\n"
    "Options:\n"
    "  -n, --no-clobber  mark, scale, convert: never replace an existing OUT, not\n"
    "                    even one that appears while the picture is written; say\n"
    "                    so on standard error and leave it untouched.\n"
    "  -j, --jobs N      mark IN... DIR: mark N files at once (default: the\n"
    "                    number of processors; at most 128).\n"
    "  -q, --quiet       mark IN... DIR: no progress line (otherwise shown on a\n"
    "                    terminal while a batch runs for more than a second).\n"
    "  --grey, --gray    convert: the grey table instead of the standard one\n"
    "                    (DEPTH 1, 4 or 8 only).\n"
    "  --json            info: print one JSON object with the 16 header fields\n"
    "                    and the summary's facts.\n"
    "  -h, --help        Show this help (also after a command) and exit.\n"
    "  -V, --version     Show the version and exit.\n"
    "  --                End of options: what follows are operands.\n"
    "\n"
    "Exit status:\n"
    "  0  done, also when -n left an existing OUT as it was\n"
    "  1  the input could not be loaded (nothing written); for info, FILE could\n"
    "     not be opened, is not a BMP file or ends inside its headers\n"
    "  2  usage error (found before any file is opened), or a scale VALUE that\n"
    "     makes the picture too large\n"
    "  3  the input loaded but the output could not be written, or the device\n"
    "     would not flush the picture that was to replace OUT (a file already\n"
    "     at OUT is unchanged and nothing is left behind); or the directory of\n"
    "     OUT, or DIR, cannot be written (found before any file is read); or\n"
    "     two inputs of IN... DIR land on one file; or standard output (the\n"
    "     help, info's lines) cannot be written\n"
    "  128+N  interrupted by signal N (Ctrl-C, SIGTERM, SIGHUP): likewise\n"
    "  For IN... DIR the status is the largest of the files' statuses.\n"
    "\n"
    "A picture that replaces a file is flushed to the device before it takes the\n"
    "old file's place, so a power cut leaves the old picture or the new one.\n"
    "\n"
    "Errors are reported as one line on standard error.\n";

bool IsOption(const std::string& arg) {
  // A leading '-' followed by a digit is a number such as -5, not an option.
  return arg.size() > 1 && arg[0] == '-' && !(arg[1] >= '0' && arg[1] <= '9');
}

}  // namespace

void PrintError(const std::string& message) { WriteErrorLine("quendral: " + message); }

int UsageError(const std::string& message) {
  WriteErrorLine("quendral: " + message + " (try 'quendral --help')");
  return kExitUsage;
}

int EmptyOperandError() { return UsageError("an empty operand names no file"); }

namespace {

// A number of jobs: a whole number from 1 on.
bool ParseJobs(const std::string& text, int& jobs) {
  if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  jobs = std::stoi(text);
  return jobs >= 1;
}

}  // namespace

int Main(int argc, char** argv) {
  std::string command;
  Arguments operands;
  Options options;
  bool optionsEnded = false;
  for (int k = 1; k < argc; ++k) {
    const std::string arg = argv[k];
    if (optionsEnded || !IsOption(arg)) {
      if (command.empty()) {
        command = arg;
      } else {
        operands.push_back(arg);
      }
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "-h" || arg == "--help") {
      std::fputs(kHelp, stdout);
      return FinishStandardOutput(kExitOk);
    } else if (arg == "-V" || arg == "--version") {
      std::printf("quendral %s\n", QUENDRAL_VERSION);
      return FinishStandardOutput(kExitOk);
    } else if (arg == "-n" || arg == "--no-clobber") {
      options.noClobber = true;
    } else if (arg == "-q" || arg == "--quiet") {
      options.quiet = true;
    } else if (arg == "--grey" || arg == "--gray") {
      options.grey = true;
    } else if (arg == "--json") {
      options.json = true;
    } else if (arg == "-j" || arg == "--jobs" || arg.rfind("--jobs=", 0) == 0 ||
               (arg.rfind("-j", 0) == 0 && arg[2] >= '0' && arg[2] <= '9')) {
      std::string value;
      if (arg == "-j" || arg == "--jobs") {
        if (k + 1 == argc) return UsageError("option '" + arg + "' needs a number");
        value = argv[++k];
      } else {
        value = arg.substr(arg[1] == 'j' ? 2 : 7);
      }
      if (!ParseJobs(value, options.jobs))
        return UsageError("the number of jobs must be a whole number from 1 to 999999, not '" +
                          value + "'");
      options.jobsGiven = true;
    } else {
      return UsageError("unknown option '" + arg + "'");
    }
  }
  if (command.empty()) return UsageError("no command given");
  if (options.grey && command != "convert") return UsageError("--grey applies to convert only");
  if (command == "info") return RunInfo(operands, options);
  if (command != "mark" && command != "scale" && command != "convert")
    return UsageError("unknown command '" + command + "'");
  RemoveTemporaryFilesOnInterrupt();
  if (command == "mark") return RunMark(operands, options);
  return command == "scale" ? RunScale(operands, options) : RunConvert(operands, options);
}

}  // namespace quendral::cli

namespace {

// Nothing escapes to the C runtime: the only exception the command can
// meet is running out of memory.
template <typename Run>
int Guarded(Run run) {
  try {
    return run();
  } catch (...) {
    quendral::cli::PrintError("out of memory");
    return quendral::cli::kExitInputNotLoaded;
  }
}

}  // namespace

#if defined(_WIN32)
// Windows would hand main() its arguments in the ANSI code page with
// look-alikes put in for characters the page lacks, so a name could come
// out as another file's. The wide arguments are converted here as the
// library converts a host's paths, which refuses such characters.
int wmain(int argc, wchar_t** wideArgv) {
  return Guarded([&] {
    std::vector<std::string> texts;
    for (int k = 0; k < argc; ++k) {
      const quendral::NarrowPath narrow(wideArgv[k]);
      if (narrow.c_str() == nullptr) {
        return quendral::cli::UsageError("argument " + std::to_string(k) +
                                         " has characters that the system's code page (" +
                                         std::to_string(GetACP()) + ") lacks");
      }
      texts.emplace_back(narrow.c_str());
    }
    std::vector<char*> argv;
    for (std::string& text : texts) argv.push_back(&text[0]);
    argv.push_back(nullptr);
    return quendral::cli::Main(argc, argv.data());
  });
}
#else
int main(int argc, char** argv) {
  return Guarded([&] { return quendral::cli::Main(argc, argv); });
}
#endif
