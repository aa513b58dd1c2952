#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "block_io.h"
#include "file_system.h"
#include "route_line.h"

namespace kestrel::compare {

inline constexpr std::size_t kLineKinds = static_cast<std::size_t>(LineKind::Count);

// One log of a side, as named on the command line; the logs of a side are
// the pieces of one table, read in turn.
struct Source {
  std::string name;
  std::uint64_t size = 0;
  std::string sha256;
  std::uint64_t counts[kLineKinds] = {};
  std::uint64_t Lines() const;
  std::uint64_t Count(LineKind kind) const { return counts[static_cast<int>(kind)]; }
  // The header lines: everything around the routes that was understood.
  std::uint64_t Header() const;
  // Standard input's bytes, kept when the report shows raw lines: it cannot be read twice.
  std::string bytes;
  bool keptBytes = false;
};

enum RouteFlag : std::uint8_t {
  kV6 = 1,
  kBracket = 2,    // printed with [distance/metric]
  kCandidate = 4,  // the code carried "*"
  kDuplicate = 8,  // an earlier route of the same table has the same key
  kHeadOnly = 16,  // waits for its rest on the next line
};

// One route, compactly: a million of them a side fit in a few tens of MiB.
struct Route {
  std::uint64_t offset;   // of its first line in its source
  std::uint32_t address;  // the IPv4 prefix, or the index of the IPv6 one in Table::v6
  std::uint32_t metric;
  std::uint32_t firstHop;
  std::uint32_t line;  // number of its first line
  std::uint32_t span;  // bytes from its first line to the end of its last one, in one source
  std::uint16_t vrf;
  std::uint16_t source;
  std::uint16_t hopCount;
  std::uint8_t length;
  std::uint8_t distance;
  std::uint8_t flags;
  char protocol[7];  // "O IA", "S", "B": code and type, no flags
  bool Is(RouteFlag flag) const { return (flags & flag) != 0; }
  bool Local() const { return protocol[0] == 'L' && protocol[1] == '\0'; }
};

// A next hop: an address, an interface, or both (a connected route's
// interface is its next hop).
struct Hop {
  std::uint32_t address;         // IPv4, or the index of the IPv6 address in Table::v6
  std::uint32_t interface : 30;  // index in Table::interfaces, 0 for none
  std::uint32_t hasAddress : 1;
  std::uint32_t v6 : 1;
  std::uint32_t metric;  // its own bracket, when it printed one (ownBracket)
  std::uint16_t vrf;     // index in Table::hopVrfs: 0 the route's own table
  std::uint8_t distance;
  std::uint8_t ownBracket : 1;  // a Cisco path's bracket, which may differ from the route's first line
  std::uint8_t backup : 1;      // a backup path: IOS XR's "(!)", an NX-OS path not marked best
};

// Duplicate: a prefix again; HostBits: a prefix with host bits set; Bracket:
// a converted IX log's next hop whose bracket disagrees with its route's
// first line; Totals: a table head's counts that disagree with the routes
// read; Unread: next-hop lines whose route's first line could not be read.
enum class WarningKind : std::uint8_t { Duplicate, HostBits, Bracket, Totals, Unread, Count };
inline constexpr std::size_t kWarningKinds = static_cast<std::size_t>(WarningKind::Count);

struct Warning {
  WarningKind kind;
  std::uint16_t source;
  std::uint32_t line;
  std::string text;
};

struct UnparsedLine {
  std::uint64_t offset;
  std::uint32_t line;
  std::uint32_t size;
  std::uint16_t source;
};

// The routes of one side, sorted by VRF, family, prefix and length once read.
struct Table {
  std::vector<Source> sources;
  std::vector<Route> routes;
  std::vector<Hop> hops;
  std::vector<Address> v6;
  std::vector<std::string> interfaces{""};
  std::vector<std::string> vrfs{""};     // sorted by name once read; "" the default table
  std::vector<std::string> hopVrfs{""};  // the VRFs next hops name, "" none
  Layout layout = Layout::Unknown;       // whose layout most of its lines show
  std::vector<UnparsedLine> unparsed;    // the first kUnparsedKept; Unparsed() counts them all
  std::uint64_t unparsedCount = 0;
  std::vector<Warning> warnings;  // the first kWarningsKept of each kind
  std::uint64_t warningCounts[kWarningKinds] = {};

  Address Prefix(const Route& route) const { return route.Is(kV6) ? v6[route.address] : Address{0, route.address}; }
  Address HopAddress(const Hop& hop) const { return hop.v6 ? v6[hop.address] : Address{0, hop.address}; }
  // The bracket a next hop was chosen with: its own where printed, else its route's.
  std::uint8_t HopDistance(const Route& route, const Hop& hop) const {
    return hop.ownBracket ? hop.distance : route.distance;
  }
  std::uint32_t HopMetric(const Route& route, const Hop& hop) const {
    return hop.ownBracket ? hop.metric : route.metric;
  }
  std::uint64_t Warnings() const;
  std::uint64_t Unparsed() const { return unparsedCount; }
};

inline constexpr std::size_t kWarningsKept = 1000;
// Unparsed lines kept with their place, per side, for the reports to list.
inline constexpr std::size_t kUnparsedKept = 10000;

// Reads the lines of one side's logs into its table, keeping the state that
// links lines: the VRF, the classful network, the route that a continuation
// belongs to (from one log to the next), the counts of the table's head.
class TableReader {
 public:
  explicit TableReader(Table& table) : table_(table) {}

  void BeginSource(std::string name, std::uint64_t sizeHint = 0);
  void Line(std::string_view text, std::uint64_t offset);
  // Ends the side: checks the last table head's counts, sorts the routes and
  // marks duplicates.
  void Finish();

 private:
  struct TransparentHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  using Ids = std::unordered_map<std::string, std::uint32_t, TransparentHash, std::equal_to<>>;
  std::uint32_t Intern(Ids& ids, std::vector<std::string>& names, std::string_view name);
  bool AddRoute(const ParsedLine& p, std::uint64_t offset, std::size_t size);
  bool Continue(const ParsedLine& p, std::uint64_t offset, std::size_t size);
  void AddHop(const ParsedLine& p);
  void CheckBrackets();
  void Warn(WarningKind kind, std::string text, std::uint32_t line = 0);
  void CloseSection();

  Table& table_;
  Ids interfaceIds_{{"", 0}};
  Ids vrfIds_{{"", 0}};
  std::uint16_t source_ = 0;
  std::uint32_t lineNumber_ = 0;
  std::uint16_t vrf_ = 0;
  std::int64_t current_ = -1;      // the route continuations belong to
  std::uint32_t unreadRoute_ = 0;  // the line of a route's first line that was not read, before its next hops
  Ids hopVrfIds_{{"", 0}};
  std::uint64_t layoutVotes_[4] = {};
  // Next hops whose own bracket differs from their route's first line: real
  // on Cisco, an old conversion's copy on the IX. Which, the layout decides.
  struct OwnBracket {
    std::uint32_t route, hop, line;
    std::uint16_t source;
  };
  std::vector<OwnBracket> ownBrackets_;
  // The last classful summary line: routes printed without a mask under it.
  struct {
    bool subnetted = false;
    std::uint32_t network = 0;
    int length = 0;
  } classful_;
  // The counts that a table's head announced, and those read since.
  struct {
    bool open = false;
    std::int64_t entries = -1, hidden = 0, announced[5] = {-1, -1, -1, -1, -1};
    std::int64_t read = 0, readPer[5] = {};
    std::uint16_t source = 0;
    std::uint32_t line = 0;
  } section_;
};

// Reads one log (or standard input, "-") into the table: its lines with
// their offsets, its size and its SHA-256. `keepStandardInput` keeps the
// bytes of standard input for the raw lines of a report. Throws IoError.
void ReadLog(FileSystem& fs, TableReader& reader, Table& table, const std::string& name, bool keepStandardInput,
             const WaitHook& onWait);

// Reads one side's logs into its table, as the pieces of one table, and
// ends the side (TableReader::Finish). Throws IoError.
void ReadSide(FileSystem& fs, const std::vector<std::string>& logs, Table& table, bool keepStandardInput,
              const WaitHook& onWait);

// Reads both sides at once, side A on a thread of its own and B on the
// caller's, each from its own file system (`fs[side]`). `onWait` is called
// with the side after each of its blocks, on that side's thread, and may
// throw to stop it. A side that fails stops the other at its next block;
// once both have ended, what made a side fail is thrown (A's when both did).
void ReadSides(FileSystem* const (&fs)[2], const std::vector<std::string> (&logs)[2], Table (&tables)[2],
               bool keepStandardInput, const std::function<void(int side)>& onWait);

// A stretch of a source's bytes wanted again: the raw lines of a route.
struct RawRequest {
  std::uint16_t source;
  std::uint64_t offset;
  std::uint32_t size;
  std::string text;
};

// Fills in the text of each request, reading each source once from the
// start (or its kept bytes), calling `onWait` after each block as ReadLog
// does. Throws IoError.
void FetchRaw(FileSystem& fs, const Table& table, std::vector<RawRequest*>& requests, const WaitHook& onWait = {});

// The address with the bits beyond `length` cleared.
Address Masked(const Address& address, int length);

// "10.1.0.0/16", "2001:db8::/32".
std::string FormatPrefix(const Address& address, int length);
std::string FormatAddress(const Address& address);

}  // namespace kestrel::compare
