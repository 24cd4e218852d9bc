// Attach and detach for the Windows build. The library keeps no state that
// needs setting up or tearing down and registers with no host framework, so
// the hook only declines per-thread notifications it has no use for.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
  return TRUE;
}
