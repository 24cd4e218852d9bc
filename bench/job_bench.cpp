// The whole job as a host runs it: Quendral(in, out) on camera-sized
// pictures at every depth, against two floors measured in the same run on
// the same files: copying the file by reading it whole into memory and
// writing it back (the plain way to copy, which pays for first touching
// that much memory), and copying it through one small buffer (the bare cost
// of the reading and writing).
//
//   quendral_job_bench [--library PATH] [--dir DIR] [--runs N] [--depths 24,32,...]
//
// DIR holds photo-<depth>.bmp (quendral_make_pictures photos DIR W H).
// Every run of either kind is a fresh child process, so that each has its
// own peak resident memory (read with wait4) and starts, like a host's
// call, on memory it has not touched before. The kinds and depths take
// turns, so that a burst of other work on the machine falls on all of them
// alike. Prints the median times, their ratios and the peak memory.
#include <dlfcn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

#ifndef QUENDRAL_LIBRARY_PATH
#define QUENDRAL_LIBRARY_PATH "libquendral.so"
#endif

using Clock = std::chrono::steady_clock;
using QuendralEntry = std::int32_t (*)(const char16_t*, const char16_t*);

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::u16string Widen(const std::string& path) {
  return std::u16string(path.begin(), path.end());
}

// --- children: each does one timed run and prints its milliseconds ---------

int ChildFloor(const std::string& in, const std::string& out) {
  const Clock::time_point start = Clock::now();
  std::FILE* input = std::fopen(in.c_str(), "rb");
  if (input == nullptr) return 1;
  struct stat info;
  if (fstat(fileno(input), &info) != 0) return 1;
  const std::size_t size = static_cast<std::size_t>(info.st_size);
  char* buffer = static_cast<char*>(std::malloc(size));
  if (buffer == nullptr || std::fread(buffer, 1, size, input) != size) return 1;
  std::fclose(input);
  std::FILE* output = std::fopen(out.c_str(), "wb");
  if (output == nullptr || std::fwrite(buffer, 1, size, output) != size) return 1;
  if (std::fclose(output) != 0) return 1;
  std::free(buffer);
  std::printf("%.3f\n", MillisecondsSince(start));
  return 0;
}

int ChildStream(const std::string& in, const std::string& out) {
  const Clock::time_point start = Clock::now();
  std::FILE* input = std::fopen(in.c_str(), "rb");
  std::FILE* output = std::fopen(out.c_str(), "wb");
  if (input == nullptr || output == nullptr) return 1;
  std::vector<char> buffer(std::size_t{1} << 20);
  std::size_t got;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), input)) > 0)
    if (std::fwrite(buffer.data(), 1, got, output) != got) return 1;
  std::fclose(input);
  if (std::fclose(output) != 0) return 1;
  std::printf("%.3f\n", MillisecondsSince(start));
  return 0;
}

int ChildJob(const std::string& library, const std::string& in, const std::string& out, bool call) {
  void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    std::fprintf(stderr, "quendral_job_bench: %s\n", dlerror());
    return 1;
  }
  auto entry = reinterpret_cast<QuendralEntry>(dlsym(handle, "Quendral"));
  if (entry == nullptr) return 1;
  const std::u16string wideIn = Widen(in);
  const std::u16string wideOut = Widen(out);
  if (!call) {  // the process and the library alone: the fixed part of the memory
    std::printf("0\n");
    return 0;
  }
  const Clock::time_point start = Clock::now();
  const std::int32_t result = entry(wideIn.c_str(), wideOut.c_str());
  const double ms = MillisecondsSince(start);
  if (result != 999) {
    std::fprintf(stderr, "quendral_job_bench: Quendral gave %d for %s\n", result, in.c_str());
    return 1;
  }
  std::printf("%.3f\n", ms);
  return 0;
}

// --- the parent ----------------------------------------------------------------

struct Sample {
  double ms = 0;
  double peakMegabytes = 0;
};

bool RunChild(const std::vector<std::string>& args, Sample& sample) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return false;
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    dup2(pipeEnds[1], STDOUT_FILENO);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv("/proc/self/exe", argv.data());
    _exit(127);
  }
  close(pipeEnds[1]);
  std::string text;
  char chunk[256];
  ssize_t got;
  while ((got = read(pipeEnds[0], chunk, sizeof chunk)) > 0)
    text.append(chunk, static_cast<std::size_t>(got));
  close(pipeEnds[0]);
  int status = 0;
  struct rusage usage;
  if (wait4(pid, &status, 0, &usage) != pid) return false;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return false;
  sample.ms = std::atof(text.c_str());
  sample.peakMegabytes = static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
  return true;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string CpuName() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line;
  while (std::getline(cpuinfo, line))
    if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
  return "unknown processor";
}

std::string LoadAverage() {
  std::ifstream loadavg("/proc/loadavg");
  std::string one, five, fifteen;
  loadavg >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

// Pixel count from the picture's own header.
long long PixelCount(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  unsigned char h[26] = {};
  file.read(reinterpret_cast<char*>(h), sizeof h);
  auto le32 = [&](int at) {
    return static_cast<long long>(h[at] | (h[at + 1] << 8) | (h[at + 2] << 16) |
                                  (static_cast<unsigned>(h[at + 3]) << 24));
  };
  return le32(18) * le32(22);
}

long long FileSize(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? static_cast<long long>(info.st_size) : 0;
}

int Usage() {
  std::fprintf(stderr,
               "usage: quendral_job_bench [--library PATH] [--dir DIR] [--runs N] "
               "[--depths 1,4,8,16,24,32]\n");
  return 2;
}

int Parent(int argc, char** argv) {
  std::string library = QUENDRAL_LIBRARY_PATH;
  std::string dir = ".";
  int runs = 7;
  std::vector<int> depths = {24, 32, 8, 4, 1, 16};
  for (int k = 1; k < argc; ++k) {
    const std::string arg = argv[k];
    if (k + 1 >= argc) return Usage();
    const std::string value = argv[++k];
    if (arg == "--library") {
      library = value;
    } else if (arg == "--dir") {
      dir = value;
    } else if (arg == "--runs") {
      runs = std::atoi(value.c_str());
    } else if (arg == "--depths") {
      depths.clear();
      std::stringstream list(value);
      std::string item;
      while (std::getline(list, item, ',')) depths.push_back(std::atoi(item.c_str()));
    } else {
      return Usage();
    }
  }
  if (runs < 1 || depths.empty()) return Usage();

  const std::string loadBefore = LoadAverage();
  std::map<int, std::vector<double>> floorMs, streamMs, jobMs;
  std::map<int, double> floorPeak, jobPeak;
  Sample idle;
  if (!RunChild({"quendral_job_bench", "--child-idle", library, "-", "-"}, idle)) {
    std::fprintf(stderr, "quendral_job_bench: cannot load %s\n", library.c_str());
    return 1;
  }
  // One untimed pass first brings every input into the page cache.
  for (int round = -1; round < runs; ++round) {
    for (int depth : depths) {
      const std::string in = dir + "/photo-" + std::to_string(depth) + ".bmp";
      Sample floor, stream, job;
      if (!RunChild({"quendral_job_bench", "--child-floor", in, dir + "/floor-out.bmp"}, floor) ||
          !RunChild({"quendral_job_bench", "--child-stream", in, dir + "/stream-out.bmp"},
                    stream) ||
          !RunChild({"quendral_job_bench", "--child-job", library, in, dir + "/job-out.bmp"},
                    job)) {
        std::fprintf(stderr, "quendral_job_bench: the run on %s failed\n", in.c_str());
        return 1;
      }
      if (round < 0) continue;
      floorMs[depth].push_back(floor.ms);
      streamMs[depth].push_back(stream.ms);
      jobMs[depth].push_back(job.ms);
      floorPeak[depth] = std::max(floorPeak[depth], floor.peakMegabytes);
      jobPeak[depth] = std::max(jobPeak[depth], job.peakMegabytes);
    }
  }
  std::remove((dir + "/floor-out.bmp").c_str());
  std::remove((dir + "/stream-out.bmp").c_str());
  std::remove((dir + "/job-out.bmp").c_str());

  const bool have24 = jobMs.count(24) != 0;
  const double job24 = have24 ? Median(jobMs[24]) : 0;
  std::printf("Machine: %s, %ld cores; load average before %s, after %s\n", CpuName().c_str(),
              sysconf(_SC_NPROCESSORS_ONLN), loadBefore.c_str(), LoadAverage().c_str());
  std::printf("Median of %d runs, each a fresh process; library %s\n", runs, library.c_str());
  std::printf("Process and library alone: peak %.1f MB\n\n", idle.peakMegabytes);
  std::printf("%5s %8s %9s %9s %8s %8s %9s %10s %9s %8s %8s\n", "depth", "file MB", "floor ms",
              "stream ms", "job ms", "min ms", "job/floor", "job/stream", "job/job24", "peak MB",
              "limit MB");
  for (int depth : depths) {
    const std::string in = dir + "/photo-" + std::to_string(depth) + ".bmp";
    const double floorMedian = Median(floorMs[depth]);
    const double streamMedian = Median(streamMs[depth]);
    const double jobMedian = Median(jobMs[depth]);
    const double limit = 1.15 * 4.0 * static_cast<double>(PixelCount(in)) / 1048576.0 + 8.0;
    std::printf("%5d %8.1f %9.1f %9.1f %8.1f %8.1f %9.2f %10.2f %9.2f %8.1f %8.1f\n", depth,
                static_cast<double>(FileSize(in)) / 1048576.0, floorMedian, streamMedian, jobMedian,
                *std::min_element(jobMs[depth].begin(), jobMs[depth].end()),
                jobMedian / floorMedian, jobMedian / streamMedian, have24 ? jobMedian / job24 : 0.0,
                jobPeak[depth], limit);
  }
  std::printf(
      "\nfloor:  read the whole file into memory and write it back, one call each.\n"
      "stream: copy the file through one 1 MiB buffer.\n"
      "job:    Quendral(in, out) in the process, the library already loaded.\n"
      "peak:   the job's peak resident memory; limit: 1.15 x 4 bytes x pixels + 8 MB.\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "--child-job") == 0)
    return ChildJob(argv[2], argv[3], argv[4], true);
  if (argc == 5 && std::strcmp(argv[1], "--child-idle") == 0)
    return ChildJob(argv[2], argv[3], argv[4], false);
  if (argc == 4 && std::strcmp(argv[1], "--child-floor") == 0) return ChildFloor(argv[2], argv[3]);
  if (argc == 4 && std::strcmp(argv[1], "--child-stream") == 0)
    return ChildStream(argv[2], argv[3]);
  return Parent(argc, argv);
}
