#include "platform/temporary_names.h"

#include <atomic>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace quendral {
namespace {

// Fixed storage: a handler may run at any moment, so nothing here allocates.
// A slot is claimed (kFilling), written, and only then published (kHeld), so
// a handler never reads a name that is half written.
enum SlotState : int { kFree = 0, kFilling = 1, kHeld = 2 };
constexpr int kSlots = 16;
constexpr std::size_t kLongestPath = 4096;

struct Slot {
  std::atomic<int> state{kFree};
  char path[kLongestPath];
};

static_assert(std::atomic<int>::is_always_lock_free, "handlers need lock-free slot states");

Slot g_slots[kSlots];

}  // namespace

int RememberTemporaryName(const std::string& path) {
  if (path.size() >= kLongestPath) return -1;
  for (int k = 0; k < kSlots; ++k) {
    int expected = kFree;
    if (!g_slots[k].state.compare_exchange_strong(expected, kFilling)) continue;
    std::memcpy(g_slots[k].path, path.c_str(), path.size() + 1);
    g_slots[k].state.store(kHeld);
    return k;
  }
  return -1;
}

void ForgetTemporaryName(int slot) {
  if (slot >= 0 && slot < kSlots) g_slots[slot].state.store(kFree);
}

void RemoveTemporaryNames() noexcept {
  for (Slot& slot : g_slots) {
    if (slot.state.load() != kHeld) continue;
#if defined(_WIN32)
    // The file is open for writing on another thread; it was opened with
    // delete sharing, so it goes once that handle closes at exit.
    DeleteFileA(slot.path);
#else
    unlink(slot.path);
#endif
  }
}

}  // namespace quendral
