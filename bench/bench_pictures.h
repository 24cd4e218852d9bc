// Pictures for the micro-benchmarks: written once per process into a
// scratch directory that goes away at exit.
#pragma once

#include <string>

#include "image/bitmap_image.h"

namespace quendral::bench {

// Size of the pictures the codec benchmarks load and save.
inline constexpr int kCodecWidth = 3000;
inline constexpr int kCodecHeight = 2000;
// Size of the picture that marking and rescaling work on: a camera's.
inline constexpr int kCameraWidth = 6000;
inline constexpr int kCameraHeight = 4000;

// Path of a photo-like BMP file of `width` x `height` at `depth` (8 bits
// with its own colour table, 16 bits as 5-6-5 bit fields).
const std::string& PhotoFile(int depth, int width = kCodecWidth, int height = kCodecHeight);

// A path in the scratch directory for a benchmark's output.
std::string ScratchPath(const std::string& name);

// The photo loaded into an image; aborts the benchmark run if it fails.
void LoadPhoto(BitmapImage& image, int depth, int width = kCodecWidth, int height = kCodecHeight);

}  // namespace quendral::bench
