#include "export/mark_job.h"

#include <algorithm>
#include <cerrno>

#include "bmp/row_reader.h"
#include "bmp/row_writer.h"
#include "export/mark_triangles.h"
#include "export/row_marker.h"
#include "platform/memory.h"

namespace quendral {
namespace {

// Rows pass through in chunks of about this many bytes (at least one row),
// reused from the first chunk to the last: the job's memory does not grow
// with the picture.
constexpr std::size_t kChunkBytes = std::size_t{1} << 20;

void Fail(SaveStatus& status, int error) {
  status.outcome = SaveStatus::Outcome::kWriteFailed;
  if (status.systemError == 0) status.systemError = error != 0 ? error : EIO;
}

}  // namespace

File* ReplacingOutput::Open(SaveStatus& status) {
  output_.emplace(OutputFile::Begin(path_(), status.systemError));
  if (output_->IsOpen()) return &output_->file();
  status.outcome = SaveStatus::Outcome::kOpenFailed;
  return nullptr;
}

bool ReplacingOutput::Finish(SaveStatus& status) {
  if (output_ && output_->Commit(status.systemError)) return true;
  status.outcome = SaveStatus::Outcome::kWriteFailed;
  return false;
}

bool DirectOutput::Finish(SaveStatus& status) {
  errno = 0;
  if (file_.Flush()) return true;
  Fail(status, errno);
  return false;
}

MarkJobResult StreamMarkJob(File& input, MarkOutput& output) noexcept {
  MarkJobResult result;
  try {
    if (!CheckTypeSizes()) return result;
    BmpRowReader reader(input);
    if (reader.ReadHeaders() != HeaderVerdict::kAccepted) return result;
    reader.ReadTables();
    const std::size_t stride = reader.stride();
    const int height = reader.height();
    const std::size_t rowsPerChunk =
        std::min(std::max<std::size_t>(kChunkBytes / stride, 1), static_cast<std::size_t>(height));
    RowMarker marker(reader);
    std::unique_ptr<std::uint8_t[]> chunk = AllocateArray<std::uint8_t>(rowsPerChunk * stride);
    // Without memory for a chunk the picture cannot be read, as a picture
    // held whole could not be.
    if (!chunk || !marker.Prepare()) return result;
    result.loaded = true;

    const InfoHeader& info = reader.headers().info;
    const BmpFilePlan plan = PlanBmpFile(reader.width(), height, reader.depth(),
                                         info.biXPelsPerMeter, info.biYPelsPerMeter);
    if (!plan.fits) {
      result.save.outcome = SaveStatus::Outcome::kTooLarge;
      return result;
    }
    File* file = output.Open(result.save);
    if (file == nullptr) return result;
    BmpRowWriter writer(*file, plan);
    errno = 0;
    if (!writer.WriteHead(reader.palette())) {
      Fail(result.save, errno);
      return result;
    }
    int j = height - 1;
    while (j >= 0) {
      const std::size_t count = std::min(rowsPerChunk, static_cast<std::size_t>(j) + 1);
      const std::size_t given = reader.ReadRows(chunk.get(), count);
      for (std::size_t r = 0; r < count; ++r, --j) {
        std::uint8_t* row = chunk.get() + r * stride;
        if (r < given) {
          marker.MarkStoredRow(row, j);
        } else {
          marker.MarkWhiteRow(row, j);
        }
      }
      if (!writer.WriteRows(chunk.get(), count)) {
        Fail(result.save, errno);
        return result;
      }
    }
    input.Close();
    result.written = output.Finish(result.save);
  } catch (...) {
    Fail(result.save, ENOMEM);
  }
  return result;
}

MarkJobResult InMemoryMarkJob(File& input, MarkOutput& output) noexcept {
  MarkJobResult result;
  try {
    BitmapImage image;
    if (!image.Load(input)) return result;
    input.Close();
    result.loaded = true;
    MarkTriangles(image);
    if (!PlanBmpFile(image.Width(), image.Height(), image.Depth(), image.XPelsPerMeter(),
                     image.YPelsPerMeter())
             .fits) {
      result.save.outcome = SaveStatus::Outcome::kTooLarge;
      return result;
    }
    File* file = output.Open(result.save);
    if (file == nullptr) return result;
    result.save = image.SaveWithStatus(*file);
    result.written = result.save.ok() && output.Finish(result.save);
  } catch (...) {
    Fail(result.save, ENOMEM);
  }
  return result;
}

}  // namespace quendral
