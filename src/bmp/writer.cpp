// Writes a picture as a BMP file at its own depth: uncompressed at 1, 4, 8,
// 24 and 32 bits, 5-6-5 bit fields at 16 bits, rows bottom row first, each
// filled with zero bytes to a multiple of 4.
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "bmp/headers.h"
#include "bmp/row_loops.h"
#include "bmp/row_writer.h"
#include "image/bitmap_image.h"
#include "image/palette_matcher.h"
#include "platform/memory.h"
#include "platform/output_file.h"

namespace quendral {

bool BitmapImage::Save(const char* path) { return SaveWithStatus(path).ok(); }

// What every save checks before it writes a byte: the sizes the file
// would have, and the colour table that indexed pixels are matched against.
SaveStatus BitmapImage::PrepareSave(BmpFilePlan& plan) {
  SaveStatus status;
  if (!CheckTypeSizes()) {
    status.outcome = SaveStatus::Outcome::kWriteFailed;
    return status;
  }
  plan = PlanBmpFile(width_, height_, depth_, xPelsPerMeter_, yPelsPerMeter_);
  if (!plan.fits) {
    status.outcome = SaveStatus::Outcome::kTooLarge;
  } else if (!EnsurePalette()) {
    status.outcome = SaveStatus::Outcome::kWriteFailed;
    status.systemError = ENOMEM;
  }
  return status;
}

SaveStatus BitmapImage::SaveWithStatus(const char* path) {
  BmpFilePlan plan;
  SaveStatus status = PrepareSave(plan);
  if (!status.ok()) return status;
  OutputFile output = OutputFile::Begin(path, status.systemError);
  if (!output.IsOpen()) {
    status.outcome = SaveStatus::Outcome::kOpenFailed;
    return status;
  }
  status = WriteFile(output.file(), plan);
  if (status.ok() && !output.Commit(status.systemError))
    status.outcome = output.FlushFailed() ? SaveStatus::Outcome::kFlushFailed
                                          : SaveStatus::Outcome::kWriteFailed;
  return status;
}

SaveStatus BitmapImage::SaveWithStatus(File& file) {
  BmpFilePlan plan;
  const SaveStatus status = PrepareSave(plan);
  return status.ok() ? WriteFile(file, plan) : status;
}

SaveStatus BitmapImage::WriteFile(File& file, const BmpFilePlan& plan) {
  SaveStatus status;
  auto failed = [&status] {
    status.outcome = SaveStatus::Outcome::kWriteFailed;
    if (status.systemError == 0) status.systemError = errno != 0 ? errno : EIO;
    return status;
  };
  BmpRowWriter writer(file, plan);
  errno = 0;
  if (!writer.WriteHead(palette_.get())) return failed();

  // Rows are encoded many at a time into one chunk, written with one call.
  // The chunk is cleared once: every encoder rewrites its data bytes for
  // every row and never touches the padding behind them.
  const std::size_t stride = plan.stride;
  const std::size_t rowsPerWrite = rows::RowsPerTransfer(stride, height_);
  std::unique_ptr<std::uint8_t[]> chunk = AllocateArray<std::uint8_t>(rowsPerWrite * stride);
  if (!chunk) return failed();
  std::memset(chunk.get(), 0, rowsPerWrite * stride);
  const int size = static_cast<int>(stride);
  PaletteMatcher matcher(*this);
  int j = height_ - 1;
  while (j >= 0) {
    const std::size_t count = std::min(rowsPerWrite, static_cast<std::size_t>(j) + 1);
    for (std::size_t r = 0; r < count; ++r, --j) {
      std::uint8_t* out = chunk.get() + r * stride;
      switch (depth_) {
        case 32: rows::Pack32(Row(j), out, width_); break;
        case 24: rows::Pack24(Row(j), out, width_); break;
        case 16: rows::Pack565(Row(j), out, width_); break;
        default:
          if (!EncodeIndexedRow(out, size, j, depth_, matcher)) return failed();
          break;
      }
    }
    if (!writer.WriteRows(chunk.get(), count)) return failed();
  }
  return status;
}

// Pixels are packed most significant bits first: byte k holds the low 8
// bits of the sum of index(i) x 2^(depth x (pixels per byte - 1 - place of
// pixel i in the byte)) over its pixels, so the first pixel of a byte weighs
// 16 (4 bits) or 128 (1 bit); bits past the last pixel are 0. The loops
// below do that for the whole bytes of a row, then for the part byte.
bool BitmapImage::EncodeIndexedRow(std::uint8_t* buffer, int bufferSize, int row, int depth,
                                   PaletteMatcher& matcher) const {
  const int pixelsPerByte = 8 / depth;
  if (width_ > std::int64_t{pixelsPerByte} * bufferSize) return false;
  const ColorQuad* pixels = &At(0, row);
  if (depth == 8) {
    for (int i = 0; i < width_; ++i) buffer[i] = matcher.Match(pixels[i]);
    return true;
  }
  const int wholeBytes = width_ / pixelsPerByte;
  if (depth == 4) {
    for (int k = 0; k < wholeBytes; ++k, pixels += 2)
      buffer[k] =
          static_cast<std::uint8_t>(16u * matcher.Match(pixels[0]) + matcher.Match(pixels[1]));
  } else {
    for (int k = 0; k < wholeBytes; ++k, pixels += 8) {
      unsigned sum = 0;
      for (int b = 0; b < 8; ++b) sum += static_cast<unsigned>(matcher.Match(pixels[b])) << (7 - b);
      buffer[k] = static_cast<std::uint8_t>(sum);
    }
  }
  const int rest = width_ - wholeBytes * pixelsPerByte;
  if (rest > 0) {
    unsigned sum = 0;
    for (int b = 0; b < rest; ++b)
      sum += static_cast<unsigned>(matcher.Match(pixels[b])) << (depth * (pixelsPerByte - 1 - b));
    buffer[wholeBytes] = static_cast<std::uint8_t>(sum);
  }
  return true;
}

}  // namespace quendral
