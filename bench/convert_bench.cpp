// One timed run of the convert job, or of its I/O floor, for
// scripts/bench-convert.py, which runs each as a fresh process (so that
// each has its own peak resident memory, read with wait4) and takes
// medians:
//
//   quendral_convert_bench stream IN OUT DEPTH [grey]   the streamed job
//   quendral_convert_bench memory IN OUT DEPTH [grey]   the job through a whole picture
//   quendral_convert_bench floor IN OUT BYTES           read IN, write BYTES bytes to OUT
//   quendral_convert_bench measure PROGRAM ARG...       run a program, then print its peak
//                                                       resident memory in KiB
//
// Prints the milliseconds from opening the input to the output in place.
// A process started from a large one (the Python driver) would report at
// least that one's memory, so the driver starts every run through this
// small program's measure.
// The floor reads the input and writes the output's number of bytes to a
// new file through one small buffer: what any job from one file to the
// other must at least do.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ops/convert_job.h"

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

int Floor(const std::string& in, const std::string& out, long long bytes) {
  const Clock::time_point start = Clock::now();
  std::FILE* input = std::fopen(in.c_str(), "rb");
  std::FILE* output = std::fopen(out.c_str(), "wb");
  if (input == nullptr || output == nullptr) return 1;
  std::vector<char> buffer(std::size_t{64} << 10);
  std::size_t got;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), input)) > 0) {
    const std::size_t put = static_cast<std::size_t>(std::min<long long>(bytes, static_cast<long long>(got)));
    if (std::fwrite(buffer.data(), 1, put, output) != put) return 1;
    bytes -= static_cast<long long>(put);
  }
  // An output larger than its input (8 bits to 24) is filled up.
  while (bytes > 0) {
    const std::size_t put = static_cast<std::size_t>(std::min<long long>(bytes, static_cast<long long>(buffer.size())));
    if (std::fwrite(buffer.data(), 1, put, output) != put) return 1;
    bytes -= static_cast<long long>(put);
  }
  std::fclose(input);
  if (std::fclose(output) != 0) return 1;
  std::printf("%.3f\n", MillisecondsSince(start));
  return 0;
}

int Job(bool streamed, const std::string& in, const std::string& out, int depth, bool grey) {
  const Clock::time_point start = Clock::now();
  quendral::File input = quendral::File::Open(in.c_str(), "rb");
  quendral::ReplacingOutput output([&] { return out.c_str(); });
  quendral::ConvertTarget target;
  target.depth = depth;
  target.grey = grey;
  const quendral::JobResult result = streamed
                                             ? quendral::StreamConvertJob(input, output, target)
                                             : quendral::InMemoryConvertJob(input, output, target);
  const double ms = MillisecondsSince(start);
  if (!result.written) return 1;
  std::printf("%.3f\n", ms);
  return 0;
}

int Measure(char** argv) {
  std::fflush(stdout);
  const pid_t pid = fork();
  if (pid < 0) return 1;
  if (pid == 0) {
    execvp(argv[0], argv);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return 1;
  std::printf("%ld\n", usage.ru_maxrss);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 && std::string(argv[1]) == "measure") return Measure(argv + 2);
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() >= 4 && (args[0] == "stream" || args[0] == "memory"))
    return Job(args[0] == "stream", args[1], args[2], std::atoi(args[3].c_str()),
               args.size() > 4 && args[4] == "grey");
  if (args.size() == 4 && args[0] == "floor") return Floor(args[1], args[2], std::atoll(args[3].c_str()));
  std::fprintf(stderr,
               "usage: quendral_convert_bench stream|memory IN OUT DEPTH [grey]\n"
               "       quendral_convert_bench floor IN OUT BYTES\n"
               "       quendral_convert_bench measure PROGRAM ARG...\n");
  return 2;
}
