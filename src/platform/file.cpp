#include "platform/file.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <utility>

#include <sys/stat.h>
#include <sys/types.h>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace quendral {
namespace {

std::atomic<int> g_openFiles{0};

}  // namespace

File::File(std::FILE* stream) : stream_(stream) {
  if (stream_ != nullptr) g_openFiles.fetch_add(1, std::memory_order_relaxed);
}

File::~File() { Close(); }

File::File(File&& other) noexcept
    : stream_(std::exchange(other.stream_, nullptr)),
      putBack_(std::move(other.putBack_)),
      putBackRead_(std::exchange(other.putBackRead_, 0)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    stream_ = std::exchange(other.stream_, nullptr);
    putBack_ = std::move(other.putBack_);
    putBackRead_ = std::exchange(other.putBackRead_, 0);
  }
  return *this;
}

File File::Open(const char* path, const char* mode) {
  if (path == nullptr || mode == nullptr) return File();
  return File(std::fopen(path, mode));
}

File File::Adopt(std::FILE* stream) { return File(stream); }

File File::FromMemory(const void* data, std::size_t size) {
#if defined(_WIN32)
  (void)data;
  (void)size;
  return File();
#else
  // Some C libraries refuse a zero-sized memory stream; an empty input is
  // still a valid case, so give it an empty anonymous file instead.
  if (size == 0) return File(std::tmpfile());
  return File(fmemopen(const_cast<void*>(data), size, "rb"));
#endif
}

std::size_t File::Read(void* buffer, std::size_t itemSize, std::size_t count) {
  if (itemSize == 0 || count == 0) return 0;
  if (putBackRead_ == putBack_.size())
    return stream_ != nullptr ? std::fread(buffer, itemSize, count, stream_) : 0;
  // Bytes put back come first; an item may take its start from them and
  // its rest from the stream.
  if (count > SIZE_MAX / itemSize) count = SIZE_MAX / itemSize;
  const std::size_t wanted = itemSize * count;
  const std::size_t given = std::min(wanted, putBack_.size() - putBackRead_);
  std::memcpy(buffer, putBack_.data() + putBackRead_, given);
  putBackRead_ += given;
  std::size_t got = given;
  if (got < wanted && stream_ != nullptr) got += std::fread(static_cast<unsigned char*>(buffer) + got, 1, wanted - got, stream_);
  return got / itemSize;
}

void File::PutBack(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  putBack_.assign(bytes, bytes + size);
  putBackRead_ = 0;
}

std::size_t File::Write(const void* buffer, std::size_t itemSize, std::size_t count) {
  if (stream_ == nullptr || itemSize == 0 || count == 0) return 0;
  return std::fwrite(buffer, itemSize, count, stream_);
}

bool File::AtEnd() const {
  return stream_ != nullptr && putBackRead_ == putBack_.size() && std::feof(stream_) != 0;
}

bool File::Skip(std::size_t count) {
  char scratch[4096];
  while (count > 0) {
    std::size_t piece = count < sizeof scratch ? count : sizeof scratch;
    if (Read(scratch, 1, piece) != piece) return false;
    count -= piece;
  }
  return true;
}

bool File::Flush() { return stream_ != nullptr && std::fflush(stream_) == 0; }

bool File::SyncToDevice() {
  const int descriptor = Descriptor();
  if (descriptor < 0) {
    errno = EBADF;
    return false;
  }
#if defined(_WIN32)
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
  if (handle != INVALID_HANDLE_VALUE && FlushFileBuffers(handle)) return true;
  errno = EIO;
  return false;
#else
  return fsync(descriptor) == 0;
#endif
}

int File::Descriptor() const {
  if (stream_ == nullptr) return -1;
#if defined(_WIN32)
  return _fileno(stream_);
#else
  return fileno(stream_);
#endif
}

std::int64_t File::BytesLeft() const {
  const int descriptor = Descriptor();
  if (descriptor < 0) return -1;
#if defined(_WIN32)
  struct _stat64 record;
  if (_fstat64(descriptor, &record) != 0 || (record.st_mode & _S_IFMT) != _S_IFREG) return -1;
  const std::int64_t at = _ftelli64(stream_);
#else
  struct stat record;
  if (fstat(descriptor, &record) != 0 || !S_ISREG(record.st_mode)) return -1;
  const std::int64_t at = ftello(stream_);
#endif
  if (at < 0) return -1;
  const auto putBackLeft = static_cast<std::int64_t>(putBack_.size() - putBackRead_);
  return std::max<std::int64_t>(std::int64_t{record.st_size} - at, 0) + putBackLeft;
}

bool File::Close() {
  if (stream_ == nullptr) return false;
  // fclose writes out what is buffered and reports a failure to; a flush
  // of its own first would be undefined for a stream opened for reading.
  const bool closed = std::fclose(stream_) == 0;
  stream_ = nullptr;
  putBack_.clear();
  putBackRead_ = 0;
  g_openFiles.fetch_sub(1, std::memory_order_relaxed);
  return closed;
}

int File::OpenCount() { return g_openFiles.load(std::memory_order_relaxed); }

}  // namespace quendral
