#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "comparison.h"
#include "route_line.h"
#include "route_table.h"
#include "sha256.h"

namespace kestrel::compare {
namespace {

// A line as the parser understood it, in one string: kind, code, prefix,
// bracket, body, next hop, and what header lines announce.
std::string Signature(const ParsedLine& p) {
  static const char* const kKinds[] = {"blank", "prompt",   "legend", "gateway",      "table",
                                       "vrf",   "classful", "route",  "continuation", "unparsed"};
  static const char* const kBodies[] = {"", " via", " connected", " summary", " fields"};
  std::string s = kKinds[static_cast<int>(p.kind)];
  if (p.kind == LineKind::Route || p.protocol[0]) s += std::string(" ") + p.protocol + (p.candidate ? "*" : "");
  if (p.kind == LineKind::Route || p.kind == LineKind::Classful)
    s += " " + FormatAddress(p.prefix) + (p.length >= 0 ? "/" + std::to_string(p.length) : "");
  if (p.hasBracket) s += " [" + std::to_string(p.distance) + "/" + std::to_string(p.metric) + "]";
  s += kBodies[static_cast<int>(p.body)];
  if (p.hasHopAddress) s += " " + FormatAddress(p.hop);
  if (!p.hopVrf.empty()) s += " in " + std::string(p.hopVrf);
  if (!p.interface.empty()) s += " " + std::string(p.interface);
  if (p.backup) s += " backup";
  if (p.setsVrf) s += " vrf=" + std::string(p.vrf);
  if (p.entries != -1) s += " entries=" + std::to_string(p.entries) + " hidden=" + std::to_string(p.hidden);
  if (p.perProtocol[0] >= 0)
    for (int i = 0; i < 5; ++i) s += (i ? "," : " counts=") + std::to_string(p.perProtocol[i]);
  if (p.subnetted) s += " subnetted";
  if (p.routeLike) s += " route-like";
  return s;
}

struct LineCase {
  std::string line;
  std::string parsed;
};

const std::string kHop = std::string(28, ' ');  // an IX continuation's blank head
const std::string kBracketHop = std::string(20, ' ');

const LineCase kLines[] = {
    // Around the routes.
    {"", "blank"},
    {"   \t", "blank"},
    {"Router#show ip route", "prompt vrf="},
    {"R1#sh ip ro vrf RED", "prompt vrf=RED"},
    {"ix2215# show ip route  ", "prompt vrf="},
    {"Router#", "prompt"},
    {"Tue May 22 22:32:30.765 UTC", "prompt"},
    {"Codes: L - local, C - connected, S - static, R - RIP", "legend"},
    {"       E1 - OSPF external type 1, E2 - OSPF external type 2", "legend"},
    {"C - Connected, S - Static, R - RIP, O - OSPF, IA - OSPF inter area", "legend"},
    {"       * - candidate default, + - replicated route", "legend"},
    {"Gateway of last resort is 192.0.2.1 to network 0.0.0.0", "gateway"},
    {"IP Routing Table - 12 entries, 2 hidden, 1012 frees", "table entries=12 hidden=2"},
    {"Entries: 3 Connected, 2 Static, 0 RIP, 5 OSPF, 4 BGP", "table counts=3,2,0,5,4"},
    {"Timers: Age", "table"},
    {"IPv6 Routing Table - default - 6 entries", "table vrf= entries=6 hidden=0"},
    {"Routing Table: RED", "vrf vrf=RED"},
    {"     10.0.0.0/8 is variably subnetted, 6 subnets, 3 masks", "classful 10.0.0.0/8"},
    {"     1.0.0.0/32 is subnetted, 1 subnets", "classful 1.0.0.0/32 subnetted"},
    {"     131.108.0.0 255.255.255.0 is subnetted, 2 subnets", "classful 131.108.0.0/24 subnetted"},
    {"IP Routing Table - 999999999999999999999 entries, 0 hidden, 0 frees", "table entries=-2 hidden=0"},
    {"Entries: banana", "unparsed"},
    // Routes: IX as printed, IX converted, Cisco.
    {"O       10.1.0.0/16 [110/2] via 192.168.0.1, GigaEthernet0.0, 0:01:02",
     "route O 10.1.0.0/16 [110/2] via 192.168.0.1 GigaEthernet0.0"},
    {"O       10.1.0.0/16 [110/2] via 192.168.0.1, 0:01:02, GigaEthernet0.0",
     "route O 10.1.0.0/16 [110/2] via 192.168.0.1 GigaEthernet0.0"},
    {"O IA     10.2.0.0/16 [110/20] via 10.0.0.1, 00:12:01, GigabitEthernet0/0",
     "route O IA 10.2.0.0/16 [110/20] via 10.0.0.1 GigabitEthernet0/0"},
    {"B       172.16.128.0/17 [20/0] via 172.16.1.254, BVI1, 1d02h",
     "route B 172.16.128.0/17 [20/0] via 172.16.1.254 BVI1"},
    {"B     192.0.2.0/24 [200/4294967295] via 198.51.100.1, 3y45w",
     "route B 192.0.2.0/24 [200/4294967295] via 198.51.100.1"},
    {"S        10.30.0.0/24 [1/0] via 10.2.2.2", "route S 10.30.0.0/24 [1/0] via 10.2.2.2"},
    {"S*      0.0.0.0/0 [1/0] via 192.168.0.1, GigaEthernet0.0, 12d03h",
     "route S* 0.0.0.0/0 [1/0] via 192.168.0.1 GigaEthernet0.0"},
    {"O*E2  0.0.0.0/0 [110/1] via 10.0.0.1, 5w2d, Gi0/0", "route O E2* 0.0.0.0/0 [110/1] via 10.0.0.1 Gi0/0"},
    {"S    1.1.1.1 [1/0] via 192.0.2.1", "route S 1.1.1.1 [1/0] via 192.0.2.1"},
    {"O E2    10.63.184.0/23 ", "route O E2 10.63.184.0/23"},
    {"C       192.0.2.0/24 [0/1] is directly connected, GigaEthernet0.0, 15:21:35",
     "route C 192.0.2.0/24 [0/1] connected GigaEthernet0.0"},
    {"C       192.0.2.0/24 [0/1] is directly connected, 15:21:35, GigaEthernet0.0",
     "route C 192.0.2.0/24 [0/1] connected GigaEthernet0.0"},
    {"L        192.0.2.1/32 is directly connected, GigabitEthernet0/0",
     "route L 192.0.2.1/32 connected GigabitEthernet0/0"},
    {"S*   0.0.0.0/0 [1/1] is directly connected, Tunnel0.0, 15:21:33", "route S* 0.0.0.0/0 [1/1] connected Tunnel0.0"},
    {"O        13.14.128.0/17 is a summary, 7w0d, Null0", "route O 13.14.128.0/17 summary Null0"},
    {"B        11.1.0.0/17 [200/0], 2w0d, Null0", "route B 11.1.0.0/17 [200/0] fields Null0"},
    {"B   2001:DB8:4::/48 [20/0]", "route B 2001:db8:4::/48 [20/0]"},
    {"OE2 2001:DB8::/48 [110/20], tag 5", "route OE2 2001:db8::/48 [110/20]"},
    // Flags after blanks, a next hop in another VRF, a backup path, a pager's remnant.
    {"B  +  10.1.0.0/16 [20/0] via 192.0.2.1, 00:01:02", "route B 10.1.0.0/16 [20/0] via 192.0.2.1"},
    {"D  *EX 10.4.0.0/16 [170/2297856] via 10.0.0.1, 1d02h, Serial0/0",
     "route D EX* 10.4.0.0/16 [170/2297856] via 10.0.0.1 Serial0/0"},
    {"O  %   10.3.0.0/16 [110/2] via 10.0.0.1", "route O 10.3.0.0/16 [110/2] via 10.0.0.1"},
    {"B        10.5.0.0/16 [20/0] via 192.0.2.1 (CUST-B), 00:01:02",
     "route B 10.5.0.0/16 [20/0] via 192.0.2.1 in CUST-B"},
    {"O    10.1.1.0/24 [110/2] via 10.0.0.2, 00:00:05, GigabitEthernet0/0/0/1 (!)",
     "route O 10.1.1.0/24 [110/2] via 10.0.0.2 GigabitEthernet0/0/0/1 backup"},
    {" --More--           O        10.2.0.0/16 [110/2] via 10.0.0.1, 00:00:05, Gi0/0",
     "route O 10.2.0.0/16 [110/2] via 10.0.0.1 Gi0/0"},
    {" --More-- \b\b\b\b\b\b\b\b\b\b          \b\b\b\b\b\b\b\b\b\b       [110/2] via 10.0.0.2, Gi0/1",
     "continuation [110/2] via 10.0.0.2 Gi0/1"},
    {" --More-- ", "blank"},
    // NX-OS.
    {"IP Route Table for VRF \"default\"", "vrf vrf="},
    {"'*' denotes best ucast next-hop", "legend"},
    {"10.1.0.0/16, ubest/mbest: 2/0", "route  10.1.0.0/16"},
    {"    *via 10.0.0.2, Eth1/1, [110/41], 1d02h, ospf-1, intra", "continuation O [110/41] via 10.0.0.2 Eth1/1"},
    {"    *via 198.51.100.1%default, [200/0], 2w0d, bgp-65000, internal, tag 65001",
     "continuation B [200/0] via 198.51.100.1 in default"},
    {"    via 10.0.0.3, Eth1/2, [110/41], 1d02h, ospf-1, type-2",
     "continuation O E2 [110/41] via 10.0.0.3 Eth1/2 backup"},
    {"    *via 10.1.1.1, Vlan10, [0/0], 3w0d, direct", "continuation C [0/0] via Vlan10"},
    // Continuations.
    {kHop + "via 192.168.0.2, GigaEthernet1.0, 0:01:02", "continuation via 192.168.0.2 GigaEthernet1.0"},
    {kBracketHop + "[110/2] via 192.168.0.2, 0:01:02, GigaEthernet1.0",
     "continuation [110/2] via 192.168.0.2 GigaEthernet1.0"},
    {"           [110/20] via 10.1.1.1, 1d02h, Tunnel0", "continuation [110/20] via 10.1.1.1 Tunnel0"},
    {"                    is directly connected, Tunnel1", "continuation connected Tunnel1"},
    {kBracketHop + "[110/20]", "continuation [110/20]"},
    {"     via FE80::1, Serial6/0", "continuation via fe80::1 Serial6/0"},
    {"     via Vlan1, directly connected", "continuation via Vlan1"},
    {"     via Null0, receive", "continuation via Null0"},
    {"     via ::FFFF:192.0.2.1", "continuation via ::ffff:c000:201"},
    // Everything else.
    {"%LINK-3-UPDOWN: Interface GigabitEthernet0/1, changed state to down", "unparsed"},
    {"O       10.1.0.0/16 [110/2] via 192.168.0.1, GigaEthernet0.0, yesterday", "unparsed route-like"},
    {"O       10.1.0.0/16 [110/2] via 192.168.0.1, 192.168.0.2", "unparsed route-like"},
    {"O       10.1.0.0/33 [110/2] via 192.168.0.1", "unparsed route-like"},
    {"S       10.0.0.0/8 [256/0] via 10.0.0.1", "unparsed route-like"},
    {"S       10.0.0.0/8 [/5] via 10.0.0.1", "unparsed route-like"},
    {"S       1..2.3/8 [1/0] via 10.0.0.1", "unparsed route-like"},
    {"S       10.0.0.0/8 [1/0] via 10.0.0.1, Gi0/0, Gi0/1", "unparsed route-like"},
    {"B       2001:DB8:::/48 [20/0]", "unparsed"},
    {kHop + "via 192.168.0.2, 1:2:3", "unparsed"},
    {"\x83\x8d\x83\x4f\x82\xcc\x8e\x6e\x82\xdc\x82\xe8", "unparsed"},
    {"R1", "unparsed"},
    {"B>* 10.0.0.0/8 [20/0] via 10.0.0.1, eth0, 00:01:02", "unparsed route-like"},
    {"ABCD EFG 10.0.0.0/8 [1/0] via 10.0.0.1", "unparsed route-like"},
    {"B        11.1.0.0/17, 2w0d, Null0", "unparsed"},
};

TEST(LineParser, EveryShapeOfLine) {
  for (const LineCase& c : kLines) EXPECT_EQ(Signature(ParseLine(c.line)), c.parsed) << c.line;
}

// The differences between two tables, one string: each route that differs
// ("only-a", "only-b" or what differs, with next hops taken away and added),
// then the warnings of each side.
struct CompareCase {
  const char* name;
  std::vector<std::string> a, b;  // "--" starts another piece of the table
  // L ignore local, D vendor defaults, M interface map, I ignore interfaces, A accepted, C covering, T tallies,
  // W where each side's route stands (piece:line) and the line that accepts a difference
  const char* rules;
  std::string outcome;
};

std::string Outcome(const CompareCase& c) {
  Table tables[2];
  for (int s = 0; s < 2; ++s) {
    TableReader reader(tables[s]);
    reader.BeginSource("piece");
    std::uint64_t offset = 0;
    for (const std::string& line : s ? c.b : c.a) {
      if (line == "--")
        reader.BeginSource("piece");
      else
        reader.Line(line, offset);
      offset += line.size() + 1;
    }
    reader.Finish();
  }
  const std::string options = c.rules;
  const InterfaceMap map = InterfaceMap::Parse("GigaEthernet*.0 GigabitEthernet*/0\nLoopback*.0 Loopback*\n", "map");
  Rules rules;
  rules.ignoreLocal = options.find('L') != std::string::npos;
  rules.vendorDefaults = options.find('D') != std::string::npos;
  rules.ignoreInterfaces = options.find('I') != std::string::npos;
  if (options.find('M') != std::string::npos) rules.interfaceMap = &map;
  const AcceptList accepted = AcceptList::Parse("10.2.0.0/16 protocol\nvrf RED 10.9.0.0/16\n", "accept");
  if (options.find('A') != std::string::npos) rules.accepted = &accepted;
  std::string out;
  const Comparison comparison = Compare(tables[0], tables[1], rules);
  const Describer records(tables[0], tables[1], comparison, rules, options.find('C') != std::string::npos);
  for (std::size_t i = 0; i < records.Size(); ++i) {
    const DiffRecord v = records[i];
    out += (out.empty() ? "" : " | ") + (v.vrf.empty() ? "" : v.vrf + " ") + v.prefix;
    if (v.status != DiffStatus::Differs) out += std::string(" ") + kDiffStatusNames[static_cast<int>(v.status)];
    for (const auto kind : v.differences) out += " " + std::string(kind);
    for (const auto& hop : v.removed) out += " -" + hop;
    for (const auto& hop : v.added) out += " +" + hop;
    for (const auto& [a, b] : v.interfaces) out += " " + a + ">" + b;
    if (!v.covering.empty()) out += " (" + v.covering + ")";
    if (v.accepted) out += " accepted";
    if (options.find('W') == std::string::npos) continue;
    if (v.acceptedBy) out += " by " + std::to_string(v.acceptedBy);
    for (int s = 0; s < 2; ++s)
      if (v.side[s].present)
        out += std::string(s ? " B" : " A") + std::to_string(v.side[s].log) + ":" + std::to_string(v.side[s].line);
  }
  if (comparison.interfacesNotCompared) out += " ~" + std::to_string(comparison.interfacesNotCompared);
  for (int s = 0; s < 2; ++s)
    if (comparison.unread[s]) out += std::string(" ! ") + (s ? "B" : "A") + " unread";
  if (!comparison.warnings.empty()) out += " ! " + std::to_string(comparison.warnings.size()) + " warnings";
  if (options.find('T') != std::string::npos)
    for (const auto* tallies : {&comparison.byVrf, &comparison.byProtocol})
      for (const auto& [name, t] : *tallies)
        out += " #" + name + "=" + std::to_string(t.routes[0]) + "/" + std::to_string(t.routes[1]) + " s" +
               std::to_string(t.same) + " d" + std::to_string(t.differ) + " a" + std::to_string(t.accepted) + " o" +
               std::to_string(t.onlyA) + "/" + std::to_string(t.onlyB);
  static const char* const kWarnings[] = {"duplicate", "host-bits", "bracket", "totals", "unread-route"};
  for (int s = 0; s < 2; ++s)
    for (int k = 0; k < static_cast<int>(kWarningKinds); ++k)
      if (tables[s].warningCounts[k])
        out += " ! " + std::string(s ? "B " : "A ") + kWarnings[k] + " " + std::to_string(tables[s].warningCounts[k]);
  return out;
}

const std::string kIx = "O       10.1.0.0/16 [110/2] via 192.168.0.1, GigaEthernet0.0, 0:01:02";
const std::string kIxNext = kHop + "via 192.168.0.2, GigaEthernet1.0, 0:01:02";
const std::string kCisco1 = "O        10.1.0.0/16 [110/2] via 192.168.0.1, 00:01:02, GigabitEthernet0/0";
const std::string kCisco2 = "O        10.1.0.0/16 [110/2] via 192.168.0.2, 00:01:02, GigabitEthernet1/0";
const std::string kCiscoNext1 = "                     [110/2] via 192.168.0.1, 00:01:02, GigabitEthernet0/0";

const CompareCase kComparisons[] = {
    {"NextHopOrderAndAgesDoNotCount", {kIx, kIxNext}, {kCisco2, kCiscoNext1}, "", ""},
    {"NextHopRemovedAndAdded",
     {kIx, kIxNext},
     {kCisco2, kBracketHop + " [110/2] via 192.168.0.3, 00:01:02, Gi2/0"},
     "",
     "10.1.0.0/16 next-hops -192.168.0.1 GigaEthernet0.0 +192.168.0.3 Gi2/0"},
    {"DistanceMetricProtocol",
     {kIx, "O IA    10.2.0.0/16 [110/20] via 192.168.0.1, GigaEthernet0.0, 0:01:02",
      "S*      0.0.0.0/0 [1/1] via 192.168.0.9, GigaEthernet0.0, 5w2d"},
     {"O        10.1.0.0/16 [120/3] via 192.168.0.1", "O E2     10.2.0.0/16 [110/20] via 192.168.0.1",
      "S        0.0.0.0/0 [1/0] via 192.168.0.9"},
     "",
     "0.0.0.0/0 candidate-default | 10.1.0.0/16 distance metric | "
     "10.2.0.0/16 protocol"},
    {"VendorDefaultsOnlyWhenAsked",
     {"C       192.0.2.0/24 [0/1] is directly connected, GigaEthernet0.0, 15:21:35",
      "S       10.10.0.0/16 [1/1] via 10.9.0.2, VirtualTemplate1.1, 5w2d"},
     {"C        192.0.2.0/24 is directly connected, GigabitEthernet0/0", "S        10.10.0.0/16 [1/0] via 10.9.0.2"},
     "",
     " ~1"},
    {"VendorDefaultsReported",
     {"C       192.0.2.0/24 [0/1] is directly connected, GigaEthernet0.0, 15:21:35",
      "S       10.10.0.0/16 [1/1] via 10.9.0.2, VirtualTemplate1.1, 5w2d"},
     {"C        192.0.2.0/24 is directly connected, GigabitEthernet0/0", "S        10.10.0.0/16 [1/0] via 10.9.0.2"},
     "D",
     "10.10.0.0/16 metric | 192.0.2.0/24 distance metric ~1"},
    {"ConnectedInterfacesComparedThroughTheMap",
     {"C       192.0.2.0/24 is directly connected, GigaEthernet0.0, 15:21:35",
      "C       10.0.0.0/24 is directly connected, Loopback0.0, 1:02:03", kIx},
     {"C        192.0.2.0/24 is directly connected, GigabitEthernet0/0",
      "C        10.0.0.0/24 is directly connected, Loopback1", kCisco2, kCiscoNext1},
     "M",
     "10.0.0.0/24 interface Loopback0>Loopback1 | 10.1.0.0/16 next-hops +192.168.0.2 GigabitEthernet1/0"},
    {"InterfacesIgnoredAndUnmapped",
     {"C       10.0.0.0/24 is directly connected, Loopback0.0, 1:02:03", kIx,
      "B       10.3.0.0/16 [20/0] via 10.9.9.9, BVI1, 1d02h"},
     {"C        10.0.0.0/24 is directly connected, Loopback1", "O 10.1.0.0/16 [110/2] via 192.168.0.1, 00:01:02, Gi0/0",
      "B        10.3.0.0/16 [20/0] via 10.9.9.9, 1d02h"},
     "MI",
     ""},
    {"UnmappedNamesDiffer",
     {kIx},
     {"O 10.1.0.0/16 [110/2] via 192.168.0.1, 00:01:02, Gi0/0"},
     "M",
     "10.1.0.0/16 interface GigabitEthernet0/0>Gi0/0 ! 1 warnings"},
    {"ACopiedBracketIsNeverTrusted",
     {"O       10.5.0.0/16 [110/5] via 10.0.0.1, 0:01:02, BVI1", kBracketHop + "[110/9] via 10.0.0.2, 0:01:02, Gi0",
      kBracketHop + "[110/5] via 10.0.0.3, 0:01:02, Gi0"},
     {"O        10.5.0.0/16 [110/5] via 10.0.0.3", "      [110/5] via 10.0.0.2", "      [110/5] via 10.0.0.1"},
     "",
     " ! A bracket 1"},
    {"VrfsAreTablesOfTheirOwn",
     {"S 10.0.0.0/8 [1/0] via 10.9.9.9", "Routing Table: BLUE", "S 10.0.0.0/8 [1/0] via 10.9.9.9"},
     {"R1#show ip route vrf RED", "S 10.0.0.0/8 [1/0] via 10.9.9.9", "IPv6 Routing Table - default - 1 entries",
      "S 10.0.0.0/8 [1/0] via 10.9.9.9"},
     "",
     "BLUE 10.0.0.0/8 only-a | RED 10.0.0.0/8 only-b"},
    {"Ipv6BlocksAndLinkLocalHops",
     {"B   2001:DB8:4::/48 [20/0]", "     via FE80::1, Serial6/0", "     via 2001:DB8::2", "C   2001:DB8:1::/64 [0/0]",
      "     via Vlan1, directly connected"},
     {"B   2001:DB8:5::/48 [20/0]", "B   2001:db8:4::/48 [20/0]", "     via 2001:db8::2", "     via fe80::1, Serial6/1",
      "C   2001:DB8:1::/64 [0/0]", "     via Vlan2, directly connected"},
     "",
     "2001:db8:1::/64 interface Vlan1>Vlan2 | 2001:db8:4::/48 interface Serial6/0>Serial6/1 | 2001:db8:5::/48 only-b"},
    {"LocalRoutesLeftOutWhenAsked",
     {"C 10.0.0.0/24 [0/1] is directly connected, Loopback0.0, 1:02:03"},
     {"C 10.0.0.0/24 is directly connected, Loopback0", "L 10.0.0.1/32 is directly connected, Loopback0"},
     "L",
     " ~1"},
    {"LocalRoutesCountByDefault",
     {"C 10.0.0.0/24 [0/1] is directly connected, Loopback0.0, 1:02:03", "S 10.0.1.0/24 is directly connected, Null0",
      "C   2001:DB8:1::/64 [0/0]", "     via Vlan1, directly connected", "S   2001:DB8:9::/48 [1/0]",
      "     via 2001:DB8::1"},
     {"C 10.0.0.0/24 is directly connected, Loopback0", "L 10.0.0.1/32 is directly connected, Loopback0",
      "C   2001:DB8:1::/64 [0/0]", "     via Vlan1, directly connected", "L   2001:DB8:1::1/128 [0/0]",
      "     via Vlan1, receive", "S   ::/0 [1/0]", "     via 2001:DB8::1"},
     "C",
     "10.0.0.1/32 only-b (10.0.0.0/24 C [0/1] Loopback0.0) | 10.0.1.0/24 only-a | ::/0 only-b | "
     "2001:db8:1::1/128 only-b (2001:db8:1::/64 C [0/0] Vlan1) | 2001:db8:9::/48 only-a (::/0 S [1/0] 2001:db8::1) ~2"},
    {"MasksFromTheClassfulLineOrTheClass",
     {"     1.0.0.0/32 is subnetted, 1 subnets", "S    1.1.1.1 [1/0] via 192.0.2.1",
      "C    192.168.1.0 is directly connected, Ethernet0", "S    172.16.0.0 [1/0] via 192.0.2.1",
      "     131.108.0.0 255.255.255.0 is subnetted, 2 subnets", "S    131.108.1.0 [1/0] via 192.0.2.1",
      "S    131.108.2.0 [1/0] via 192.0.2.2"},
     {"S 1.1.1.1/32 [1/0] via 192.0.2.1", "C 192.168.1.0/24 is directly connected, Ethernet0",
      "S 131.108.1.0/24 [1/0] via 192.0.2.1", "S 131.108.2.0/24 [1/0] via 192.0.2.2",
      "S 172.16.0.0/16 [1/0] via 192.0.2.1"},
     "",
     ""},
    {"WrappedHeadsAndPieces",
     {"O E2    10.63.184.0/23 ", "           [110/20] via 10.1.1.1, 1d02h, Tunnel0", kIx, "--", kIxNext},
     {"O E2 10.63.184.0/23 [110/25] via 10.1.1.1", kCisco2, kCiscoNext1},
     "",
     "10.63.184.0/23 metric"},
    {"WarningsForDuplicatesHostBitsAndTotals",
     {"IP Routing Table - 4 entries, 1 hidden, 12 frees", "Entries: 0 Connected, 2 Static, 0 RIP, 0 OSPF, 0 BGP",
      "S 10.1.1.1/16 [1/0] via 10.0.0.1", "S 10.1.0.0/16 [1/0] via 10.0.0.1", "ix#",
      "IP Routing Table - 0 entries, 0 hidden, 12 frees", "Entries: 0 Connected, 0 Static, 0 RIP, 0 OSPF, 1 BGP",
      "Timers: Age", "B 10.2.0.0/16 [20/0] via 10.0.0.1", "B 10.3.0.0/16 [20/0] via 10.0.0.1"},
     {"S 10.1.0.0/16 [1/0] via 10.0.0.1", "B 10.2.0.0/16 [20/0] via 10.0.0.1", "B 10.3.0.0/16 [20/0] via 10.0.0.1"},
     "",
     " ! A duplicate 1 ! A host-bits 1 ! A totals 3"},
    {"AnUnreadRouteKeepsItsNextHops",
     {kCisco1, "O        10.2.0.0/16 [110/2] via 10.0.0.1, 00:01:02, Gi0/0 (ECMP)",
      kBracketHop + "[110/2] via 10.0.0.2", "IP Routing Table - 999999999999999999999 entries, 0 hidden, 0 frees"},
     {kCisco1, "O        10.2.0.0/16 [110/2] via 10.0.0.1, 00:01:02, Gi0/0", kBracketHop + "[110/2] via 10.0.0.2"},
     "",
     "10.2.0.0/16 only-b ! A totals 1 ! A unread-route 1"},
    {"InterfaceOnlyNextHopsAcrossVendors",
     {"C 192.0.2.0/24 [0/1] is directly connected, GigaEthernet0.0, 15:21:35",
      "S 10.9.0.0/16 [1/1] is directly connected, Null0, 1:02:03",
      "S 10.7.0.0/16 [1/1] is directly connected, Tunnel0.0, 1:02:03"},
     {"C 192.0.2.0/24 is directly connected, GigabitEthernet1/0", "S 10.9.0.0/16 is directly connected, Tunnel0",
      "S 10.7.0.0/16 is directly connected, Tunnel0", kBracketHop + "is directly connected, Tunnel1"},
     "",
     "10.7.0.0/16 next-hops +Tunnel1 | 10.9.0.0/16 interface Null0>Tunnel0 ~3"},
    {"InterfacesAndLinkLocalHopsWithinOneLayout",
     {"Gateway of last resort is not set", "C 10.0.0.0/24 is directly connected, GigabitEthernet0/0",
      "B   2001:DB8:4::/48 [20/0]", "     via FE80::2, Serial6/0", "     via FE80::2, Serial6/1",
      "B        10.5.0.0/16 [20/0] via 192.0.2.1 (CUST-B), 00:01:02"},
     {"Gateway of last resort is not set", "C 10.0.0.0/24 is directly connected, GigabitEthernet0/1",
      "B   2001:DB8:4::/48 [20/0]", "     via FE80::2, Serial6/0", "B 10.5.0.0/16 [20/0] via 192.0.2.1, 00:01:02"},
     "",
     "10.0.0.0/24 interface GigabitEthernet0/0>GigabitEthernet0/1 | "
     "10.5.0.0/16 next-hops -192.0.2.1 (vrf CUST-B) +192.0.2.1 | 2001:db8:4::/48 next-hops -fe80::2 Serial6/1"},
    {"LinkLocalHopsCountedAcrossVendors",
     {"B   2001:DB8:4::/48 [20/0]", "     via FE80::2, GigaEthernet0.0", "     via FE80::2, GigaEthernet1.0"},
     {"Gateway of last resort is not set", "B   2001:DB8:4::/48 [20/0]", "     via FE80::2, GigabitEthernet0/0"},
     "",
     "2001:db8:4::/48 next-hops -fe80::2 GigaEthernet1.0 ~1"},
    {"PerPathBracketsOfCiscoAreCompared",
     {"Gateway of last resort is not set", "D        10.6.0.0/16 [90/2172416] via 10.0.0.1, 00:01:02, Serial0/0",
      "                     [90/2684416] via 10.0.0.2, 00:01:02, Serial0/1",
      "D        10.7.0.0/16 [90/5] via 10.0.0.1, 00:01:02, Serial0/0",
      "                     [90/5] via 10.0.0.2, 00:01:02, Serial0/1"},
     {"Gateway of last resort is not set", "D        10.6.0.0/16 [90/2172416] via 10.0.0.2, 00:01:02, Serial0/1",
      "                     [90/2172416] via 10.0.0.1, 00:01:02, Serial0/0",
      "D        10.7.0.0/16 [90/5] via 10.0.0.1, 00:01:02, Serial0/0",
      "                     [170/5] via 10.0.0.2, 00:01:02, Serial0/1"},
     "",
     "10.6.0.0/16 metric | 10.7.0.0/16 distance"},
    {"NxosAgainstIos",
     {"IP Route Table for VRF \"default\"", "'*' denotes best ucast next-hop", "10.1.0.0/16, ubest/mbest: 2/0",
      "    *via 192.168.0.1, Eth1/1, [110/2], 1d02h, ospf-1, intra",
      "    *via 192.168.0.2, Eth1/2, [110/2], 1d02h, ospf-1, intra", "10.2.0.0/16, ubest/mbest: 1/0",
      "    *via 10.0.0.1%default, [200/0], 2w0d, bgp-65000, internal, tag 65001",
      "192.0.2.0/24, ubest/mbest: 1/0, attached", "    *via 192.0.2.1, Vlan10, [0/0], 3w0d, direct",
      "10.3.0.0/16, ubest/mbest: 1/0", "    *via 10.0.0.9, Eth1/3, [110/20], 1d02h, ospf-1, type-2"},
     {"Gateway of last resort is not set", kCisco2, kCiscoNext1, "B        10.2.0.0/16 [200/0] via 10.0.0.1, 2w0d",
      "C        192.0.2.0/24 is directly connected, Vlan10", "O        10.3.0.0/16 [110/20] via 10.0.0.9"},
     "",
     "10.3.0.0/16 protocol ~1"},
    {"AcceptedDifferencesAndStaleOnes",
     {"O IA    10.2.0.0/16 [110/20] via 192.168.0.1", "S 10.3.0.0/16 [1/0] via 10.0.0.1"},
     {"O E2    10.2.0.0/16 [110/20] via 192.168.0.1", "S 10.3.0.0/16 [1/0] via 10.0.0.2", "Routing Table: RED",
      "S 10.3.0.0/16 [1/0] via 10.0.0.2"},
     "AT",
     "10.2.0.0/16 protocol accepted | 10.3.0.0/16 next-hops -10.0.0.1 +10.0.0.2 | RED 10.3.0.0/16 only-b ! 1 warnings"
     " #=2/2 s0 d2 a1 o0/0 #RED=0/1 s0 d0 a0 o0/1 #O IA=1/1 s0 d1 a1 o0/0 #S=1/2 s0 d1 a0 o0/1"},
    {"WhereEachSideStandsAndWhatAcceptsIt",
     {"S 10.1.0.0/16 [1/0] via 10.0.0.1", "--", "Gateway of last resort is not set", "Routing Table: RED",
      "S 10.9.0.0/16 [1/0] via 10.0.0.1", "S 10.2.0.0/16 [1/0] via 10.0.0.1"},
     {"S 10.1.0.0/16 [1/0] via 10.0.0.2", "Routing Table: RED", "S 10.4.0.0/16 [1/0] via 10.0.0.1"},
     "AW",
     "10.1.0.0/16 next-hops -10.0.0.1 +10.0.0.2 A0:1 B0:1 | RED 10.2.0.0/16 only-a A1:4 | "
     "RED 10.4.0.0/16 only-b B0:3 | RED 10.9.0.0/16 only-a accepted by 2 A1:3 ! 1 warnings"},
    {"NothingReadFromALogThatIsNotEmpty", {"% Invalid input detected at '^' marker."}, {"", ""}, "", " ! A unread"},
};

TEST(Comparison, Table) {
  for (const CompareCase& c : kComparisons) EXPECT_EQ(Outcome(c), c.outcome) << c.name;
}

// Bytes fed to Sha256 in pieces, one Update each, and their digest: the
// published test vectors, whole and cut where the 64-byte blocks are not.
struct DigestCase {
  std::vector<std::string> pieces;
  const char* digest;
};

const DigestCase kDigests[] = {
    {{""}, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {{"abc"}, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    // 448 bits: the length needs a block of its own.
    {{"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"},
     "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    {{std::string(1000000, 'a')}, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    // The million again: one byte held, then one short of a block, then a piece
    // that completes it and spans two more.
    {{std::string(1, 'a'), std::string(62, 'a'), std::string(130, 'a'), std::string(999807, 'a')},
     "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    {{"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmno", "", "mnopnopq"},  // an empty piece adds nothing
     "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    // 56 bytes left over after a block.
    {{std::string(100, 'a'), std::string(20, 'b')}, "bb92cdc0c31c4a9aa350880732b73c347203ba989290fc926caae43ff6eb447e"},
};

TEST(Sha256, BothWaysOfComputingIt) {
  for (const DigestCase& c : kDigests)
    for (const bool hardware : {false, true}) {
      Sha256 sha(hardware);
      for (const std::string& piece : c.pieces) sha.Update(piece);
      EXPECT_EQ(sha.HexDigest(), c.digest) << c.pieces.size() << " pieces, " << c.pieces.front().substr(0, 8)
                                           << (hardware ? ", instructions" : ", portable");
    }
}

}  // namespace
}  // namespace kestrel::compare
