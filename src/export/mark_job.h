// Load, mark and save: the export's whole job, with its outcome in detail.
#pragma once

#include <cerrno>

#include "export/mark_triangles.h"
#include "image/bitmap_image.h"

namespace quendral {

struct MarkJobResult {
  bool loaded = false;   // the input was read as a picture
  bool written = false;  // the marked picture reached the output path
  SaveStatus save;       // why the output was or was not written
};

// Loads `inputPath`, marks the top corner triangles and saves the picture
// at its own depth under the path that `outputPath()` gives, which is asked
// for only once the input has loaded. Nothing is written when the input
// does not load. Never throws.
template <typename OutputPath>
MarkJobResult RunMarkJob(const char* inputPath, OutputPath&& outputPath) noexcept {
  MarkJobResult result;
  try {
    BitmapImage image;
    if (!image.Load(inputPath)) return result;
    result.loaded = true;
    MarkTriangles(image);
    result.save = image.SaveWithStatus(outputPath());
    result.written = result.save.ok();
  } catch (...) {
    // Only running out of memory can land here.
    result.save.outcome = SaveStatus::Outcome::kWriteFailed;
    result.save.systemError = ENOMEM;
  }
  return result;
}

}  // namespace quendral
