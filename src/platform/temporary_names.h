// Names of temporary files that exist only while a save is under way, kept
// where a signal handler can reach them: the command removes them when it is
// interrupted, as nothing else would.
#pragma once

#include <string>

namespace quendral {

// Remembers `path` until it is forgotten; the slot to forget it by, or -1
// when the path is too long or every slot is taken (the file is then only
// left behind if the process is interrupted).
int RememberTemporaryName(const std::string& path);
void ForgetTemporaryName(int slot);

// Removes every remembered file. Safe to call from a signal handler or a
// console control handler: it neither allocates nor takes locks.
void RemoveTemporaryNames() noexcept;

}  // namespace quendral
