#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "file_system.h"

namespace kestrel::compare {

// Interface names mapped between vendors, so that they can be compared:
// one rule a line, a name or pattern and what it becomes, '#' starting a
// comment. A '*' matches one or more characters and stands for them again,
// in order, on the right:
//
//   GigaEthernet*.0   GigabitEthernet*/0
//   Tunnel*.0         Tunnel*
//
// The first rule that matches a name maps it; a name no rule matches stays
// as it is. The rules apply to both sides.
class InterfaceMap {
 public:
  // Throws IoError naming the file and the line that is wrong.
  static InterfaceMap Parse(std::string_view text, const std::string& name);
  static InterfaceMap Load(FileSystem& fs, const std::string& path);

  std::string Map(std::string_view name) const;
  // Whether a line of the map matches the name on either side: a name it
  // neither maps nor maps to is one the map's author did not think of.
  bool Knows(std::string_view name) const;
  const std::vector<std::pair<std::string, std::string>>& Rules() const { return rules_; }

 private:
  std::vector<std::pair<std::string, std::string>> rules_;
};

// Calls `rule` with the number and the blank-separated words of each line
// of a rules file (a map, a list) that has any, '#' starting a comment.
void ForEachRule(std::string_view text, const std::function<void(int, const std::vector<std::string_view>&)>& rule);

// Reads a small text file whole (a map, a list). Throws IoError.
std::string ReadSmallFile(FileSystem& fs, const std::string& path);

}  // namespace kestrel::compare
