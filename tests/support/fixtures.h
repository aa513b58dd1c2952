#pragma once

#include <string>
#include <vector>

#include "byte_marks.h"

// Route lines and logs the tests share.
namespace kestrel::test {

// A multipath route of two lines, as the router prints it and as converted.
inline const std::string kRoute = "O       10.1.0.0/16 [110/2] via 192.168.0.1, GigaEthernet0.0, 0:01:02";
inline const std::string kRouteOut = "O       10.1.0.0/16 [110/2] via 192.168.0.1, 0:01:02, GigaEthernet0.0";
inline const std::string kNext = std::string(28, ' ') + "via 192.168.0.2, GigaEthernet1.0, 0:01:02";
inline const std::string kNextOut = std::string(20, ' ') + "[110/2] via 192.168.0.2, 0:01:02, GigaEthernet1.0";
inline const std::string kRoutes = kRoute + "\n" + kNext + "\n";
inline const std::string kRoutesOut = kRouteOut + "\r\n" + kNextOut + "\r\n";

// A log of `count` numbered lines, each ended with `end`.
inline std::string NumberedLog(int count, const std::string& end = "\n") {
  std::string log;
  for (int i = 0; i < count; ++i) log += "line " + std::to_string(i) + end;
  return log;
}

// The ways of marking a block, each tried where the processor has it. The
// widest comes last: the one the process takes of itself is left in force.
inline constexpr MarkStep kMarkSteps[] = {MarkStep::kByte, MarkStep::k16Bytes, MarkStep::k32Bytes};

// What a fake view was told to show and do, one line each.
struct Notes {
  std::vector<std::string> notes;
  void Note(const std::string& line) { notes.push_back(line); }
  // The notes that begin with `prefix`, without it, taken away.
  std::vector<std::string> Take(const std::string& prefix) {
    std::vector<std::string> taken;
    std::erase_if(notes, [&](const std::string& note) {
      return note.rfind(prefix, 0) == 0 && (taken.push_back(note.substr(prefix.size())), true);
    });
    return taken;
  }
};

}  // namespace kestrel::test
