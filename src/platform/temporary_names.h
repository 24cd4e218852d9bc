// Names of temporary files that exist only while a save is under way, kept
// for the command, which removes them when it is interrupted, as nothing
// else would.
#pragma once

#include <functional>
#include <string>

namespace quendral {

// Runs `create`, which makes the file `name` in the directory held open as
// `directory` (-1 where `name` is a whole path) and gives 0 or an errno
// value, and remembers the file once made. Both happen under the lock that
// RemoveTemporaryNames takes, so no file is made unknown to it, and none at
// all once it has run (EINTR then, without calling `create`). Gives 0 and
// the slot to forget the name by, or the error.
int CreateRemembered(int directory, const std::string& name, const std::function<int()>& create,
                     int& slot);
void ForgetTemporaryName(int slot);

// Removes every remembered file and refuses to remember more. Called from a
// thread that waits for signals (or a console control handler), never from
// a signal handler: it takes a lock.
void RemoveTemporaryNames() noexcept;

}  // namespace quendral
