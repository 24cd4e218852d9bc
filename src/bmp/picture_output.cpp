#include "bmp/picture_output.h"

#include <cerrno>

#include "bmp/row_writer.h"

namespace quendral {

void RecordWriteFailure(SaveStatus& status, int error) {
  status.outcome = SaveStatus::Outcome::kWriteFailed;
  if (status.systemError == 0) status.systemError = error != 0 ? error : EIO;
}

bool FinishStreamedJob(bool rowsWritten, File& input, PictureOutput& output, SaveStatus& status) {
  if (!rowsWritten) {
    RecordWriteFailure(status, errno);
    return false;
  }
  input.Close();
  return output.Finish(status);
}

bool SaveThrough(BitmapImage& image, PictureOutput& output, SaveStatus& status) {
  if (!PlanBmpFile(image.Width(), image.Height(), image.Depth(), image.XPelsPerMeter(),
                   image.YPelsPerMeter())
           .fits) {
    status.outcome = SaveStatus::Outcome::kTooLarge;
    return false;
  }
  File* file = output.Open(status);
  if (file == nullptr) return false;
  status = image.SaveWithStatus(*file);
  return status.ok() && output.Finish(status);
}

File* ReplacingOutput::Open(SaveStatus& status) {
  output_.emplace(OutputFile::Begin(path_(), status.systemError, publish_, ledger_));
  if (output_->IsOpen()) return &output_->file();
  status.outcome = SaveStatus::Outcome::kOpenFailed;
  return nullptr;
}

bool ReplacingOutput::Finish(SaveStatus& status) {
  if (output_ && output_->Commit(status.systemError)) return true;
  status.outcome = output_ && output_->FlushFailed() ? SaveStatus::Outcome::kFlushFailed
                                                     : SaveStatus::Outcome::kWriteFailed;
  return false;
}

bool DirectOutput::Finish(SaveStatus& status) {
  errno = 0;
  if (file_.Flush()) return true;
  RecordWriteFailure(status, errno);
  return false;
}

}  // namespace quendral
