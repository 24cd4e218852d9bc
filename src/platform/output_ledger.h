// The files that the saves of one batch put in place, so that none of them
// replaces another: outputs whose names differ can still be one file (on a
// case-insensitive file system, or through a link).
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace quendral {

class OutputLedger {
 public:
  // The path under which the file now at `path` was put in place by a save
  // kept in this ledger; empty when there is none.
  std::string WrittenAs(const std::string& path) const;

  // Device (volume) and file number: the same for every name of a file.
  using Identity = std::pair<std::uint64_t, std::uint64_t>;

 private:
  friend class OutputFile;

  static bool IdentityOf(int descriptor, Identity& identity);
  // Of the entry `name` in the directory held as `directory` (where names
  // are whole paths, `name` alone), not following a link there.
  static bool IdentityAt(int directory, const std::string& name, Identity& identity);

  // Whether the entry `name` in `directory` is a file of this ledger. With
  // `mutex_` held.
  bool Holds(int directory, const std::string& name) const;

  mutable std::mutex mutex_;  // held from that check until the file is in place and kept
  std::map<Identity, std::string> files_;
};

}  // namespace quendral
