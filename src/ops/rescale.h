// Rescaling by bilinear interpolation.
#pragma once

namespace quendral {

class BitmapImage;

// Rescales `image` in place. `mode`, in either case: 'P' scales both sides
// to `value` percent; 'W' sets the width to `value`, 'H' the height, and 'F'
// the longer side, the other side following the old aspect ratio. Sides
// come out at least 1 pixel. Afterwards the image has 24 bits per pixel and
// no colour table. False for an unknown mode (with a diagnostic while
// diagnostics are on) and for a size beyond the pixel limit or the memory
// at hand; the image keeps its size, depth, colours and pixels then.
bool ScaleImage(BitmapImage& image, char mode, int value);

}  // namespace quendral
