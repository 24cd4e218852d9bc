// The library's one exported entry.
#include "quendral/quendral.h"

#include <optional>

#include "export/mark_job.h"
#include "platform/path_conversion.h"

extern "C" QUENDRAL_API int32_t QUENDRAL_CALL Quendral(const QuendralPathChar* inputPath,
                                                       const QuendralPathChar* outputPath) {
  constexpr int32_t kLoaded = 999;
  constexpr int32_t kNotLoaded = 1;
  try {
    const quendral::NarrowPath input(inputPath);
    std::optional<quendral::NarrowPath> output;
    const quendral::JobResult result = quendral::RunMarkJob(input.c_str(), [&] {
      output.emplace(outputPath);
      return output->c_str();
    });
    // Whether the output was written does not change the answer.
    return result.loaded ? kLoaded : kNotLoaded;
  } catch (...) {
    return kNotLoaded;  // the input path could not even be held in memory
  }
}
