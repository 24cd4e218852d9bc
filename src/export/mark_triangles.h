// The one transformation the export applies to a loaded picture.
#pragma once

namespace quendral {

class BitmapImage;

// Clears red and green in two right-angled triangles at the top corners,
// whose slanted edges meet at the top centre. Blue, alpha, the size, the
// depth and the colour table are left alone.
void MarkTriangles(BitmapImage& image);

}  // namespace quendral
