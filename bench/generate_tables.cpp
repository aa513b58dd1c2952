// kestrel-generate-tables: one random routing table rendered twice, as an
// NEC IX router prints it and as a Cisco IOS router prints it, with known
// differences injected into the Cisco side. For kestrel-compare's benchmark
// and its end-to-end test. The same arguments give the same bytes.
//
//   kestrel-generate-tables ROUTES SEED DIR [PER-MILLE]
//
// writes DIR/ix.log, DIR/cisco.log and DIR/expected.csv: the injected
// differences as "prefix,status,differences", in prefix order, as
// kestrel-compare's CSV report writes those three columns. PER-MILLE (default
// 5) is how many routes in a thousand differ. Everything else differs only
// as the vendors differ: line order, next-hop order, ages, interface names,
// a static route's metric, a connected route's bracket, Cisco's local routes
// and classful summary lines, a head wrapped onto the next line, multipath
// routes whose first interface is none of the five families the converter
// swaps (whose continuation lines must still take their own route's bracket).

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace {

const char* const kIxInterfaces[] = {"GigaEthernet0.0", "GigaEthernet1.0",    "GigaEthernet2.0", "FastEthernet2.0",
                                     "Tunnel1.0",       "VirtualTemplate1.1", "Loopback0.0",     "BVI1"};
const char* const kCiscoInterfaces[] = {"GigabitEthernet0/0",
                                        "GigabitEthernet1/0",
                                        "GigabitEthernet2/0",
                                        "FastEthernet2/0",
                                        "Tunnel1",
                                        "Virtual-Template1",
                                        "Loopback0",
                                        "BVI1"};
constexpr int kBvi = 7;
const char* const kIxAges[] = {"0:01:02", "15:21:33", "12d03h", "5w2d", "40d01h"};
const char* const kCiscoAges[] = {"00:12:01", "1d02h", "2w0d", "3y45w", "18:04:59"};

enum Kind { kConnected, kStaticVia, kStaticNull, kOspf, kBgp };
enum Diff { kNone, kOnlyA, kOnlyB, kHops, kDistance, kMetric, kProtocol, kDiffs };
const char* const kExpected[] = {
    "", "only-a,", "only-b,", "differs,next-hops", "differs,distance", "differs,metric", "differs,protocol"};

struct Hop {
  unsigned address;
  int interface;
};

struct Route {
  unsigned address;
  int length;
  Kind kind;
  std::string code;  // as both print it, "O IA"
  int distance;
  unsigned metric;
  std::vector<Hop> hops;
  Diff diff = kNone;
};

std::string Ip(unsigned a) {
  return std::to_string(a >> 24) + "." + std::to_string(a >> 16 & 255) + "." + std::to_string(a >> 8 & 255) + "." +
         std::to_string(a & 255);
}

std::string Bracket(int distance, unsigned metric) {
  return std::string("[").append(std::to_string(distance)).append("/").append(std::to_string(metric)).append("]");
}

std::string Pad(std::string s, std::size_t width) {
  return s.size() < width ? s + std::string(width - s.size(), ' ') : s + " ";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: kestrel-generate-tables ROUTES SEED DIR [PER-MILLE]\n");
    return 2;
  }
  const long count = std::atol(argv[1]);
  std::mt19937_64 random(std::strtoull(argv[2], nullptr, 10));
  const std::string dir = argv[3];
  const int perMille = argc > 4 ? std::atoi(argv[4]) : 5;
  auto pick = [&](int n) { return static_cast<int>(random() % n); };

  // Each route takes a /24 block of its own in 10/8, 11/8 and so on, so
  // that no two prefixes collide; the blocks are scrambled for disorder.
  std::vector<Route> routes;
  auto block = [&](long i) { return 0x0A000000u + (static_cast<unsigned>(i * 2654435761u) & 0x3FFFFFu) * 256; };
  for (long i = 0; i <= count; ++i) {
    Route r;
    static const int kLengths[] = {24, 24, 24, 25, 26, 28, 30, 32};
    r.address = i == count ? 0 : block(i);  // the last is the default route
    r.length = i == count ? 0 : kLengths[pick(8)];
    const int kind = pick(10);
    r.kind = kind < 2 ? kConnected : kind < 3 ? kStaticVia : kind < 4 ? kStaticNull : kind < 8 ? kOspf : kBgp;
    if (i == count) r.kind = kStaticVia;
    static const char* const kOspfCodes[] = {"O", "O IA", "O E2", "O E1"};
    r.code = r.kind == kConnected ? "C" : r.kind == kOspf ? kOspfCodes[pick(4)] : r.kind == kBgp ? "B" : "S";
    r.distance = r.kind == kOspf ? 110 : r.kind == kBgp ? (pick(2) ? 20 : 200) : r.kind == kConnected ? 0 : 1;
    r.metric = r.kind == kOspf ? 1 + pick(3000) : r.kind == kBgp ? pick(3) * 10 : 0;
    const int hops = r.kind == kOspf ? 1 + pick(4) : r.kind == kConnected || r.kind == kStaticNull ? 0 : 1;
    for (int h = 0; h < hops; ++h) r.hops.push_back({0xC0A80000u + (h * 17 + pick(250)) % 65000 + 1, pick(7)});
    if (r.kind == kOspf && hops > 1 && pick(8) == 0) r.hops[0].interface = kBvi;
    if (r.kind == kConnected) r.hops.push_back({0, pick(7)});
    routes.push_back(r);
  }
  // The injected differences, spread evenly over the kinds that apply.
  for (Route& r : routes) {
    if (r.length == 0 || pick(1000) >= perMille) continue;
    const Diff d = static_cast<Diff>(1 + pick(kDiffs - 1));
    const bool via = r.kind == kOspf || r.kind == kBgp || r.kind == kStaticVia;
    if ((d == kHops || d == kDistance) && !via) continue;
    if ((d == kMetric || d == kProtocol) && r.kind != kOspf) continue;
    r.diff = d;
  }
  for (long i = 0; i < count * perMille / 2000; ++i) {  // routes the Cisco router alone has
    Route r = routes[pick(static_cast<int>(count))];
    r.address = block(count + 1 + i);
    r.diff = kOnlyB;
    routes.push_back(r);
  }
  for (Route& r : routes) r.address &= r.length == 0 ? 0 : ~0u << (32 - r.length);

  // The IX in its own order: the routes as they come.
  std::FILE* ix = std::fopen((dir + "/ix.log").c_str(), "wb");
  std::FILE* cisco = std::fopen((dir + "/cisco.log").c_str(), "wb");
  std::FILE* expected = std::fopen((dir + "/expected.csv").c_str(), "wb");
  if (!ix || !cisco || !expected) return std::perror(dir.c_str()), 1;
  long entries = 0, perProtocol[5] = {};
  for (const Route& r : routes) {
    if (r.diff == kOnlyB) continue;
    ++entries;
    perProtocol[r.kind == kConnected ? 0 : r.kind == kOspf ? 3 : r.kind == kBgp ? 4 : 1]++;
  }
  std::fprintf(ix, "ix2215# show ip route\nIP Routing Table - %ld entries, 0 hidden, %ld frees\n", entries,
               4096 - entries % 4096);
  std::fprintf(ix, "Entries: %ld Connected, %ld Static, 0 RIP, %ld OSPF, %ld BGP\n", perProtocol[0], perProtocol[1],
               perProtocol[3], perProtocol[4]);
  std::fprintf(ix,
               "Codes: C - Connected, S - Static, R - RIP, O - OSPF, IA - OSPF inter area\n"
               "       N1 - OSPF NSSA external type 1, N2 - OSPF NSSA external type 2\n"
               "       E1 - OSPF external type 1, E2 - OSPF external type 2, B - BGP\n"
               "       * - Candidate default, s - Summary\nTimers: Age\n\n");
  for (const Route& r : routes) {
    if (r.diff == kOnlyB) continue;
    const std::string head =
        Pad(r.code + (r.length == 0 ? "*" : ""), 8) + Ip(r.address) + "/" + std::to_string(r.length);
    const std::string age = kIxAges[pick(5)];
    const int static_metric = r.kind == kStaticVia || r.kind == kStaticNull ? 1 : r.kind == kConnected ? 1 : r.metric;
    const std::string bracket = Bracket(r.distance, static_metric);
    if (r.kind == kConnected || r.kind == kStaticNull) {
      std::fprintf(ix, "%s %s is directly connected, %s, %s\n", head.c_str(), bracket.c_str(),
                   r.kind == kConnected ? kIxInterfaces[r.hops[0].interface] : "Null0", age.c_str());
      continue;
    }
    // The router's own order of next hops: reversed, against Cisco's.
    std::vector<Hop> hops(r.hops.rbegin(), r.hops.rend());
    if (!hops.empty() && r.hops[0].interface == kBvi) std::swap(hops.front(), hops.back());
    const std::string first = head + " " + bracket;
    for (std::size_t h = 0; h < hops.size(); ++h)
      std::fprintf(ix, "%s via %s, %s, %s\n", h == 0 ? first.c_str() : std::string(first.size(), ' ').c_str(),
                   Ip(hops[h].address).c_str(), kIxInterfaces[hops[h].interface], age.c_str());
  }
  std::fprintf(ix, "ix2215#\n");

  // Cisco: sorted, in classful groups, with the injected differences.
  std::sort(routes.begin(), routes.end(), [](const Route& a, const Route& b) {
    return std::tie(a.address, a.length) < std::tie(b.address, b.length);
  });
  std::fprintf(cisco,
               "R1#show ip route\nCodes: L - local, C - connected, S - static, R - RIP, M - mobile, B - BGP\n"
               "       D - EIGRP, EX - EIGRP external, O - OSPF, IA - OSPF inter area\n"
               "       E1 - OSPF external type 1, E2 - OSPF external type 2\n"
               "       * - candidate default, + - replicated route, %% - next hop override\n\n"
               "Gateway of last resort is 192.168.0.1 to network 0.0.0.0\n\n");
  unsigned group = ~0u;
  for (const Route& r : routes) {
    if (r.diff != kNone) std::fprintf(expected, "%s/%d,%s\n", Ip(r.address).c_str(), r.length, kExpected[r.diff]);
    if (r.diff == kOnlyA) continue;
    if (r.length > 0 && r.address >> 24 != group) {
      group = r.address >> 24;
      std::fprintf(cisco, "      %u.0.0.0/8 is variably subnetted, many subnets, 5 masks\n", group);
    }
    std::string code = r.code;
    int distance = r.distance;
    unsigned metric = r.metric;
    std::vector<Hop> hops = r.hops;
    if (r.diff == kProtocol) code = code == "O" ? "O IA" : "O";
    if (r.diff == kDistance) ++distance;
    if (r.diff == kMetric) metric += 7;
    if (r.diff == kHops) hops.back().address ^= 0x00000100u;
    const std::string head = Pad(code + (r.length == 0 ? "*" : ""), 9) + Ip(r.address) + "/" + std::to_string(r.length);
    if (r.kind == kConnected) {
      std::fprintf(cisco, "%s is directly connected, %s\n", head.c_str(), kCiscoInterfaces[hops[0].interface]);
      std::fprintf(cisco, "L        %s/32 is directly connected, %s\n", Ip(r.address + 1).c_str(),
                   kCiscoInterfaces[hops[0].interface]);
      continue;
    }
    if (r.kind == kStaticNull) {
      std::fprintf(cisco, "%s is directly connected, Null0\n", head.c_str());
      continue;
    }
    const std::string bracket = Bracket(distance, metric);
    const bool wrap = r.kind == kOspf && pick(50) == 0;  // a head too long for the line
    if (wrap) std::fprintf(cisco, "%s \n", head.c_str());
    const std::string indent(wrap ? 11 : head.size() + 1, ' ');
    for (std::size_t h = 0; h < hops.size(); ++h) {
      const std::string lead = h == 0 && !wrap ? head + " " : indent;
      if (r.kind == kStaticVia)
        std::fprintf(cisco, "%s%s via %s\n", lead.c_str(), bracket.c_str(), Ip(hops[h].address).c_str());
      else if (r.kind == kBgp)
        std::fprintf(cisco, "%s%s via %s, %s\n", lead.c_str(), bracket.c_str(), Ip(hops[h].address).c_str(),
                     kCiscoAges[pick(5)]);
      else
        std::fprintf(cisco, "%s%s via %s, %s, %s\n", lead.c_str(), bracket.c_str(), Ip(hops[h].address).c_str(),
                     kCiscoAges[pick(5)], kCiscoInterfaces[hops[h].interface]);
    }
  }
  std::fprintf(cisco, "R1#\n");
  std::fclose(ix);
  std::fclose(cisco);
  std::fclose(expected);
  return 0;
}
