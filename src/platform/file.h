// Files opened through the C runtime, closed exactly once by their owner.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace quendral {

class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens `path` with a C runtime mode ("rb", "wb"). A null path, a missing
  // file or a missing directory gives a file that is not open.
  static File Open(const char* path, const char* mode);
  // Takes ownership of a stream opened elsewhere (null gives a closed file).
  static File Adopt(std::FILE* stream);
  // A read-only stream over a caller's bytes, which must outlive it. Not
  // available on every platform; gives a closed file there.
  static File FromMemory(const void* data, std::size_t size);

  bool IsOpen() const { return stream_ != nullptr; }

  // Reads up to `count` items of `itemSize` bytes; the number of complete
  // items read. A read that runs into the end sets the end-of-file indicator.
  std::size_t Read(void* buffer, std::size_t itemSize, std::size_t count);
  // Writes `count` items; the number of complete items written.
  std::size_t Write(const void* buffer, std::size_t itemSize, std::size_t count);
  // True once a read has run into the end of the file.
  bool AtEnd() const;
  // Passes over `count` bytes by reading them; false when the file ended first.
  bool Skip(std::size_t count);
  // Puts bytes ahead of the rest of the stream, to be read before it: lets a
  // caller look at the start of a stream it cannot rewind (a pipe) and still
  // hand the stream on whole. Replaces bytes put back before and not read.
  // A file that is not open serves the bytes put back, and then ends.
  void PutBack(const void* data, std::size_t size);
  // Hands what the stream buffers to the system; false (errno set) when
  // that fails, as it does when the medium is full.
  bool Flush();
  // Asks the system to put the file's data on the device before returning,
  // after a Flush; false (errno set) when the device or file system refused.
  bool SyncToDevice();
  // The system's descriptor of the open file, or -1.
  int Descriptor() const;
  // For a regular file, how many bytes are left to read from here on (as
  // the file stands now); -1 for anything else (a pipe, a memory stream).
  std::int64_t BytesLeft() const;
  // Flushes and closes; true when both succeeded. Later calls return false.
  bool Close();

  // Files currently open through this type, process-wide; lets tests prove
  // that every path closes what it opened.
  static int OpenCount();

 private:
  explicit File(std::FILE* stream);
  std::FILE* stream_ = nullptr;
  std::vector<unsigned char> putBack_;
  std::size_t putBackRead_ = 0;  // bytes of putBack_ already read
};

}  // namespace quendral
