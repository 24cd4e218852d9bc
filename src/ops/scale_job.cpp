#include "ops/scale_job.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "bmp/row_decoder.h"
#include "bmp/row_loops.h"
#include "bmp/row_reader.h"
#include "bmp/row_writer.h"
#include "ops/rescale.h"
#include "ops/scale_plan.h"
#include "ops/scale_rows.h"
#include "platform/memory.h"

namespace quendral {
namespace {

// The source rows a target row reads, decoded; rows read on the way to
// them are dropped undecoded. Rows arrive many at a time through one
// chunk, as the whole-picture reader takes them.
class SourceWindow {
 public:
  SourceWindow(BmpRowReader& reader, const StoredRowDecoder& decoder)
      : reader_(reader), decoder_(decoder), next_(reader.height() - 1) {}

  bool Prepare() {
    const std::size_t width = static_cast<std::size_t>(reader_.width());
    rowsPerChunk_ = rows::RowsPerTransfer(reader_.stride(), reader_.height());
    chunk_ = AllocateArray<std::uint8_t>(rowsPerChunk_ * reader_.stride());
    slotPixels_[0] = AllocateArray<ColorQuad>(width);
    slotPixels_[1] = AllocateArray<ColorQuad>(width);
    return chunk_ && slotPixels_[0] && slotPixels_[1];
  }

  // Source row `row`, decoded, keeping row `keep` if it is held. Rows are
  // asked for from the bottom up; null for a row already passed (which the
  // mapping of target rows never asks for).
  const ColorQuad* Fetch(int row, int keep) {
    for (int s = 0; s < 2; ++s)
      if (slotRow_[s] == row) return slotPixels_[s].get();
    if (row > next_) return nullptr;
    while (next_ > row) NextStoredRow();
    bool given = false;
    const std::uint8_t* stored = NextStoredRow(&given);
    const int s = slotRow_[0] == keep ? 1 : 0;
    slotRow_[s] = row;
    ColorQuad* pixels = slotPixels_[s].get();
    if (given) {
      decoder_.Decode(stored, pixels);
    } else {
      std::fill_n(pixels, reader_.width(), kWhite);
    }
    return pixels;
  }

 private:
  const std::uint8_t* NextStoredRow(bool* given = nullptr) {
    if (chunkNext_ == chunkRows_) {
      chunkRows_ = std::min(rowsPerChunk_, static_cast<std::size_t>(next_) + 1);
      chunkGiven_ = reader_.ReadRows(chunk_.get(), chunkRows_);
      chunkNext_ = 0;
    }
    if (given != nullptr) *given = chunkNext_ < chunkGiven_;
    --next_;
    return chunk_.get() + chunkNext_++ * reader_.stride();
  }

  BmpRowReader& reader_;
  const StoredRowDecoder& decoder_;
  int next_;  // the next source row the file gives
  std::size_t rowsPerChunk_ = 0, chunkRows_ = 0, chunkGiven_ = 0, chunkNext_ = 0;
  std::unique_ptr<std::uint8_t[]> chunk_;
  std::unique_ptr<ColorQuad[]> slotPixels_[2];
  int slotRow_[2] = {-1, -1};
};

// Target rows bottom-up, as the file stores them: the last row from the
// source's last row, then each row above from the two source rows it maps
// between.
bool WriteScaledRows(SourceWindow& window, int oldHeight, const ScaleColumns& columns,
                     int newHeight, BmpRowWriter& writer, ColorQuad* target, std::uint8_t* stored) {
  const int newWidth = columns.newWidth();
  const ColorQuad* bottom = window.Fetch(oldHeight - 1, -1);
  InterpolateLastRow(bottom, columns, target);
  rows::Pack24(target, stored, newWidth);
  if (!writer.WriteRows(stored, 1)) return false;
  for (int j = newHeight - 2; j >= 0; --j) {
    const SourcePosition y = MapPosition(j, oldHeight, newHeight);
    const int upperRow = ClampIndex(y.whole, oldHeight);
    const int lowerRow = ClampIndex(y.whole + 1, oldHeight);
    const ColorQuad* lower = window.Fetch(lowerRow, upperRow);
    const ColorQuad* upper = window.Fetch(upperRow, lowerRow);
    if (lower == nullptr || upper == nullptr) return false;
    InterpolateRow(upper, lower, y.fraction, columns, target);
    rows::Pack24(target, stored, newWidth);
    if (!writer.WriteRows(stored, 1)) return false;
  }
  return true;
}

}  // namespace

ScaleJobResult StreamScaleJob(File& input, PictureOutput& output, char mode, int value) noexcept {
  ScaleJobResult result;
  try {
    if (!CheckTypeSizes()) return result;
    BmpRowReader reader(input);
    if (reader.ReadHeaders() != HeaderVerdict::kAccepted) return result;
    reader.ReadTables();
    result.loaded = true;

    const char m = CheckScaleMode(mode);
    ScaledSize size;
    if (m == 0 || !ComputeScaledSize(m, value, reader.width(), reader.height(), size))
      return result;
    const InfoHeader& info = reader.headers().info;
    const BmpFilePlan plan =
        PlanBmpFile(size.width, size.height, 24, info.biXPelsPerMeter, info.biYPelsPerMeter);

    StoredRowDecoder decoder(reader);
    SourceWindow window(reader, decoder);
    ScaleColumns columns;
    const std::size_t targetWidth = static_cast<std::size_t>(size.width);
    std::unique_ptr<ColorQuad[]> target = AllocateArray<ColorQuad>(targetWidth);
    std::unique_ptr<std::uint8_t[]> stored =
        plan.fits ? AllocateArray<std::uint8_t>(plan.stride) : nullptr;
    // Memory for a few rows is all the job needs; without it the rescale
    // is refused, as one of a picture held whole would be.
    if (!decoder.Prepare(std::int64_t{reader.width()} * reader.height()) || !window.Prepare() ||
        !columns.Prepare(reader.width(), size.width) || !target || (plan.fits && !stored))
      return result;
    result.scaled = true;
    if (!plan.fits) {
      result.save.outcome = SaveStatus::Outcome::kTooLarge;
      return result;
    }
    // Padding bytes stay 0; every row rewrites the bytes before them.
    std::memset(stored.get(), 0, plan.stride);

    File* file = output.Open(result.save);
    if (file == nullptr) return result;
    BmpRowWriter writer(*file, plan);
    errno = 0;
    const bool rowsWritten =
        writer.WriteHead(nullptr) && WriteScaledRows(window, reader.height(), columns, size.height,
                                                     writer, target.get(), stored.get());
    result.written = FinishStreamedJob(rowsWritten, input, output, result.save);
  } catch (...) {
    RecordWriteFailure(result.save, ENOMEM);
  }
  return result;
}

ScaleJobResult InMemoryScaleJob(File& input, PictureOutput& output, char mode, int value) noexcept {
  ScaleJobResult result;
  try {
    BitmapImage image;
    if (!image.Load(input)) return result;
    input.Close();
    result.loaded = true;
    if (!ScaleImage(image, mode, value)) return result;
    result.scaled = true;
    result.written = SaveThrough(image, output, result.save);
  } catch (...) {
    RecordWriteFailure(result.save, ENOMEM);
  }
  return result;
}

}  // namespace quendral
