// Copies of single pixels and rectangles between images, optionally
// skipping pixels of a transparent key colour.
#pragma once

#include "image/color_quad.h"

namespace quendral {

class BitmapImage;

void CopyPixel(BitmapImage& source, int column, int row, BitmapImage& target, int targetColumn,
               int targetRow);
// Copies unless the source pixel's red, green and blue equal the key's.
void CopyPixelKeyed(BitmapImage& source, int column, int row, BitmapImage& target,
                    int targetColumn, int targetRow, const ColorQuad& key);

// Copies columns left..right and the rows between rowA and rowB (both
// bounds inclusive, rows in either order) so that the top-left pixel lands
// on (targetColumn, targetRow), clipped to the source and to the room left
// in the target.
void CopyRegion(BitmapImage& source, int left, int right, int rowA, int rowB, BitmapImage& target,
                int targetColumn, int targetRow);
void CopyRegionKeyed(BitmapImage& source, int left, int right, int rowA, int rowB,
                     BitmapImage& target, int targetColumn, int targetRow, const ColorQuad& key);

}  // namespace quendral
