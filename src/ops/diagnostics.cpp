#include "ops/diagnostics.h"

#include <atomic>

namespace quendral {
namespace {

std::atomic<bool> g_diagnosticsOn{true};

std::string& ThreadLastDiagnostic() {
  thread_local std::string text;
  return text;
}

}  // namespace

void SetDiagnosticsOn() { g_diagnosticsOn.store(true, std::memory_order_relaxed); }

void SetDiagnosticsOff() { g_diagnosticsOn.store(false, std::memory_order_relaxed); }

bool DiagnosticsEnabled() { return g_diagnosticsOn.load(std::memory_order_relaxed); }

std::string LastDiagnostic() { return ThreadLastDiagnostic(); }

void ClearLastDiagnostic() { ThreadLastDiagnostic().clear(); }

void RecordDiagnostic(const char* text) {
  try {
    ThreadLastDiagnostic() = text;
  } catch (...) {
    // Keeping the text is a courtesy; running out of memory for it changes
    // nothing else.
  }
}

}  // namespace quendral
