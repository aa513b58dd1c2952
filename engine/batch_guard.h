#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "file_system.h"

namespace kestrel {

// The logs of one call that each get an output of their own (a command
// line's -i or --suffix, the window's batch). Before a log is converted, its
// output is checked by file identity, whatever paths name the files: no log
// of the call is written over, no conversion written over another's, and
// no log converted twice.
class BatchGuard {
 public:
  BatchGuard(FileSystem& fs, std::vector<std::string> logs);

  // Why log `index` must not be converted into `output`, one line naming
  // both files; empty when it may be. A log whose output is the log itself
  // is left to the run, which converts it in place only when asked to.
  std::string Refusal(std::size_t index, const std::string& output) const;
  // Remembers the output that log `index` was converted into.
  void Written(std::size_t index, const std::string& output);

 private:
  FileIdentity Identity(const std::string& path) const;

  FileSystem& fs_;
  std::vector<std::string> logs_;
  std::vector<FileIdentity> identities_;
  std::vector<std::pair<FileIdentity, std::size_t>> written_;  // an output, and its log
};

}  // namespace kestrel
