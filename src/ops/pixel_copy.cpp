#include "ops/pixel_copy.h"

#include <algorithm>
#include <cstdint>

#include "image/bitmap_image.h"

namespace quendral {
namespace {

struct Rectangle {
  std::int64_t left, right, top, bottom;
};

// Clipping in 64 bits: the sums below can leave the 32-bit range for
// extreme arguments, and every bound that survives fits 32 bits again.
Rectangle Clip(const BitmapImage& source, int left, int right, int rowA, int rowB,
               const BitmapImage& target, int targetColumn, int targetRow) {
  Rectangle r{left, right, std::min(rowA, rowB), std::max(rowA, rowB)};
  if (r.right >= source.Width()) r.right = source.Width() - 1;
  if (r.left < 0) r.left = 0;
  if (r.bottom >= source.Height()) r.bottom = source.Height() - 1;
  if (r.top < 0) r.top = 0;
  if ((r.right - r.left) + targetColumn >= target.Width())
    r.right = r.left - targetColumn + target.Width() - 1;
  if ((r.bottom - r.top) + targetRow >= target.Height())
    r.bottom = r.top - targetRow + target.Height() - 1;
  return r;
}

bool MatchesKey(const ColorQuad& pixel, const ColorQuad& key) {
  return pixel.red == key.red && pixel.green == key.green && pixel.blue == key.blue;
}

// Pixels go top to bottom, left to right, one at a time through clamped
// access, so a copy within one image reads pixels that it has already
// written, and target positions left of or above the target fold onto its
// first column or row.
template <typename CopyOne>
void CopyClipped(const Rectangle& r, int targetColumn, int targetRow, CopyOne copyOne) {
  for (std::int64_t row = r.top; row <= r.bottom; ++row) {
    for (std::int64_t column = r.left; column <= r.right; ++column) {
      copyOne(static_cast<int>(column), static_cast<int>(row),
              static_cast<int>(targetColumn + (column - r.left)),
              static_cast<int>(targetRow + (row - r.top)));
    }
  }
}

}  // namespace

void CopyPixel(BitmapImage& source, int column, int row, BitmapImage& target, int targetColumn,
               int targetRow) {
  target.At(targetColumn, targetRow) = source.At(column, row);
}

void CopyPixelKeyed(BitmapImage& source, int column, int row, BitmapImage& target,
                    int targetColumn, int targetRow, const ColorQuad& key) {
  const ColorQuad pixel = source.At(column, row);
  if (!MatchesKey(pixel, key)) target.At(targetColumn, targetRow) = pixel;
}

void CopyRegion(BitmapImage& source, int left, int right, int rowA, int rowB, BitmapImage& target,
                int targetColumn, int targetRow) {
  const Rectangle r = Clip(source, left, right, rowA, rowB, target, targetColumn, targetRow);
  CopyClipped(r, targetColumn, targetRow, [&](int c, int rw, int tc, int tr) {
    CopyPixel(source, c, rw, target, tc, tr);
  });
}

void CopyRegionKeyed(BitmapImage& source, int left, int right, int rowA, int rowB,
                     BitmapImage& target, int targetColumn, int targetRow, const ColorQuad& key) {
  const Rectangle r = Clip(source, left, right, rowA, rowB, target, targetColumn, targetRow);
  CopyClipped(r, targetColumn, targetRow, [&](int c, int rw, int tc, int tr) {
    CopyPixelKeyed(source, c, rw, target, tc, tr, key);
  });
}

}  // namespace quendral
