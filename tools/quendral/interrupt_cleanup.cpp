#include "interrupt_cleanup.h"

#include "platform/temporary_names.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <csignal>
#endif

namespace quendral::cli {
namespace {

#if defined(_WIN32)
// Runs on a thread of its own; FALSE lets the default handler end the
// process with the usual status for the event.
BOOL WINAPI OnConsoleEvent(DWORD) {
  RemoveTemporaryNames();
  return FALSE;
}
#else
// The disposition is back to the default on entry (SA_RESETHAND) and the
// signal is not blocked (SA_NODEFER), so raising it again ends the process
// with it.
void OnSignal(int number) {
  RemoveTemporaryNames();
  raise(number);
}
#endif

}  // namespace

void RemoveTemporaryFilesOnInterrupt() {
#if defined(_WIN32)
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
#else
  for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction current {};
    if (sigaction(number, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_NODEFER;
    sigaction(number, &action, nullptr);
  }
#endif
}

}  // namespace quendral::cli
