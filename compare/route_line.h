#pragma once

#include <cstdint>
#include <string_view>

namespace kestrel::compare {

// An IPv4 address (in the low 32 bits of `lo`) or an IPv6 address.
struct Address {
  std::uint64_t hi = 0;
  std::uint64_t lo = 0;
  bool v6 = false;
  friend bool operator==(const Address&, const Address&) = default;
};

// Parses a dotted quad or an IPv6 address (upper or lower case, "::", a
// dotted quad at its end); false for anything else.
bool ParseAddress(std::string_view text, Address& address);

// What one line of a `show ip route` capture is. The first group are the
// lines around the routes, the "header" of a table.
enum class LineKind : std::uint8_t {
  Blank,
  Prompt,        // a prompt with or without a command; exec timestamps and "Load for", "Time source is"
  Legend,        // "Codes: ..." and the lines of code names under it, in either vendor's words
  Gateway,       // "Gateway of last resort ..."
  TableSummary,  // "IP Routing Table - N entries, ...", "IPv6 Routing Table - NAME - N entries", "Entries:", "Timers:"
  Vrf,           // "Routing Table: NAME"
  Classful,      // "10.0.0.0/8 is variably subnetted, ..." and "... is subnetted, ..."
  Route,         // the first line of a route
  Continuation,  // another next hop of the route above, the rest of a wrapped head, or an IPv6 route's "via" line
  Unparsed,
  Count
};

// Whose layout a line shows: lines only one vendor prints tell a table's
// layout, which decides whether interface names can be compared as they
// are and whether a next hop's own bracket is real.
enum class Layout : std::uint8_t { Unknown, Ix, Ios, NxOs };

// What follows the prefix (and the bracket) on a route's line.
enum class Body : std::uint8_t {
  None,       // nothing: a head whose rest comes on the next line, or an IPv6 head
  Via,        // "via NEXTHOP, ..."
  Connected,  // "is directly connected, INTERFACE, ..."
  Summary,    // "is a summary, ..."
  Fields,     // ", AGE, INTERFACE" right after the bracket (an aggregate)
};

struct ParsedLine {
  LineKind kind = LineKind::Unparsed;
  // Route: the protocol code and type without flags, one blank between
  // them ("O IA", "S", "B"), and whether the code carried "*".
  char protocol[8] = {};
  bool candidate = false;
  Address prefix;
  int length = -1;  // -1: printed without a mask length
  // Route and Continuation: the bracket, the body and the next hop it names.
  bool hasBracket = false;
  std::uint8_t distance = 0;
  std::uint32_t metric = 0;
  Body body = Body::None;
  bool hasHopAddress = false;
  Address hop;
  std::string_view interface;  // empty when the line names none
  // The next hop's VRF when the line names one ("via 192.0.2.1 (CUST-B)",
  // NX-OS "via 10.1.1.1%default"), and whether it is a backup path (IOS XR's
  // "(!)", an NX-OS path not marked best).
  std::string_view hopVrf;
  bool backup = false;
  // TableSummary: the entries it announces (-1: none) and those hidden;
  // Entries: the counts of connected, static, RIP, OSPF and BGP routes
  // (-1 none, -2 too big to check).
  std::int64_t entries = -1;  // -2: a count too big to check
  std::int64_t hidden = 0;
  std::int64_t perProtocol[5] = {-1, -1, -1, -1, -1};
  // Vrf, an IPv6 table's head and a prompt whose command names "vrf NAME":
  // the table's name ("" for the default table); `setsVrf` whether the line
  // chooses a table at all.
  bool setsVrf = false;
  std::string_view vrf;
  // Classful: whether the routes under it may be printed without a mask.
  bool subnetted = false;
  // Unparsed: whether the line looks like a route's first line (a code,
  // then an address), so that next-hop lines after it are not another
  // route's.
  bool routeLike = false;
  Layout layout = Layout::Unknown;
};

// The protocol letters the IX summary line counts, in the order of
// ParsedLine::perProtocol: Connected, Static, RIP, OSPF, BGP.
inline constexpr char kSummaryProtocols[5] = {'C', 'S', 'R', 'O', 'B'};

// Classifies one line, without its line end, by its shape alone: the token
// order after "via" never decides what a token is.
ParsedLine ParseLine(std::string_view line);

// Whether the text is a route's age: 0:01:02, 00:12:01, 1d02h, 5w2d, 3y45w.
bool IsAge(std::string_view text);

}  // namespace kestrel::compare
