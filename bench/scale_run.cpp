// One run of a rescale job, for scripts/bench-scale.sh to time and measure
// as a whole process beside `quendral scale` (the stream):
//
//   quendral_scale_run memory IN OUT MODE VALUE   Load, ScaleImage, Save
//   quendral_scale_run stream IN OUT MODE VALUE   the stream, in-process
//   quendral_scale_run floor IN OUT BYTES         the I/O floor: read IN and
//       write BYTES bytes to OUT, both through a 1 MiB buffer
//   add --plain after the job to keep the stream off its fast path
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ops/scale_job.h"
#include "ops/scale_rows.h"
#include "platform/file.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: quendral_scale_run memory|stream [--plain] IN OUT MODE VALUE\n"
               "       quendral_scale_run floor IN OUT BYTES\n");
  return 2;
}

int Floor(const char* in, const char* out, long long bytes) {
  std::vector<char> buffer(std::size_t{1} << 20);
  std::FILE* input = std::fopen(in, "rb");
  std::FILE* output = std::fopen(out, "wb");
  if (input == nullptr || output == nullptr) return 1;
  std::setvbuf(input, nullptr, _IONBF, 0);
  std::setvbuf(output, nullptr, _IONBF, 0);
  while (std::fread(buffer.data(), 1, buffer.size(), input) == buffer.size()) {
  }
  std::memset(buffer.data(), 0x5A, buffer.size());
  while (bytes > 0) {
    const std::size_t piece = bytes < static_cast<long long>(buffer.size())
                                  ? static_cast<std::size_t>(bytes)
                                  : buffer.size();
    if (std::fwrite(buffer.data(), 1, piece, output) != piece) return 1;
    bytes -= static_cast<long long>(piece);
  }
  std::fclose(input);
  return std::fclose(output) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace quendral;
  if (argc < 2) return Usage();
  const std::string job = argv[1];
  if (job == "floor") return argc == 5 ? Floor(argv[2], argv[3], std::atoll(argv[4])) : Usage();
  int first = 2;
  if (argc > 2 && std::string(argv[2]) == "--plain") {
    SetScaleFastPathAllowed(false);
    ++first;
  }
  if (argc - first != 4 || (job != "memory" && job != "stream")) return Usage();
  File input = File::Open(argv[first], "rb");
  if (!input.IsOpen()) return 1;
  const char* out = argv[first + 1];
  ReplacingOutput output([out] { return out; });
  const char mode = argv[first + 2][0];
  const int value = std::atoi(argv[first + 3]);
  const ScaleJobResult result = job == "memory" ? InMemoryScaleJob(input, output, mode, value)
                                                : StreamScaleJob(input, output, mode, value);
  return result.written ? 0 : 1;
}
