#include "platform/temporary_names.h"

#include <cerrno>
#include <mutex>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace quendral {
namespace {

struct Entry {
  int directory = -1;
  std::string name;
  bool held = false;
};

// As many entries as saves under way at once, however many jobs run.
std::mutex g_lock;
std::vector<Entry> g_entries;
bool g_removed = false;

void Remove(const Entry& entry) {
#if defined(_WIN32)
  // The file is open for writing on another thread; it was opened with
  // delete sharing, so it goes once that handle closes at exit.
  DeleteFileA(entry.name.c_str());
#else
  unlinkat(entry.directory < 0 ? AT_FDCWD : entry.directory, entry.name.c_str(), 0);
#endif
}

}  // namespace

int CreateRemembered(int directory, const std::string& name, const std::function<int()>& create,
                     int& slot) {
  slot = -1;
  std::lock_guard<std::mutex> lock(g_lock);
  if (g_removed) return EINTR;
  std::size_t k = 0;
  while (k < g_entries.size() && g_entries[k].held) ++k;
  try {
    if (k == g_entries.size()) g_entries.emplace_back();
    g_entries[k].name = name;
  } catch (...) {
    return ENOMEM;
  }
  const int error = create();
  if (error != 0) return error;
  g_entries[k].directory = directory;
  g_entries[k].held = true;
  slot = static_cast<int>(k);
  return 0;
}

void ForgetTemporaryName(int slot) {
  if (slot < 0) return;
  std::lock_guard<std::mutex> lock(g_lock);
  if (static_cast<std::size_t>(slot) < g_entries.size()) g_entries[slot].held = false;
}

void RemoveTemporaryNames() noexcept {
  std::lock_guard<std::mutex> lock(g_lock);
  g_removed = true;
  for (const Entry& entry : g_entries)
    if (entry.held) Remove(entry);
}

}  // namespace quendral
