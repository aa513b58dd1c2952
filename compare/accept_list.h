#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "file_system.h"
#include "route_line.h"

namespace kestrel::compare {

// Differences already known and accepted, as a migration check expects
// them: one a line, '#' starting a comment,
//
//   [vrf NAME] PREFIX [KIND...]
//
// PREFIX with its length (10.1.0.0/16); KIND any of only-a, only-b,
// next-hops, distance, metric, protocol, candidate-default, interface. A
// line without kinds accepts any difference of that route; without "vrf"
// it names the prefix in every VRF.
class AcceptList {
 public:
  struct Entry {
    bool anyVrf = true;
    std::string vrf;
    Address prefix;
    int length = 0;
    std::uint8_t kinds = 0;  // 0: any
    int line = 0;
  };

  // Throws IoError naming the file and the line that is wrong.
  static AcceptList Parse(std::string_view text, const std::string& name);
  static AcceptList Load(FileSystem& fs, const std::string& path);

  const std::string& Name() const { return name_; }
  const std::vector<Entry>& Entries() const { return entries_; }
  // The entry that accepts a difference of these kinds, or -1.
  int Find(const std::string& vrf, const Address& prefix, int length, std::uint8_t kinds) const;

 private:
  std::string name_;
  std::vector<Entry> entries_;
  // The entries of each prefix, so that a long list is looked up, not searched.
  std::map<std::tuple<bool, std::uint64_t, std::uint64_t, int>, std::vector<int>> byPrefix_;
};

// Parses "10.1.0.0/16" or "2001:db8::/32" strictly: the address, a slash, a
// length within the family, nothing else; the bits beyond the length clear.
bool ParsePrefixText(std::string_view text, Address& address, int& length);

}  // namespace kestrel::compare
