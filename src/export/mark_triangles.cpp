#include "export/mark_triangles.h"

#include <algorithm>

#include "image/bitmap_image.h"

namespace quendral {
namespace {

void ClearRedGreen(ColorQuad* first, ColorQuad* last) {
  for (ColorQuad* p = first; p <= last; ++p) {
    p->green = 0;
    p->red = 0;
  }
}

}  // namespace

void MarkTriangles(BitmapImage& image) {
  const int width = image.Width();
  const int height = image.Height();
  const int half = width / 2;
  const int lastRow = std::min(std::max(half - 1, 0), height - 1);
  // Row j: the left triangle is columns 0 .. half - j, the right one
  // half + j .. width - 1. Every column named lies inside the picture, so
  // the rows are addressed directly rather than through clamped access.
  for (int j = 0; j <= lastRow; ++j) {
    ColorQuad* row = image.Row(j);
    ClearRedGreen(row, row + std::min(half - j, width - 1));
    ClearRedGreen(row + half + j, row + width - 1);
  }
}

}  // namespace quendral
