// Removing a half-written output when the command is interrupted.
#pragma once

namespace quendral::cli {

// From here on, SIGINT, SIGTERM and SIGHUP (console control events on
// Windows) first remove the temporary files of the saves under way and
// then end the process as the signal would have (exit status 128 + signal
// in a shell). A signal that was ignored when the command started stays
// ignored. Called before any other thread starts: on POSIX the signals are
// held back in every thread and taken by one thread of their own, so that
// however many saves run, none makes a file after the removal.
void RemoveTemporaryFilesOnInterrupt();

}  // namespace quendral::cli
