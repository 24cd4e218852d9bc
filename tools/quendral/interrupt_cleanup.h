// Removing a half-written output when the command is interrupted.
#pragma once

namespace quendral::cli {

// From here on, SIGINT, SIGTERM and SIGHUP (console control events on
// Windows) first remove the temporary file of a save under way and then
// end the process as the signal would have (exit status 128 + signal in a
// shell). A signal that was ignored when the command started stays ignored.
void RemoveTemporaryFilesOnInterrupt();

}  // namespace quendral::cli
