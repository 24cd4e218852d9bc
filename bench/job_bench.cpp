// The whole job as a host runs it: Quendral(in, out) on camera-sized
// pictures at every depth, against the floors of a job that reads a file
// and writes one, measured in the same run on the same files: copying the
// file in-process through one reused 1 MiB buffer, and cp. Beside it, the
// same job through a whole picture in memory (the library's Load,
// MarkTriangles and Save, linked in), which the stream replaced.
//
//   quendral_job_bench [--library PATH] [--dir DIR] [--runs N] [--depths 24,32,...]
//                      [--replace]
//
// DIR holds photo-<depth>.bmp (quendral_make_pictures photos DIR W H).
// Every run of every kind is a fresh child process, so that each has its
// own peak resident memory (read with wait4) and starts, like a host's
// call, on memory it has not touched before; every run writes a new file
// (the output of the run before is removed first, outside the timing). The
// kinds and depths take turns, so that a burst of other work on the
// machine falls on all of them alike. Prints the median times, their
// ratios and the peak memory.
//
// With --replace it also times the job replacing an existing file, durably
// (the new file flushed to the device before it takes the old one's place,
// then the directory) and plainly (the same calls with the flushes made
// no-ops by a preloaded library), beside the job writing a new file, with
// the disk's write-back of earlier runs settled before each of the three.
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
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "export/mark_job.h"

namespace {

#ifndef QUENDRAL_LIBRARY_PATH
#define QUENDRAL_LIBRARY_PATH "libquendral.so"
#endif
#ifndef QUENDRAL_TRACE_LIBRARY_PATH
#define QUENDRAL_TRACE_LIBRARY_PATH ""
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

// Runs a program of its own (name, arguments) and prints its milliseconds.
int TimeProgram(const char* program, const std::string& first, const std::string& second) {
  const Clock::time_point start = Clock::now();
  const pid_t pid = fork();
  if (pid < 0) return 1;
  if (pid == 0) {
    execlp(program, program, first.c_str(), second.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return 1;
  std::printf("%.3f\n", MillisecondsSince(start));
  return 0;
}

int ChildCp(const std::string& in, const std::string& out) { return TimeProgram("cp", in, out); }

// A mainstream tool reading the picture and writing it again, which it
// must do at the least to do the job: a lower bound on its time for it.
int ChildPeer(const std::string& in, const std::string& out) {
  return TimeProgram("convert", in, "BMP3:" + out);
}

// The job through a picture held whole, as it was before it streamed.
int ChildInMemory(const std::string& in, const std::string& out) {
  const Clock::time_point start = Clock::now();
  quendral::File input = quendral::File::Open(in.c_str(), "rb");
  quendral::ReplacingOutput output([&] { return out.c_str(); });
  const quendral::JobResult result = quendral::InMemoryMarkJob(input, output);
  const double ms = MillisecondsSince(start);
  if (!result.written) return 1;
  std::printf("%.3f\n", ms);
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

// Width (high 32 bits) and height (low 32 bits) from the picture's header.
long long PixelCount(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  unsigned char h[26] = {};
  file.read(reinterpret_cast<char*>(h), sizeof h);
  auto le32 = [&](int at) {
    return static_cast<long long>(h[at] | (h[at + 1] << 8) | (h[at + 2] << 16) |
                                  (static_cast<unsigned>(h[at + 3]) << 24));
  };
  return (le32(18) << 32) | le32(22);
}

long long FileSize(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? static_cast<long long>(info.st_size) : 0;
}

int Usage() {
  std::fprintf(stderr,
               "usage: quendral_job_bench [--library PATH] [--dir DIR] [--runs N] "
               "[--depths 1,4,8,16,24,32] [--replace]\n");
  return 2;
}

int Parent(int argc, char** argv) {
  std::string library = QUENDRAL_LIBRARY_PATH;
  std::string dir = ".";
  int runs = 7;
  std::vector<int> depths = {24, 32, 8, 4, 1, 16};
  bool replace = false;
  for (int k = 1; k < argc; ++k) {
    const std::string arg = argv[k];
    if (arg == "--replace") {
      replace = true;
      continue;
    }
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
  if (replace && std::string(QUENDRAL_TRACE_LIBRARY_PATH).empty()) {
    std::fprintf(stderr, "quendral_job_bench: --replace needs the preloaded library (Linux)\n");
    return 2;
  }

  const std::string loadBefore = LoadAverage();
  // The kinds, each a child process; the job itself first.
  std::vector<std::string> kinds = {"job", "memory", "copy", "cp"};
  const bool peer = std::system("convert -version 2>/dev/null | grep -q ImageMagick") == 0;
  if (peer) kinds.push_back("peer");
  std::map<std::string, std::map<int, std::vector<double>>> ms;
  std::map<std::string, std::map<int, double>> peak;
  Sample idle;
  if (!RunChild({"quendral_job_bench", "--child-idle", library, "-", "-"}, idle)) {
    std::fprintf(stderr, "quendral_job_bench: cannot load %s\n", library.c_str());
    return 1;
  }
  const std::string out = dir + "/bench-out.bmp";
  std::set<int> peerRefused;
  std::map<int, std::vector<double>> newMs, plainMs, durableMs;
  // A replacement's flush must not also pay for what earlier runs left to
  // write back, nor a plain one leave its write-back to the next run.
  auto replaceRun = [&](const std::string& in, bool exists, bool plain, Sample& sample) {
    if (!exists) std::remove(out.c_str());
    sync();
    if (plain) {
      setenv("LD_PRELOAD", QUENDRAL_TRACE_LIBRARY_PATH, 1);
      setenv("QD_TRACE_NO_SYNC", "1", 1);
    }
    const bool ran = RunChild({"quendral_job_bench", "--child-job", library, in, out}, sample);
    unsetenv("LD_PRELOAD");
    unsetenv("QD_TRACE_NO_SYNC");
    return ran;
  };
  // One untimed pass first brings every input into the page cache.
  for (int round = -1; round < runs; ++round) {
    for (int depth : depths) {
      const std::string in = dir + "/photo-" + std::to_string(depth) + ".bmp";
      for (const std::string& kind : kinds) {
        std::remove(out.c_str());
        std::vector<std::string> args = {"quendral_job_bench", "--child-" + kind};
        if (kind == "job") args.push_back(library);
        args.push_back(in);
        args.push_back(out);
        Sample sample;
        // The peer may refuse a picture its resource policy finds too
        // large; its column then stays empty.
        if (kind == "peer" && peerRefused.count(depth) != 0) continue;
        const bool ran = RunChild(args, sample);
        if (!ran && kind == "peer") {
          peerRefused.insert(depth);
          continue;
        }
        if (!ran) {
          std::fprintf(stderr, "quendral_job_bench: the %s run on %s failed\n", kind.c_str(),
                       in.c_str());
          return 1;
        }
        if (round < 0) continue;
        ms[kind][depth].push_back(sample.ms);
        peak[kind][depth] = std::max(peak[kind][depth], sample.peakMegabytes);
      }
      Sample fresh, plain, durable;
      if (replace && (!replaceRun(in, false, false, fresh) || !replaceRun(in, true, true, plain) ||
                      !replaceRun(in, true, false, durable))) {
        std::fprintf(stderr, "quendral_job_bench: a replacing run on %s failed\n", in.c_str());
        return 1;
      }
      if (replace && round >= 0) {
        newMs[depth].push_back(fresh.ms);
        plainMs[depth].push_back(plain.ms);
        durableMs[depth].push_back(durable.ms);
      }
    }
  }
  std::remove(out.c_str());

  std::printf("Machine: %s, %ld cores; load average before %s, after %s\n", CpuName().c_str(),
              sysconf(_SC_NPROCESSORS_ONLN), loadBefore.c_str(), LoadAverage().c_str());
  std::printf("Median of %d runs, each a fresh process writing a new file; library %s\n", runs,
              library.c_str());
  std::printf("Process and library alone: peak %.1f MB\n\n", idle.peakMegabytes);
  std::printf("%5s %11s %8s %8s %8s %8s %9s %7s %10s %8s %10s %8s %9s\n", "depth", "picture",
              "file MB", "job ms", "copy ms", "cp ms", "job/copy", "job/cp", "memory ms", "job MB",
              "memory MB", "peer ms", "job/peer");
  for (int depth : depths) {
    const std::string in = dir + "/photo-" + std::to_string(depth) + ".bmp";
    const double job = Median(ms["job"][depth]);
    const double copy = Median(ms["copy"][depth]);
    const double cp = Median(ms["cp"][depth]);
    const long long width = PixelCount(in) >> 32, height = PixelCount(in) & 0xFFFFFFFF;
    const std::string picture = std::to_string(width) + "x" + std::to_string(height);
    const bool peerRan = peer && peerRefused.count(depth) == 0 && !ms["peer"][depth].empty();
    const double peerMs = peerRan ? Median(ms["peer"][depth]) : 0.0;
    std::printf("%5d %11s %8.1f %8.1f %8.1f %8.1f %9.2f %7.2f %10.1f %8.1f %10.1f %8.1f %9.2f\n",
                depth, picture.c_str(), static_cast<double>(FileSize(in)) / 1048576.0, job, copy,
                cp, job / copy, job / cp, Median(ms["memory"][depth]), peak["job"][depth],
                peak["memory"][depth], peerMs, peerRan ? job / peerMs : 0.0);
  }
  if (replace) {
    std::printf("\nWriting the output, disk write-back settled before each run\n");
    std::printf("%5s %8s %9s %10s %9s %9s\n", "depth", "new ms", "plain ms", "durable ms",
                "extra ms", "dur/plain");
    for (int depth : depths) {
      const double plainMedian = Median(plainMs[depth]);
      const double durableMedian = Median(durableMs[depth]);
      std::printf("%5d %8.1f %9.1f %10.1f %9.1f %9.2f\n", depth, Median(newMs[depth]),
                  plainMedian, durableMedian, durableMedian - plainMedian,
                  durableMedian / plainMedian);
    }
    std::printf(
        "new: the job writing a new file; plain: replacing a file, flushes skipped;\n"
        "durable: replacing it as the library does, the new file flushed before the\n"
        "move and the directory after.\n");
  }
  std::printf(
      "\njob:    Quendral(in, out) in the process, the library already loaded (the stream).\n"
      "copy:   the same file copied in-process through one reused 1 MiB buffer.\n"
      "cp:     cp in out, a process of its own.\n"
      "memory: the same job through a whole picture in memory (Load, mark, Save).\n"
      "MB:     whole-process peak resident memory (wait4) of the job's and memory's runs.\n"
      "peer:   ImageMagick's convert reading the picture and writing it again (BMP3), a\n"
      "        lower bound on its doing the job; 0 where convert is not installed or\n"
      "        refused the picture.\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "--child-job") == 0)
    return ChildJob(argv[2], argv[3], argv[4], true);
  if (argc == 5 && std::strcmp(argv[1], "--child-idle") == 0)
    return ChildJob(argv[2], argv[3], argv[4], false);
  if (argc == 4 && std::strcmp(argv[1], "--child-copy") == 0) return ChildStream(argv[2], argv[3]);
  if (argc == 4 && std::strcmp(argv[1], "--child-cp") == 0) return ChildCp(argv[2], argv[3]);
  if (argc == 4 && std::strcmp(argv[1], "--child-peer") == 0) return ChildPeer(argv[2], argv[3]);
  if (argc == 4 && std::strcmp(argv[1], "--child-memory") == 0)
    return ChildInMemory(argv[2], argv[3]);
  return Parent(argc, argv);
}
