/* Preloaded into the quendral command by tests and the benchmark: logs the
 * calls that make a save durable, in order, and fails or skips them on
 * request, so that what a power cut or a refusing device would meet can be
 * checked on any machine.
 *
 *   QD_TRACE_LOG=PATH       append one line per call: "fsync file",
 *                           "fsync dir", "link NAME", "rename FROM TO"
 *                           (names without their directory; temporary
 *                           names ".qd-XXXXXX" shown as ".qd-*")
 *   QD_TRACE_FAIL=file|dir  fsync and fdatasync of a regular file or of a
 *                           directory fail with EIO
 *   QD_TRACE_NO_TMPFILE=1   opening with O_TMPFILE fails with EOPNOTSUPP,
 *                           as on a file system that lacks it
 *   QD_TRACE_NO_SYNC=1      fsync and fdatasync succeed without flushing */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static const char* Setting(const char* name) {
  const char* value = getenv(name);
  return value != NULL ? value : "";
}

static const char* Shown(const char* path) {
  const char* slash = strrchr(path, '/');
  const char* name = slash != NULL ? slash + 1 : path;
  return strncmp(name, ".qd-", 4) == 0 ? ".qd-*" : name;
}

static void Log(const char* a, const char* b, const char* c) {
  const char* path = getenv("QD_TRACE_LOG");
  if (path == NULL) return;
  char line[1024];
  int length = snprintf(line, sizeof line, "%s%s%s%s%s\n", a, b ? " " : "", b ? b : "",
                        c ? " " : "", c ? c : "");
  if (length < 0 || (size_t)length >= sizeof line) return;
  int saved = errno;
  int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd >= 0) {
    ssize_t ignored = write(fd, line, (size_t)length);
    (void)ignored;
    close(fd);
  }
  errno = saved;
}

static int Sync(int fd, const char* name) {
  struct stat record;
  const char* kind = fstat(fd, &record) == 0 && S_ISDIR(record.st_mode) ? "dir" : "file";
  Log("fsync", kind, NULL);
  if (strcmp(Setting("QD_TRACE_FAIL"), kind) == 0) {
    errno = EIO;
    return -1;
  }
  if (strcmp(Setting("QD_TRACE_NO_SYNC"), "1") == 0) return 0;
  int (*real)(int) = (int (*)(int))dlsym(RTLD_NEXT, name);
  return real(fd);
}

int fsync(int fd) { return Sync(fd, "fsync"); }
int fdatasync(int fd) { return Sync(fd, "fdatasync"); }

int rename(const char* from, const char* to) {
  char shownFrom[256];
  snprintf(shownFrom, sizeof shownFrom, "%s", Shown(from));
  Log("rename", shownFrom, Shown(to));
  int (*real)(const char*, const char*) =
      (int (*)(const char*, const char*))dlsym(RTLD_NEXT, "rename");
  return real(from, to);
}

int renameat(int fromDir, const char* from, int toDir, const char* to) {
  char shownFrom[256];
  snprintf(shownFrom, sizeof shownFrom, "%s", Shown(from));
  Log("rename", shownFrom, Shown(to));
  int (*real)(int, const char*, int, const char*) =
      (int (*)(int, const char*, int, const char*))dlsym(RTLD_NEXT, "renameat");
  return real(fromDir, from, toDir, to);
}

int linkat(int fromDir, const char* from, int toDir, const char* to, int flags) {
  Log("link", Shown(to), NULL);
  int (*real)(int, const char*, int, const char*, int) =
      (int (*)(int, const char*, int, const char*, int))dlsym(RTLD_NEXT, "linkat");
  return real(fromDir, from, toDir, to, flags);
}

static int Refused(int flags) {
  return (flags & O_TMPFILE) == O_TMPFILE && strcmp(Setting("QD_TRACE_NO_TMPFILE"), "1") == 0;
}

#define OPEN_MODE(flags, mode)                                                   \
  do {                                                                           \
    if (((flags) & O_CREAT) != 0 || ((flags) & O_TMPFILE) == O_TMPFILE) {        \
      va_list arguments;                                                         \
      va_start(arguments, flags);                                                \
      mode = (mode_t)va_arg(arguments, int);                                     \
      va_end(arguments);                                                         \
    }                                                                            \
  } while (0)

#define INTERPOSE_OPEN(function)                                                      \
  int function(const char* path, int flags, ...) {                                    \
    mode_t mode = 0;                                                                  \
    OPEN_MODE(flags, mode);                                                           \
    if (Refused(flags)) {                                                             \
      errno = EOPNOTSUPP;                                                             \
      return -1;                                                                      \
    }                                                                                 \
    int (*real)(const char*, int, ...) = (int (*)(const char*, int, ...))dlsym(RTLD_NEXT, #function); \
    return real(path, flags, mode);                                                   \
  }

#define INTERPOSE_OPENAT(function)                                                    \
  int function(int dir, const char* path, int flags, ...) {                           \
    mode_t mode = 0;                                                                  \
    OPEN_MODE(flags, mode);                                                           \
    if (Refused(flags)) {                                                             \
      errno = EOPNOTSUPP;                                                             \
      return -1;                                                                      \
    }                                                                                 \
    int (*real)(int, const char*, int, ...) =                                         \
        (int (*)(int, const char*, int, ...))dlsym(RTLD_NEXT, #function);             \
    return real(dir, path, flags, mode);                                              \
  }

INTERPOSE_OPEN(open)
INTERPOSE_OPEN(open64)
INTERPOSE_OPENAT(openat)
INTERPOSE_OPENAT(openat64)
