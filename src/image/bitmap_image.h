// The in-memory picture: pixels held as full ColorQuads whatever the depth,
// a nominal bit depth, a colour table at 1, 4 and 8 bits, and a resolution.
#pragma once

#include <cstdint>
#include <memory>

#include "image/color_quad.h"

namespace quendral {

class File;
class PaletteMatcher;
struct BmpFilePlan;

// Largest picture, in pixels, that an image will hold (1 GiB of pixels).
// Bounds every allocation whose size comes from a file or a caller.
inline constexpr std::int64_t kMaxPixels = std::int64_t{1} << 28;

// base to the power exponent by repeated 32-bit multiplication; 1 for an
// exponent of 0 or less.
int IntegerPower(int base, int exponent);

// The depths that carry a colour table.
inline bool IsIndexedDepth(int depth) { return depth == 1 || depth == 4 || depth == 8; }

// Fills `table` (2^depth entries) with the standard colours of an indexed
// depth; false, touching nothing, at any other depth.
bool FillStandardTable(int depth, ColorQuad* table);

// Why a save did or did not reach its file.
struct SaveStatus {
  // kFlushFailed: every byte was written, but the device would not flush
  // the replacement of an existing file, which was therefore not put in
  // place; or, when only the directory would not flush after the move, it
  // is in place but may not survive a power cut.
  enum class Outcome { kWritten, kTooLarge, kOpenFailed, kWriteFailed, kFlushFailed };
  Outcome outcome = Outcome::kWritten;
  int systemError = 0;  // errno value for the failed outcomes but kTooLarge, else 0
  bool ok() const { return outcome == Outcome::kWritten; }
};

class BitmapImage {
 public:
  BitmapImage();
  BitmapImage(const BitmapImage& source);
  BitmapImage& operator=(const BitmapImage&) = delete;
  ~BitmapImage() = default;

  int Depth() const { return depth_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  int ColorCount() const;

  // Coordinates outside the picture are clamped onto its nearest edge pixel.
  ColorQuad& At(int i, int j);
  const ColorQuad& At(int i, int j) const;
  ColorQuad ReadPixel(int i, int j) const;
  // Stores without clamping; a position outside the picture stores nothing
  // and gives false.
  bool WritePixel(int i, int j, ColorQuad colour);

  // White for an index outside the colour table or when there is none.
  ColorQuad PaletteEntry(int index) const;
  bool SetPaletteEntry(int index, ColorQuad colour);

  bool SetDepth(int newDepth);
  // Every pixel becomes white. Refuses sizes below 1, above kMaxPixels, and
  // sizes whose memory cannot be had; the old picture stays then.
  bool Resize(int newWidth, int newHeight);
  bool FillStandardPalette();
  bool FillGrayPalette();
  std::uint8_t NearestPaletteIndex(const ColorQuad& colour) const;

  void SetResolution(int horizontalDpi, int verticalDpi);
  // A resolution of 0 is taken as 3780 pixels per metre and stored so; that
  // is why the resolution fields may change under a const image.
  int HorizontalDpi() const;
  int VerticalDpi() const;

  bool Load(const char* path);
  // Reads a picture from a file already open for reading, from its first byte.
  bool Load(File& file);
  // Writes the picture at its own depth. False when nothing complete could
  // be written: the path then holds what it held before.
  bool Save(const char* path);
  SaveStatus SaveWithStatus(const char* path);
  // Writes the picture to a file already open for writing, straight, with
  // nothing to replace: for standard output and memory streams.
  SaveStatus SaveWithStatus(File& file);

  // Direct access for the codec and the image operations. Pixels are held
  // row by row in one block: row j starts at Row(j) and holds Width() pixels.
  // Every operation addresses pixels by (column, row), so the order of
  // storage is invisible to callers; rows suit the file format's order.
  ColorQuad* Row(int j) { return pixels_.get() + static_cast<std::size_t>(j) * width_; }
  const ColorQuad* Row(int j) const {
    return pixels_.get() + static_cast<std::size_t>(j) * width_;
  }
  ColorQuad* Palette() { return palette_.get(); }
  const ColorQuad* Palette() const { return palette_.get(); }
  std::int32_t XPelsPerMeter() const { return xPelsPerMeter_; }
  std::int32_t YPelsPerMeter() const { return yPelsPerMeter_; }
  void SetPelsPerMeter(std::int32_t x, std::int32_t y) {
    xPelsPerMeter_ = x;
    yPelsPerMeter_ = y;
  }
  // Gives the image the standard colour table for its depth if it has none
  // at 1, 4 or 8 bits; false only when the memory cannot be had.
  bool EnsurePalette();

 private:
  // Resize without making the pixels white, for a caller that writes every
  // pixel before any is read: the block's first touch is then that write.
  bool ResizeUnfilled(int newWidth, int newHeight);
  // The colour table when the image holds one of 2^depth entries at exactly
  // that depth, so that every index of that many bits is inside it.
  const ColorQuad* TableFor(int depth) const { return depth_ == depth ? palette_.get() : nullptr; }
  SaveStatus PrepareSave(BmpFilePlan& plan);
  SaveStatus WriteFile(File& file, const BmpFilePlan& plan);
  bool EncodeIndexedRow(std::uint8_t* buffer, int bufferSize, int row, int depth,
                        PaletteMatcher& matcher) const;

  std::int32_t depth_ = 24;
  std::int32_t width_ = 1;
  std::int32_t height_ = 1;
  std::unique_ptr<ColorQuad[]> pixels_;
  std::unique_ptr<ColorQuad[]> palette_;
  mutable std::int32_t xPelsPerMeter_ = 0;
  mutable std::int32_t yPelsPerMeter_ = 0;
};

}  // namespace quendral
