// The library's one diagnostics switch, and where its messages are kept.
#pragma once

#include <string>

namespace quendral {

// On when the library is loaded. Safe to use from any thread.
void SetDiagnosticsOn();
void SetDiagnosticsOff();
bool DiagnosticsEnabled();

// The latest diagnostic text produced on the calling thread, or "" when
// there has been none. Nothing in the library's results depends on it.
std::string LastDiagnostic();
void ClearLastDiagnostic();

// Keeps `text` as the calling thread's latest diagnostic.
void RecordDiagnostic(const char* text);

}  // namespace quendral
