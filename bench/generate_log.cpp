// kestrel-generate-log: a synthetic NEC IX `show ip route` log for the
// benchmark, with every kind of line the converter treats differently: the
// legend, connected routes, routes through an interface and through none,
// and multipath continuations. The same arguments give the same bytes.
//
//   kestrel-generate-log ROUTES [--crlf] [--pad BYTES]
//
// --pad adds a last field of BYTES bytes to every route line (long lines).

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  long routes = argc > 1 ? std::atol(argv[1]) : 1000000;
  const char* end = "\n";
  std::string pad;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--crlf") == 0) end = "\r\n";
    if (std::strcmp(argv[i], "--pad") == 0 && i + 1 < argc) pad = ", " + std::string(std::atol(argv[++i]), 'x');
  }
  std::printf(
      "Router#show ip route%s"
      "Codes: C - connected, S - static, R - RIP, O - OSPF, IA - OSPF inter area%s"
      "       E1 - OSPF external type 1, E2 - OSPF external type 2, B - BGP%s%s",
      end, end, end, end);
  static const char* const kInterfaces[] = {
      "GigaEthernet0.0", "FastEthernet2.0", "Tunnel1.0", "Loopback0.0", "VirtualTemplate1.1", "BVI1", "Null0"};
  for (long i = 0; i < routes; ++i) {
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "10.%ld.%ld.%ld/32", i >> 16 & 255, i >> 8 & 255, i & 255);
    const char* iface = kInterfaces[i % 7];
    switch (i % 5) {
      case 0: std::printf("C       %s is directly connected, %s, 1d02h%s%s", prefix, iface, pad.c_str(), end); break;
      case 1: {  // a multipath route: continuations stand under the first " via "
        char head[64];
        const int via = std::snprintf(head, sizeof head, "O IA    %s [110/%ld]", prefix, i % 90 + 10);
        std::printf("%s via 192.168.0.1, %s, 0:01:02%s%s", head, iface, pad.c_str(), end);
        for (int k = 2; k <= 3; ++k)
          std::printf("%*s via 192.168.0.%d, %s, 0:01:02%s%s", via, "", k, kInterfaces[(i + k) % 7], pad.c_str(), end);
        break;
      }
      default:
        std::printf("B       %s [20/0] via 172.16.%ld.1, %s, 3w2d%s%s", prefix, i % 250, iface, pad.c_str(), end);
    }
  }
  std::printf("Router#%s", end);
  return 0;
}
