#include "bmp/picture_output.h"

#include <cerrno>

namespace quendral {

void RecordWriteFailure(SaveStatus& status, int error) {
  status.outcome = SaveStatus::Outcome::kWriteFailed;
  if (status.systemError == 0) status.systemError = error != 0 ? error : EIO;
}

File* ReplacingOutput::Open(SaveStatus& status) {
  output_.emplace(OutputFile::Begin(path_(), status.systemError));
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
