// quendral: marks, inspects and rescales BMP pictures from the command line.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "interrupt_cleanup.h"

#if defined(_WIN32)
#include <windows.h>

#include "platform/path_conversion.h"
#endif

namespace quendral::cli {
namespace {

constexpr const char* kHelp =
    "Usage: quendral COMMAND [ARGUMENTS]\n"
    "       quendral --help | --version\n"
    "\n"
    "Commands:\n"
    "  mark IN OUT               Load the BMP picture IN, set red and green to 0 in\n"
    "                            two triangles at its top corners, and save it as\n"
    "                            OUT at the picture's own bit depth. IN and OUT may\n"
    "                            be the same file; it is replaced only by a complete\n"
    "                            picture.\n"
    "  info FILE                 Show the 16 BMP header fields of FILE and a summary,\n"
    "                            without reading its pixels or judging them.\n"
    "  scale IN OUT MODE VALUE   Rescale IN by bilinear interpolation and save it as\n"
    "                            a 24-bit picture OUT. MODE (either case):\n"
    "                              P  VALUE percent of both sides\n"
    "                              W  width VALUE, height following the aspect ratio\n"
    "                              H  height VALUE, width following the aspect ratio\n"
    "                              F  longer side VALUE (H for a square picture)\n"
    "                            VALUE is a whole number and may be negative (sides\n"
    "                            never go below 1 pixel).\n"
    "\n"
    "Accepted input: uncompressed BMP at 1, 4, 8, 16, 24 or 32 bits per pixel, and\n"
    "16-bit bit-field BMP, stored bottom row first.\n"
    "\n"
    "Options:\n"
    "  -h, --help     Show this help (also after a command) and exit.\n"
    "  -V, --version  Show the version and exit.\n"
    "  --             End of options: what follows are operands.\n"
    "\n"
    "Exit status:\n"
    "  0  done\n"
    "  1  the input could not be loaded (nothing written), or the file for\n"
    "     'info' could not be opened\n"
    "  2  usage error, or an unknown scale mode or unusable scale value\n"
    "  3  the input loaded but the output could not be written, or the device\n"
    "     would not flush the picture that was to replace OUT (nothing left\n"
    "     behind; a file already at OUT is unchanged)\n"
    "  128+N  interrupted by signal N (Ctrl-C, SIGTERM, SIGHUP): likewise\n"
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

void PrintError(const std::string& message) {
  std::fprintf(stderr, "quendral: %s\n", message.c_str());
}

int UsageError(const std::string& message) {
  std::fprintf(stderr, "quendral: %s (try 'quendral --help')\n", message.c_str());
  return kExitUsage;
}

int Main(int argc, char** argv) {
  RemoveTemporaryFilesOnInterrupt();
  std::string command;
  Arguments operands;
  bool optionsEnded = false;
  for (int k = 1; k < argc; ++k) {
    const std::string arg = argv[k];
    if (!optionsEnded && IsOption(arg)) {
      if (arg == "--") {
        optionsEnded = true;
      } else if (arg == "-h" || arg == "--help") {
        std::fputs(kHelp, stdout);
        return kExitOk;
      } else if (arg == "-V" || arg == "--version") {
        std::printf("quendral %s\n", QUENDRAL_VERSION);
        return kExitOk;
      } else {
        return UsageError("unknown option '" + arg + "'");
      }
      continue;
    }
    if (command.empty()) {
      command = arg;
    } else {
      operands.push_back(arg);
    }
  }
  if (command.empty()) return UsageError("no command given");
  if (command == "mark") return RunMark(operands);
  if (command == "info") return RunInfo(operands);
  if (command == "scale") return RunScale(operands);
  return UsageError("unknown command '" + command + "'");
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
