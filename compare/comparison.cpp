#include "comparison.h"

#include <algorithm>
#include <cstring>
#include <tuple>
#include <unordered_map>

namespace kestrel::compare {

const char* const kDiffKindNames[kDiffKinds] = {"only-a", "only-b",   "next-hops",        "distance",
                                                "metric", "protocol", "candidate-default"};

namespace {

// A next hop as compared: its address (family 0 when it has none) and, when
// interfaces are compared, its interface's mapped name as a number common to
// both sides (0: none, or not compared).
struct HopKey {
  std::uint8_t family;
  std::uint64_t hi, lo;
  std::uint32_t interface;
  std::uint32_t index;  // into the table's hops
  auto Address() const { return std::tie(family, hi, lo); }
};

// What the comparison needs of one side beyond its table.
struct Side {
  const Table& table;
  std::vector<std::uint32_t> vrfRank;    // the VRF's place among both sides' names
  std::vector<std::uint32_t> interface;  // mapped name's number, per interface
};

bool Skipped(const Route& route, const Rules& rules) {
  return route.Is(kDuplicate) || (rules.ignoreLocal && route.Local());
}

void CollectHops(const Side& side, const Route& route, bool interfaces, std::vector<HopKey>& out) {
  out.clear();
  for (std::uint32_t i = route.firstHop; i < route.firstHop + route.hopCount; ++i) {
    const Hop& hop = side.table.hops[i];
    const Address a = side.table.HopAddress(hop);
    // Without a map the interface counts only where no address is given,
    // and then not by name: vendors name them differently.
    out.push_back({static_cast<std::uint8_t>(hop.hasAddress ? 1 + hop.v6 : 0), hop.hasAddress ? a.hi : 0,
                   hop.hasAddress ? a.lo : 0, interfaces ? side.interface[hop.interface] : 0, i});
  }
  auto key = [](const HopKey& h) { return std::tie(h.family, h.hi, h.lo, h.interface); };
  std::sort(out.begin(), out.end(), [&](const HopKey& x, const HopKey& y) { return key(x) < key(y); });
  out.erase(std::unique(out.begin(), out.end(), [&](const HopKey& x, const HopKey& y) { return key(x) == key(y); }),
            out.end());
}

// Whether the two sets of next hops differ; the hops only in A and only in
// B go to `removed` and `added` when given. An interface missing on one side
// (a recursive route prints none) matches any.
bool HopDelta(const std::vector<HopKey>& a, const std::vector<HopKey>& b, std::vector<std::uint32_t>* removed,
              std::vector<std::uint32_t>* added) {
  bool differ = false;
  std::size_t i = 0, j = 0;
  while (i < a.size() || j < b.size()) {
    bool takeA = j == b.size(), takeB = i == a.size();
    if (!takeA && !takeB) {
      const auto& x = a[i];
      const auto& y = b[j];
      if (x.Address() != y.Address()) {
        takeA = x.Address() < y.Address(), takeB = !takeA;
      } else if (x.interface != y.interface && x.interface != 0 && y.interface != 0) {
        takeA = x.interface < y.interface, takeB = !takeA;
      }
    }
    if (takeA && removed) removed->push_back(a[i].index);
    if (takeB && added) added->push_back(b[j].index);
    differ |= takeA || takeB;
    i += !takeB;
    j += !takeA;
  }
  return differ;
}

std::uint8_t Differences(const Side& sa, const Route& a, const Side& sb, const Route& b, const Rules& rules,
                         std::vector<std::uint32_t>* removed = nullptr, std::vector<std::uint32_t>* added = nullptr) {
  static thread_local std::vector<HopKey> hopsA, hopsB;
  std::uint8_t kinds = 0;
  CollectHops(sa, a, rules.CompareInterfaces(), hopsA);
  CollectHops(sb, b, rules.CompareInterfaces(), hopsB);
  if (HopDelta(hopsA, hopsB, removed, added)) kinds |= kHops;
  const bool one = a.Is(kBracket) != b.Is(kBracket);
  if ((a.Is(kBracket) && b.Is(kBracket)) || (one && rules.vendorDefaults)) {
    const bool staticRoute = a.protocol[0] == 'S' && b.protocol[0] == 'S';
    if (!rules.ignoreDistance && (one || a.distance != b.distance)) kinds |= kDistance;
    if (!rules.ignoreMetric && (one || a.metric != b.metric) && (!staticRoute || rules.vendorDefaults))
      kinds |= kMetric;
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

void MapInterfaces(Side& side, const Rules& rules, std::unordered_map<std::string, std::uint32_t>& ids) {
  side.interface.assign(side.table.interfaces.size(), 0);
  if (!rules.CompareInterfaces()) return;
  for (std::size_t i = 1; i < side.table.interfaces.size(); ++i)
    side.interface[i] = ids.emplace(rules.interfaceMap->Map(side.table.interfaces[i]), ids.size() + 1).first->second;
}

int CompareKeys(const Side& sa, const Route& a, const Side& sb, const Route& b) {
  if (sa.vrfRank[a.vrf] != sb.vrfRank[b.vrf]) return sa.vrfRank[a.vrf] < sb.vrfRank[b.vrf] ? -1 : 1;
  if ((a.flags ^ b.flags) & kV6) return a.Is(kV6) ? 1 : -1;
  const Address x = sa.table.Prefix(a), y = sb.table.Prefix(b);
  const auto kx = std::tie(x.hi, x.lo, a.length), ky = std::tie(y.hi, y.lo, b.length);
  return kx < ky ? -1 : ky < kx ? 1 : 0;
}

std::string HopText(const Table& table, const Hop& hop) {
  std::string text = hop.hasAddress ? FormatAddress(table.HopAddress(hop)) : "";
  if (hop.interface != 0) text += (text.empty() ? "" : " ") + table.interfaces[hop.interface];
  return text;
}

SideView View(const Table& table, std::uint32_t index) {
  SideView view;
  if (index == kAbsent) return view;
  const Route& route = table.routes[index];
  view.present = true;
  // A candidate default's "*" stands after the code, as Cisco prints it: "S*", "O*E2".
  bool starred = !route.Is(kCandidate);
  for (const char* c = route.protocol; *c; ++c) {
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
    view.hops.push_back(HopText(table, table.hops[i]));
  std::sort(view.hops.begin(), view.hops.end());
  view.hops.erase(std::unique(view.hops.begin(), view.hops.end()), view.hops.end());
  view.file = table.sources[route.source].name;
  view.line = route.line;
  return view;
}

}  // namespace

Comparison Compare(const Table& a, const Table& b, const Rules& rules) {
  Side sa{a, {}, {}}, sb{b, {}, {}};
  RankVrfs(sa, sb);
  std::unordered_map<std::string, std::uint32_t> interfaceIds;
  MapInterfaces(sa, rules, interfaceIds);
  MapInterfaces(sb, rules, interfaceIds);
  Comparison result;
  const auto& ra = a.routes;
  const auto& rb = b.routes;
  std::size_t i = 0, j = 0;
  auto add = [&](std::uint32_t x, std::uint32_t y, std::uint8_t kinds) {
    result.diffs.push_back({x, y, kinds});
    for (int k = 0; k < kDiffKinds; ++k) result.perKind[k] += (kinds >> k) & 1;
  };
  while (true) {
    while (i < ra.size() && Skipped(ra[i], rules)) ++i, ++result.ignored[0];
    while (j < rb.size() && Skipped(rb[j], rules)) ++j, ++result.ignored[1];
    if (i == ra.size() && j == rb.size()) break;
    const int order = i == ra.size() ? 1 : j == rb.size() ? -1 : CompareKeys(sa, ra[i], sb, rb[j]);
    if (order < 0) {
      add(static_cast<std::uint32_t>(i++), kAbsent, kOnlyA);
      ++result.onlyA, ++result.routes[0];
    } else if (order > 0) {
      add(kAbsent, static_cast<std::uint32_t>(j++), kOnlyB);
      ++result.onlyB, ++result.routes[1];
    } else {
      const std::uint8_t kinds = Differences(sa, ra[i], sb, rb[j], rules);
      if (kinds) {
        add(static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(j), kinds);
        ++result.differ;
      } else {
        ++result.same;
      }
      ++i, ++j, ++result.routes[0], ++result.routes[1];
    }
  }
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

DiffView Describe(const Table& a, const Table& b, const RouteDiff& diff, const Rules& rules, bool covering) {
  DiffView view;
  view.kinds = diff.kinds;
  view.side[0] = View(a, diff.a);
  view.side[1] = View(b, diff.b);
  const Table& table = diff.a != kAbsent ? a : b;
  const Route& route = table.routes[diff.a != kAbsent ? diff.a : diff.b];
  view.vrf = table.vrfs[route.vrf];
  view.v6 = route.Is(kV6);
  view.prefix = FormatPrefix(table.Prefix(route), route.length);
  if (diff.a != kAbsent && diff.b != kAbsent && (diff.kinds & kHops)) {
    Side sa{a, {}, {}}, sb{b, {}, {}};
    std::unordered_map<std::string, std::uint32_t> ids;
    MapInterfaces(sa, rules, ids);
    MapInterfaces(sb, rules, ids);
    std::vector<std::uint32_t> removed, added;
    Differences(sa, a.routes[diff.a], sb, b.routes[diff.b], rules, &removed, &added);
    for (const auto i : removed) view.removed.push_back(HopText(a, a.hops[i]));
    for (const auto i : added) view.added.push_back(HopText(b, b.hops[i]));
  }
  if (covering && (diff.a == kAbsent || diff.b == kAbsent)) {
    const Table& other = diff.a == kAbsent ? a : b;
    if (const auto found = FindRoute(other, view.vrf, table.Prefix(route), route.length, true)) {
      const SideView cover = View(other, *found);
      const Route& r = other.routes[*found];
      view.covering = FormatPrefix(other.Prefix(r), r.length) + " " + cover.protocol +
                      (cover.bracket.empty() ? "" : " " + cover.bracket);
      for (std::size_t k = 0; k < cover.hops.size(); ++k) view.covering += (k ? ", " : " ") + cover.hops[k];
    }
  }
  return view;
}

}  // namespace kestrel::compare
