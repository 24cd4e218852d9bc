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

bool BitmapImage::EncodeIndexedRow(std::uint8_t* buffer, int bufferSize, int row, int depth,
                                   PaletteMatcher& matcher) const {
  if (width_ > std::int64_t{8 / depth} * bufferSize) return false;
  rows::PackIndices(&At(0, row), buffer, width_, depth, matcher);
  return true;
}

}  // namespace quendral
