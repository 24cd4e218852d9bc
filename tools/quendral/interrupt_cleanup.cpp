#include "interrupt_cleanup.h"

#include "platform/temporary_names.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <pthread.h>

#include <csignal>
#include <thread>
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
// Waits for one of `signals`, clears up, and ends the process with it:
// back to the default action, let through in this thread, raised again.
void TakeSignals(sigset_t signals) {
  int number = 0;
  while (sigwait(&signals, &number) != 0) {
  }
  RemoveTemporaryNames();
  std::signal(number, SIG_DFL);
  sigset_t one;
  sigemptyset(&one);
  sigaddset(&one, number);
  pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
  raise(number);
}
#endif

}  // namespace

void RemoveTemporaryFilesOnInterrupt() {
#if defined(_WIN32)
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
#else
  sigset_t signals;
  sigemptyset(&signals);
  for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction current {};
    if (sigaction(number, nullptr, &current) == 0 && current.sa_handler != SIG_IGN)
      sigaddset(&signals, number);
  }
  // Threads started later hold them back too, as they inherit the mask.
  if (pthread_sigmask(SIG_BLOCK, &signals, nullptr) != 0) return;
  try {
    // Through a lambda: a reference bound to a Thumb function's odd
    // address trips the ARM build's alignment check.
    std::thread([signals] { TakeSignals(signals); }).detach();
  } catch (...) {
    // Without the thread the signals act as they would have.
    pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
  }
#endif
}

}  // namespace quendral::cli
