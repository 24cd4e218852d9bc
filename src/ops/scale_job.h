// Load, rescale and save as one job, with its outcome in detail. The job
// streams the file: it holds two decoded source rows and one target row,
// never the picture, and reads the source bottom row first as it is
// stored, since the source rows a target row needs only move up as the
// target rows do. The same job through a picture held whole in memory
// (Load, ScaleImage, Save) stays beside it as the statement of what the
// stream must give, byte for byte.
#pragma once

#include "bmp/picture_output.h"
#include "image/bitmap_image.h"
#include "platform/file.h"

namespace quendral {

struct ScaleJobResult {
  bool loaded = false;   // the input was read as a picture
  bool scaled = false;   // the mode is known and the new size can be made
  bool written = false;  // the rescaled picture reached the output
  SaveStatus save;       // why the output was or was not written
};

// The job on a file open for reading at its first byte, with ScaleImage's
// `mode` and `value`. The output is opened only once the input has loaded
// and its new size is settled; nothing is written otherwise. The input is
// closed once the rows needed are read, before the output takes its place,
// so that the output may replace the input. Never throws.
ScaleJobResult StreamScaleJob(File& input, PictureOutput& output, char mode, int value) noexcept;
// The same job through a whole picture in memory: Load, ScaleImage, Save.
ScaleJobResult InMemoryScaleJob(File& input, PictureOutput& output, char mode, int value) noexcept;

}  // namespace quendral
