#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "accept_list.h"
#include "interface_map.h"
#include "route_table.h"

namespace kestrel::compare {

// What the comparison looks at. By default a route's distance, metric,
// protocol, candidate-default flag, its number of next hops and their
// addresses (a link-local one with its interface), each next hop's bracket
// where a Cisco log prints one, and Null0; interface names as they are
// between two logs of one layout, through the map when one is given, else
// not; never ages nor the order of routes or next hops.
struct Rules {
  bool ignoreDistance = false;
  bool ignoreMetric = false;
  bool ignoreProtocol = false;
  bool ignoreCandidate = false;
  bool ignoreInterfaces = false;
  bool ignoreLocal = false;  // routes with the code L, which only newer Cisco releases print
  // Also report what only the vendors' defaults make differ: a static
  // route's metric (1 on the IX, 0 on Cisco) and a bracket printed on one
  // side only (an IX connected route's [0/1]).
  bool vendorDefaults = false;
  const InterfaceMap* interfaceMap = nullptr;
  const AcceptList* accepted = nullptr;  // differences reported as accepted, apart
  bool CompareInterfaces() const { return interfaceMap != nullptr && !ignoreInterfaces; }
};

enum DiffKind : std::uint8_t {
  kOnlyA = 1,
  kOnlyB = 2,
  kHops = 4,
  kDistance = 8,
  kMetric = 16,
  kProtocol = 32,
  kCandidateDefault = 64,
  kInterface = 128,  // the same next-hop addresses, on other interfaces
};
inline constexpr int kDiffKinds = 8;
// Names of the kinds, bit by bit, as the reports write them.
extern const char* const kDiffKindNames[kDiffKinds];

inline constexpr std::uint32_t kAbsent = UINT32_MAX;

// A route that is on one side only, or on both and differs: indexes into
// each table's routes.
struct RouteDiff {
  std::uint32_t a = kAbsent;
  std::uint32_t b = kAbsent;
  std::uint8_t kinds = 0;
  bool accepted = false;  // named in the list of accepted differences
};

// How many routes of one VRF or one protocol were compared, and how.
struct Tally {
  std::uint64_t routes[2] = {};
  std::uint64_t same = 0, differ = 0, onlyA = 0, onlyB = 0, accepted = 0;
};

struct Comparison {
  std::vector<RouteDiff> diffs;   // in the order of VRF, family and prefix
  std::uint64_t routes[2] = {};   // compared on each side
  std::uint64_t ignored[2] = {};  // local routes left out, duplicates
  std::uint64_t same = 0, differ = 0, onlyA = 0, onlyB = 0;
  std::uint64_t accepted = 0;  // differences named as accepted: among differ, onlyA and onlyB, not in the exit status
  std::uint64_t perKind[kDiffKinds] = {};
  // By VRF name ("" the default table) and by protocol code as printed
  // ("O IA", "S"); a route whose two sides differ in protocol counts under A's.
  std::map<std::string, Tally> byVrf, byProtocol;
  // Routes whose next hops named interfaces that were not compared by name
  // (logs of different vendors and no interface map): the user should give one.
  std::uint64_t interfacesNotCompared = 0;
  // Whether a side yielded no route although its logs are not empty: the
  // comparison then proves nothing.
  bool unread[2] = {};
  // What the comparison itself has to say: interfaces no line of the map
  // knows, accepted differences that no longer occur.
  std::vector<std::string> warnings;
};

// How interface names compare: through the map when one is given; as they
// are between two logs of one layout; otherwise not at all, but Null0.
enum class Naming { None, Exact, Mapped };
Naming NamingOf(const Table& a, const Table& b, const Rules& rules);

// Compares the two tables, both read and sorted, under the rules.
// `onStep`, when given, is called every 64Ki routes and may throw to stop.
Comparison Compare(const Table& a, const Table& b, const Rules& rules, const std::function<void()>& onStep = {});

// Where a route stands: on one side only, or on both and differing.
enum class DiffStatus : std::uint8_t { OnlyA, OnlyB, Differs };
// "only-a", "only-b", "differs", as the reports write them.
extern const char* const kDiffStatusNames[3];

// One side of a difference as text: the route as the log prints it and
// where it stands.
struct SideRecord {
  bool present = false;
  std::string protocol;           // as printed, with "*" for a candidate default
  std::string bracket;            // "[110/2]", or empty
  std::vector<std::string> hops;  // "192.0.2.1 GigaEthernet0.0", "192.0.2.1", "Loopback0.0"; sorted, each once
  std::string file;               // the log it is in
  std::uint32_t log = 0;          // that log's place among the side's logs
  std::uint32_t line = 0;         // the route's first line in it
  std::uint32_t route = kAbsent;  // its index in the side's table, by which its raw lines are fetched
};

// One difference, described once: all that a report prints of it, or a list
// shows, as plain data. Writers only lay it out.
struct DiffRecord {
  std::string vrf;  // "" the default table
  bool v6 = false;
  std::string prefix;  // "10.1.0.0/16"
  DiffStatus status = DiffStatus::Differs;
  std::uint8_t kinds = 0;                     // DiffKind bits
  std::vector<std::string_view> differences;  // the kinds besides only-a and only-b, named: "next-hops", "metric"
  bool accepted = false;
  int acceptedBy = 0;  // the line of the list of accepted differences that names it; 0 for none
  SideRecord side[2];
  std::vector<std::string> removed, added;  // next hops only in A, only in B
  // For an interface difference: each next hop's interface in A and in B,
  // as the map names them ("GigabitEthernet0/0" -> "GigabitEthernet1/0").
  std::vector<std::pair<std::string, std::string>> interfaces;
  // For a route on one side only (when asked): the longest shorter prefix
  // on the other side that covers it, and its next hops.
  std::string covering;
};

// Describes the differences of a comparison as records, one when asked: a
// report streams them, never holding more than one, and a list describes
// those it shows. The interfaces' names as compared are worked out once.
class Describer {
 public:
  Describer(const Table& a, const Table& b, const Comparison& comparison, const Rules& rules, bool covering);
  ~Describer();
  Describer(const Describer&) = delete;
  Describer& operator=(const Describer&) = delete;

  std::size_t Size() const { return comparison_.diffs.size(); }
  DiffRecord operator[](std::size_t i) const { return Record(comparison_.diffs[i]); }
  DiffRecord Record(const RouteDiff& diff) const;

 private:
  struct Sides;
  const Comparison& comparison_;
  const Rules& rules_;
  bool covering_;
  std::unique_ptr<Sides> sides_;
};

// The route of `table` with that VRF, prefix and length, or the longest one
// shorter than `length` that covers it when `shorter`.
std::optional<std::uint32_t> FindRoute(const Table& table, const std::string& vrf, const Address& prefix, int length,
                                       bool shorter);

}  // namespace kestrel::compare
