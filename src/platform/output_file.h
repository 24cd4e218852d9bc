// A file being written that replaces its target only once it is complete.
#pragma once

#include <string>

#include "platform/file.h"
#include "platform/output_ledger.h"

namespace quendral {

// For a regular file or a new name, the bytes go to a new file in the
// target's directory, which takes the target's place on Commit; until then a
// file already at the path (the input of an in-place call included) is
// intact, and an uncommitted output is removed. Where the system allows it
// (Linux), the new file has no name until it is complete, so even a killed
// process leaves nothing behind; elsewhere it is a short hidden name
// (".qd-XXXXXX") that the command removes when interrupted.
//
// Replacing a file is made durable: the new data reaches the device before
// it takes the old file's place, and the directory is flushed after, so a
// power cut leaves either picture, never neither. A new name is not
// flushed: nothing is lost if it is cut short. The replacement is a new
// file that keeps the old one's permission bits and, where the caller may
// set them, owner and group; hard links to the old file keep the old bytes.
//
// A symbolic link at the path is opened through, so that the system's own
// protections against links planted by others apply; what that open reaches
// is what is replaced, and the link stays. A link to nothing is refused.
// Every step after that (create, name, move, remove, flush) is taken
// relative to the directory opened once at the start, so a directory
// renamed or swapped meanwhile does not send the picture elsewhere.
//
// A path that names something else (a device, a pipe) is written directly,
// as nothing there can be kept intact.
class OutputFile {
 public:
  // How the finished file takes its place.
  enum class Publish {
    kReplace,    // a file at the path, or one that appears there meanwhile, is replaced
    kNoReplace,  // nothing at the path is ever replaced: Commit fails with EEXIST
  };

  // Opens the place to write. On failure the result is not open and
  // `error` holds the system's reason (an errno value; EEXIST when
  // kNoReplace finds the path taken). With a `ledger`, which must outlive
  // the result, a file that another save of the ledger put in place is
  // never replaced (Commit fails with EEXIST), and this one is kept in it.
  static OutputFile Begin(const char* path, int& error, Publish publish = Publish::kReplace,
                          OutputLedger* ledger = nullptr);

  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&&) = delete;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();

  bool IsOpen() const { return file_.IsOpen(); }
  File& file() { return file_; }

  // Flushes, closes and moves the new file into place. False (with the
  // reason in `error`) when any of that failed; nothing is left behind then.
  bool Commit(int& error);
  // After a failed Commit: true when the device refused to flush (the
  // bytes were all written). The target is unchanged, unless only the
  // directory's flush failed after the move, when it holds the new picture
  // but may not keep it through a power cut.
  bool FlushFailed() const { return flushFailed_; }

 private:
  OutputFile() = default;
  bool NameUnnamed(int& error);
  bool PutInPlace(int& error);
  template <typename Step>
  bool Place(Step step, int& error);
  void Discard();

  File file_;
  // Names within `directory_` where the system has directory descriptors,
  // else whole paths.
  std::string target_;
  std::string temporary_;   // the new file's name while it has one
  int directory_ = -1;      // the target's directory, held open
  int slot_ = -1;           // where `temporary_` is remembered for interrupts
  Publish publish_ = Publish::kReplace;
  bool direct_ = false;     // writing the target itself
  bool unnamed_ = false;    // the new file has no name yet
  bool replacing_ = false;  // a file was at the target: flush before the move
  bool flushFailed_ = false;
  bool setMode_ = false;    // give the file `mode_` (and the owner) when complete
  unsigned mode_ = 0;
  long long owner_ = -1;    // owner and group to give it; -1 keeps the caller's
  long long group_ = -1;
  OutputLedger* ledger_ = nullptr;
  std::string given_;       // the path as the caller gave it, for the ledger
  OutputLedger::Identity made_;  // the new file's, for the ledger
};

}  // namespace quendral
