#include "comparison.h"

#include <algorithm>
#include <cstring>
#include <tuple>
#include <unordered_map>

namespace kestrel::compare {

const char* const kDiffKindNames[kDiffKinds] = {"only-a", "only-b",   "next-hops",         "distance",
                                                "metric", "protocol", "candidate-default", "interface"};
const char* const kDiffStatusNames[3] = {"only-a", "only-b", "differs"};

namespace {

// Interface names as compared, by a number common to both sides.
enum InterfaceId : std::uint32_t {
  kNoInterface = 0,  // none printed: matches any (a recursive route prints none)
  kNull0 = 1,        // the discard interface, spelled alike by both vendors: always compared
  kUnnamed = 2,      // an interface whose name is not compared
  kFirstName = 3,
};

// A next hop as compared: its address (family 0 when it has none), the VRF
// it is in, whether it is a backup path, and its interface.
struct HopKey {
  std::uint8_t family;
  std::uint64_t hi, lo;
  std::uint32_t vrf;
  std::uint8_t backup;
  std::uint32_t interface;
  std::uint32_t index;  // into the table's hops
  auto Address() const { return std::tie(family, hi, lo, vrf, backup); }
  auto Key() const { return std::tie(family, hi, lo, vrf, backup, interface); }
};

// What the comparison needs of one side beyond its table.
struct Side {
  const Table& table;
  std::vector<std::uint32_t> vrfRank;    // the VRF's place among both sides' names
  std::vector<std::uint32_t> interface;  // InterfaceId, per interface
  std::vector<std::string> names;        // each interface's name as compared (mapped)
  std::vector<std::uint32_t> hopVrf;     // the number of each next-hop VRF's name, common to both sides
};

bool Skipped(const Route& route, const Rules& rules) {
  return route.Is(kDuplicate) || (rules.ignoreLocal && route.Local());
}

// A link-local IPv6 next hop means something only together with its interface.
bool LinkLocal(const Address& a) { return a.v6 && (a.hi >> 54) == (0xFE80u >> 6); }

// The route's next hops, sorted; a repeated one counts once, except those
// whose interface names are not compared, which count as often as printed.
// `unnamed` tells whether any was such.
void CollectHops(const Side& side, const Route& route, std::vector<HopKey>& out, bool& unnamed) {
  out.clear();
  unnamed = false;
  for (std::uint32_t i = route.firstHop; i < route.firstHop + route.hopCount; ++i) {
    const Hop& hop = side.table.hops[i];
    const Address a = side.table.HopAddress(hop);
    std::uint32_t interface = side.interface[hop.interface];
    // An address names the next hop; its interface counts only where compared by name.
    if (hop.hasAddress && interface == kUnnamed && !LinkLocal(a)) interface = kNoInterface;
    unnamed |= interface == kUnnamed;
    out.push_back({static_cast<std::uint8_t>(hop.hasAddress ? 1 + hop.v6 : 0), hop.hasAddress ? a.hi : 0,
                   hop.hasAddress ? a.lo : 0, side.hopVrf[hop.vrf], hop.backup, interface, i});
  }
  std::sort(out.begin(), out.end(), [](const HopKey& x, const HopKey& y) {
    return std::tuple_cat(x.Key(), std::tie(x.index)) < std::tuple_cat(y.Key(), std::tie(y.index));
  });
  out.erase(std::unique(out.begin(), out.end(),
                        [](const HopKey& x, const HopKey& y) { return x.Key() == y.Key() && x.interface != kUnnamed; }),
            out.end());
}

// The kinds of difference between two routes' next hops: which are only in
// A and only in B (to `removed` and `added` when given), and the brackets of
// those on both sides where a path printed its own. An interface missing on
// one side matches any.
std::uint8_t HopDelta(const Side& sa, const Route& ra, const std::vector<HopKey>& a, const Side& sb, const Route& rb,
                      const std::vector<HopKey>& b, const Rules& rules, std::vector<std::uint32_t>* removed,
                      std::vector<std::uint32_t>* added) {
  std::uint8_t kinds = 0;
  std::size_t i = 0, j = 0;
  const bool brackets = ra.Is(kBracket) && rb.Is(kBracket);
  while (i < a.size() || j < b.size()) {
    bool takeA = j == b.size(), takeB = i == a.size();
    if (!takeA && !takeB) {
      const auto& x = a[i];
      const auto& y = b[j];
      if (x.Address() != y.Address()) {
        takeA = x.Address() < y.Address(), takeB = !takeA;
      } else if (x.interface != y.interface && x.interface != kNoInterface && y.interface != kNoInterface) {
        takeA = x.interface < y.interface, takeB = !takeA;
      } else if (brackets) {
        const Hop& hx = sa.table.hops[x.index];
        const Hop& hy = sb.table.hops[y.index];
        if ((hx.ownBracket || hy.ownBracket) && !rules.ignoreDistance &&
            sa.table.HopDistance(ra, hx) != sb.table.HopDistance(rb, hy))
          kinds |= kDistance;
        if ((hx.ownBracket || hy.ownBracket) && !rules.ignoreMetric &&
            sa.table.HopMetric(ra, hx) != sb.table.HopMetric(rb, hy))
          kinds |= kMetric;
      }
    }
    if (takeA && removed) removed->push_back(a[i].index);
    if (takeB && added) added->push_back(b[j].index);
    if (takeA || takeB) kinds |= kHops;
    i += !takeB;
    j += !takeA;
  }
  if (!(kinds & kHops) || a.size() != b.size()) return kinds;
  // The same addresses, each on another interface: a difference of interface only.
  for (std::size_t k = 0; k < a.size(); ++k)
    if (a[k].Address() != b[k].Address()) return kinds;
  return static_cast<std::uint8_t>((kinds & ~kHops) | kInterface);
}

std::uint8_t Differences(const Side& sa, const Route& a, const Side& sb, const Route& b, const Rules& rules,
                         bool* unnamed = nullptr, std::vector<std::uint32_t>* removed = nullptr,
                         std::vector<std::uint32_t>* added = nullptr) {
  static thread_local std::vector<HopKey> hopsA, hopsB;
  bool unnamedA, unnamedB;
  CollectHops(sa, a, hopsA, unnamedA);
  CollectHops(sb, b, hopsB, unnamedB);
  if (unnamed) *unnamed = unnamedA || unnamedB;
  std::uint8_t kinds = HopDelta(sa, a, hopsA, sb, b, hopsB, rules, removed, added);
  const bool one = a.Is(kBracket) != b.Is(kBracket);
  if ((a.Is(kBracket) && b.Is(kBracket)) || (one && rules.vendorDefaults)) {
    const bool staticRoute = a.protocol[0] == 'S' && b.protocol[0] == 'S';
    if (!rules.ignoreDistance && (one || a.distance != b.distance)) kinds |= kDistance;
    if (!rules.ignoreMetric && (one || a.metric != b.metric) && (!staticRoute || rules.vendorDefaults))
      kinds |= kMetric;
    if (staticRoute && !rules.vendorDefaults) kinds &= ~kMetric;
  }
  if (!rules.ignoreProtocol && std::strncmp(a.protocol, b.protocol, sizeof a.protocol) != 0) kinds |= kProtocol;
  if (!rules.ignoreCandidate && ((a.flags ^ b.flags) & kCandidate)) kinds |= kCandidateDefault;
  return kinds;
}

// The two sides' VRF names, each sorted, numbered as one sorted list.
void RankVrfs(Side& a, Side& b) {
  const auto& x = a.table.vrfs;
  const auto& y = b.table.vrfs;
  a.vrfRank.resize(x.size());
  b.vrfRank.resize(y.size());
  std::size_t i = 0, j = 0;
  for (std::uint32_t rank = 0; i < x.size() || j < y.size(); ++rank) {
    const bool fromA = j == y.size() || (i < x.size() && x[i] <= y[j]);
    const bool fromB = i == x.size() || (j < y.size() && y[j] <= x[i]);
    if (fromA) a.vrfRank[i++] = rank;
    if (fromB) b.vrfRank[j++] = rank;
  }
}

// Numbers the names of both sides' interfaces and next-hop VRFs alike.
void NameSides(Side& sa, Side& sb, const Rules& rules) {
  const Naming naming = NamingOf(sa.table, sb.table, rules);
  std::unordered_map<std::string, std::uint32_t> interfaceIds, vrfIds{{"", 0}};
  for (Side* side : {&sa, &sb}) {
    const auto& names = side->table.interfaces;
    side->interface.assign(names.size(), kNoInterface);
    side->names.assign(names.size(), "");
    for (std::size_t i = 1; i < names.size(); ++i) {
      side->names[i] = naming == Naming::Mapped ? rules.interfaceMap->Map(names[i]) : names[i];
      side->interface[i] = side->names[i] == "Null0" ? kNull0
                           : naming == Naming::None
                               ? kUnnamed
                               : interfaceIds.emplace(side->names[i], interfaceIds.size() + kFirstName).first->second;
    }
    side->hopVrf.clear();
    for (const auto& name : side->table.hopVrfs)
      side->hopVrf.push_back(vrfIds.emplace(name, vrfIds.size()).first->second);
  }
}

int CompareKeys(const Side& sa, const Route& a, const Side& sb, const Route& b) {
  if (sa.vrfRank[a.vrf] != sb.vrfRank[b.vrf]) return sa.vrfRank[a.vrf] < sb.vrfRank[b.vrf] ? -1 : 1;
  if ((a.flags ^ b.flags) & kV6) return a.Is(kV6) ? 1 : -1;
  const Address x = sa.table.Prefix(a), y = sb.table.Prefix(b);
  const auto kx = std::tie(x.hi, x.lo, a.length), ky = std::tie(y.hi, y.lo, b.length);
  return kx < ky ? -1 : ky < kx ? 1 : 0;
}

std::string HopText(const Table& table, const Route& route, const Hop& hop) {
  std::string text = hop.hasAddress ? FormatAddress(table.HopAddress(hop)) : "";
  if (hop.vrf != 0) text += " (vrf " + table.hopVrfs[hop.vrf] + ")";
  if (hop.interface != 0) text += (text.empty() ? "" : " ") + table.interfaces[hop.interface];
  if (hop.ownBracket)
    text +=
        " [" + std::to_string(table.HopDistance(route, hop)) + "/" + std::to_string(table.HopMetric(route, hop)) + "]";
  if (hop.backup) text += " (backup)";
  return text;
}

SideRecord SideOf(const Table& table, std::uint32_t index) {
  SideRecord view;
  if (index == kAbsent) return view;
  const Route& route = table.routes[index];
  view.present = true;
  // A candidate default's "*" stands after the code, as Cisco prints it: "S*", "O*E2".
  bool starred = !route.Is(kCandidate);
  for (const char* c = route.protocol; c < route.protocol + sizeof route.protocol && *c; ++c) {
    if (*c == ' ' && !starred) {
      view.protocol += '*';
      starred = true;
    } else {
      view.protocol += *c;
    }
  }
  if (!starred) view.protocol += '*';
  if (route.Is(kBracket)) {
    view.bracket.append("[").append(std::to_string(route.distance)).append("/");
    view.bracket.append(std::to_string(route.metric)).append("]");
  }
  for (std::uint32_t i = route.firstHop; i < route.firstHop + route.hopCount; ++i)
    view.hops.push_back(HopText(table, route, table.hops[i]));
  std::sort(view.hops.begin(), view.hops.end());
  view.hops.erase(std::unique(view.hops.begin(), view.hops.end()), view.hops.end());
  view.file = table.sources[route.source].name;
  view.log = route.source;
  view.line = route.line;
  view.route = index;
  return view;
}

// Whether a side read no route from logs that hold more than blank lines.
bool Unread(const Table& table) {
  if (!table.routes.empty()) return false;
  for (const Source& source : table.sources)
    if (source.Lines() > source.Count(LineKind::Blank)) return true;
  return false;
}

// The interfaces of a side that no line of the map knows, once each with
// the number of next hops that name them.
void WarnUnknownInterfaces(const Side& side, char name, const Rules& rules, std::vector<std::string>& warnings) {
  std::vector<std::uint64_t> uses(side.table.interfaces.size());
  for (const Hop& hop : side.table.hops) ++uses[hop.interface];
  for (std::size_t i = 1; i < uses.size(); ++i)
    if (uses[i] && side.interface[i] != kNull0 && !rules.interfaceMap->Knows(side.table.interfaces[i]))
      warnings.push_back("interface " + side.table.interfaces[i] + " (" + name + ", " + std::to_string(uses[i]) +
                         " next hops) matches no line of the interface map; compared as it is");
}

}  // namespace

Naming NamingOf(const Table& a, const Table& b, const Rules& rules) {
  if (rules.ignoreInterfaces) return Naming::None;
  if (rules.interfaceMap) return Naming::Mapped;
  return a.layout == b.layout && a.layout != Layout::Unknown ? Naming::Exact : Naming::None;
}

Comparison Compare(const Table& a, const Table& b, const Rules& rules, const std::function<void()>& onStep) {
  Side sa{a, {}, {}, {}, {}}, sb{b, {}, {}, {}, {}};
  RankVrfs(sa, sb);
  NameSides(sa, sb, rules);
  Comparison result;
  const auto& ra = a.routes;
  const auto& rb = b.routes;
  // Tallies by VRF rank and by protocol code, named once compared.
  std::vector<Tally> byVrf(sa.vrfRank.size() + sb.vrfRank.size());
  std::vector<std::string> vrfNames(byVrf.size());
  std::unordered_map<std::uint64_t, Tally> byProtocol;
  auto protocolKey = [](const Route& r) {
    std::uint64_t key = 0;
    std::memcpy(&key, r.protocol, sizeof r.protocol);
    return key;
  };
  auto add = [&](std::uint32_t x, std::uint32_t y, std::uint8_t kinds) {
    result.diffs.push_back({x, y, kinds});
    for (int k = 0; k < kDiffKinds; ++k) result.perKind[k] += (kinds >> k) & 1;
  };
  std::size_t i = 0, j = 0;
  for (std::uint32_t step = 1;; ++step) {
    if (onStep && step % 65536 == 0) onStep();
    while (i < ra.size() && Skipped(ra[i], rules)) ++i, ++result.ignored[0];
    while (j < rb.size() && Skipped(rb[j], rules)) ++j, ++result.ignored[1];
    if (i == ra.size() && j == rb.size()) break;
    const int order = i == ra.size() ? 1 : j == rb.size() ? -1 : CompareKeys(sa, ra[i], sb, rb[j]);
    const Route& route = order <= 0 ? ra[i] : rb[j];
    const std::uint32_t rank = order <= 0 ? sa.vrfRank[route.vrf] : sb.vrfRank[route.vrf];
    Tally& vrf = byVrf[rank];
    Tally& protocol = byProtocol[protocolKey(route)];
    if (vrfNames[rank].empty()) vrfNames[rank] = (order <= 0 ? a : b).vrfs[route.vrf];
    if (order < 0) {
      add(static_cast<std::uint32_t>(i++), kAbsent, kOnlyA);
      ++result.onlyA, ++result.routes[0], ++vrf.onlyA, ++protocol.onlyA, ++vrf.routes[0], ++protocol.routes[0];
    } else if (order > 0) {
      add(kAbsent, static_cast<std::uint32_t>(j++), kOnlyB);
      ++result.onlyB, ++result.routes[1], ++vrf.onlyB, ++protocol.onlyB, ++vrf.routes[1], ++protocol.routes[1];
    } else {
      bool unnamed = false;
      const std::uint8_t kinds = Differences(sa, ra[i], sb, rb[j], rules, &unnamed);
      result.interfacesNotCompared += unnamed && !rules.ignoreInterfaces;
      if (kinds) {
        add(static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(j), kinds);
        ++result.differ, ++vrf.differ, ++protocol.differ;
      } else {
        ++result.same, ++vrf.same, ++protocol.same;
      }
      ++i, ++j, ++result.routes[0], ++result.routes[1];
      ++vrf.routes[0], ++vrf.routes[1], ++protocol.routes[0], ++protocol.routes[1];
    }
  }
  for (std::size_t k = 0; k < byVrf.size(); ++k)
    if (byVrf[k].routes[0] + byVrf[k].routes[1]) result.byVrf[vrfNames[k]] = byVrf[k];
  for (const auto& [key, tally] : byProtocol) {
    char code[sizeof key + 1] = {};
    std::memcpy(code, &key, sizeof key);
    result.byProtocol[code] = tally;
  }
  if (rules.accepted) {
    std::vector<bool> used(rules.accepted->Entries().size());
    for (RouteDiff& diff : result.diffs) {
      const Table& t = diff.a != kAbsent ? a : b;
      const Route& r = t.routes[diff.a != kAbsent ? diff.a : diff.b];
      const int entry = rules.accepted->Find(t.vrfs[r.vrf], t.Prefix(r), r.length, diff.kinds);
      if (entry < 0) continue;
      diff.accepted = used[entry] = true;
      ++result.accepted;
      Tally& vrf = result.byVrf[t.vrfs[r.vrf]];
      ++vrf.accepted;
      char code[sizeof r.protocol + 1] = {};
      std::memcpy(code, r.protocol, sizeof r.protocol);
      ++result.byProtocol[code].accepted;
    }
    for (std::size_t k = 0; k < used.size(); ++k) {
      if (used[k]) continue;
      const AcceptList::Entry& e = rules.accepted->Entries()[k];
      result.warnings.push_back(rules.accepted->Name() + ":" + std::to_string(e.line) + ": the accepted difference " +
                                (e.anyVrf ? "" : "vrf " + e.vrf + " ") + FormatPrefix(e.prefix, e.length) +
                                " no longer occurs");
    }
  }
  if (rules.CompareInterfaces()) {
    WarnUnknownInterfaces(sa, 'A', rules, result.warnings);
    WarnUnknownInterfaces(sb, 'B', rules, result.warnings);
  }
  result.unread[0] = Unread(a);
  result.unread[1] = Unread(b);
  return result;
}

std::optional<std::uint32_t> FindRoute(const Table& table, const std::string& vrf, const Address& prefix, int length,
                                       bool shorter) {
  const auto name = std::lower_bound(table.vrfs.begin(), table.vrfs.end(), vrf);
  if (name == table.vrfs.end() || *name != vrf) return std::nullopt;
  const auto id = static_cast<std::uint16_t>(name - table.vrfs.begin());
  for (int l = shorter ? length - 1 : length; l >= 0; --l) {
    const Address want = Masked(prefix, l);
    auto key = [&](const Route& r) {
      const Address p = table.Prefix(r);
      return std::make_tuple(r.vrf, r.Is(kV6), p.hi, p.lo, static_cast<int>(r.length));
    };
    const auto wanted = std::make_tuple(id, want.v6, want.hi, want.lo, l);
    const auto found = std::lower_bound(table.routes.begin(), table.routes.end(), wanted,
                                        [&](const Route& r, const auto& w) { return key(r) < w; });
    if (found != table.routes.end() && key(*found) == wanted)
      return static_cast<std::uint32_t>(found - table.routes.begin());
    if (!shorter) break;
  }
  return std::nullopt;
}

struct Describer::Sides {
  Side a, b;
};

Describer::Describer(const Table& a, const Table& b, const Comparison& comparison, const Rules& rules, bool covering)
    : comparison_(comparison),
      rules_(rules),
      covering_(covering),
      sides_(new Sides{{a, {}, {}, {}, {}}, {b, {}, {}, {}, {}}}) {
  NameSides(sides_->a, sides_->b, rules);
}

Describer::~Describer() = default;

DiffRecord Describer::Record(const RouteDiff& diff) const {
  const Side& sa = sides_->a;
  const Side& sb = sides_->b;
  const Table& a = sa.table;
  const Table& b = sb.table;
  DiffRecord record;
  record.status = diff.kinds & kOnlyA   ? DiffStatus::OnlyA
                  : diff.kinds & kOnlyB ? DiffStatus::OnlyB
                                        : DiffStatus::Differs;
  record.kinds = diff.kinds;
  for (int k = 2; k < kDiffKinds; ++k)
    if (diff.kinds & (1 << k)) record.differences.emplace_back(kDiffKindNames[k]);
  record.side[0] = SideOf(a, diff.a);
  record.side[1] = SideOf(b, diff.b);
  const Table& table = diff.a != kAbsent ? a : b;
  const Route& route = table.routes[diff.a != kAbsent ? diff.a : diff.b];
  record.vrf = table.vrfs[route.vrf];
  record.v6 = route.Is(kV6);
  record.prefix = FormatPrefix(table.Prefix(route), route.length);
  record.accepted = diff.accepted;
  if (diff.accepted && rules_.accepted) {
    const int entry = rules_.accepted->Find(record.vrf, table.Prefix(route), route.length, diff.kinds);
    if (entry >= 0) record.acceptedBy = rules_.accepted->Entries()[entry].line;
  }
  if (diff.a != kAbsent && diff.b != kAbsent && (diff.kinds & (kHops | kInterface))) {
    std::vector<std::uint32_t> removed, added;
    const Route& ra = a.routes[diff.a];
    const Route& rb = b.routes[diff.b];
    Differences(sa, ra, sb, rb, rules_, nullptr, &removed, &added);
    if (diff.kinds & kInterface) {
      // The same addresses in the same order on both sides: each pair is one next hop.
      for (std::size_t k = 0; k < removed.size() && k < added.size(); ++k)
        record.interfaces.emplace_back(sa.names[a.hops[removed[k]].interface], sb.names[b.hops[added[k]].interface]);
    } else {
      for (const auto k : removed) record.removed.push_back(HopText(a, ra, a.hops[k]));
      for (const auto k : added) record.added.push_back(HopText(b, rb, b.hops[k]));
    }
  }
  if (covering_ && (diff.a == kAbsent || diff.b == kAbsent)) {
    const Table& other = diff.a == kAbsent ? a : b;
    if (const auto found = FindRoute(other, record.vrf, table.Prefix(route), route.length, true)) {
      const SideRecord cover = SideOf(other, *found);
      const Route& r = other.routes[*found];
      record.covering = FormatPrefix(other.Prefix(r), r.length) + " " + cover.protocol +
                        (cover.bracket.empty() ? "" : " " + cover.bracket);
      for (std::size_t k = 0; k < cover.hops.size(); ++k) record.covering += (k ? ", " : " ") + cover.hops[k];
    }
  }
  return record;
}

}  // namespace kestrel::compare
