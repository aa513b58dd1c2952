// kestrel-generate-log: writes a synthetic NEC IX `show ip route` log for
// benchmarking kestrel-convert.
//
//   kestrel-generate-log [-n ROUTES] [-o FILE] [--seed S] [--crlf]
//
// The log looks like a router carrying a full Internet table: a legend, the
// gateway of last resort, then routes in ascending address order grouped
// under "is (variably) subnetted" summary lines.  Most routes are BGP; the
// rest are OSPF, RIP, static and connected routes.  Some routes are multipath
// and carry continuation lines whose blank head reaches the " via " column of
// their first line.  Interfaces are mostly of the families the converter
// rewrites (GigaEthernet, FastEthernet, Tunnel, Loopback, VirtualTemplate),
// with a few outside them (BVI1, Null0, Port-channel1, dialer0).
//
// The output depends only on the route count and the seed: the generator
// uses its own PRNG and bounded-integer reduction, no <random> distributions,
// so the same arguments give the same bytes on every platform.

#include <charconv>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

// ---------------------------------------------------------------- PRNG

// xoshiro256** seeded through splitmix64.
class Rng {
public:
    explicit Rng(std::uint64_t seed)
    {
        for (auto& word : s_) {
            seed += 0x9e3779b97f4a7c15ULL;
            std::uint64_t z = seed;
            z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
            z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
            word = z ^ (z >> 31);
        }
    }

    std::uint64_t next()
    {
        const std::uint64_t result = rotl(s_[1] * 5, 7) * 9;
        const std::uint64_t t = s_[1] << 17;
        s_[2] ^= s_[0];
        s_[3] ^= s_[1];
        s_[1] ^= s_[2];
        s_[0] ^= s_[3];
        s_[2] ^= t;
        s_[3] = rotl(s_[3], 45);
        return result;
    }

    // Uniform in [0, bound); 0 < bound <= 2^32.  The tiny bias of the
    // multiply-shift reduction does not matter here.
    std::uint64_t below(std::uint64_t bound) { return ((next() >> 32) * bound) >> 32; }

    // Uniform in [lo, hi].
    std::uint64_t range(std::uint64_t lo, std::uint64_t hi) { return lo + below(hi - lo + 1); }

    // True with probability per_mille / 1000.
    bool chance(unsigned per_mille) { return below(1000) < per_mille; }

private:
    static std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
    std::uint64_t s_[4];
};

// Picks an index by integer weights.
template <std::size_t N>
std::size_t pick(Rng& rng, const unsigned (&weights)[N])
{
    unsigned total = 0;
    for (unsigned w : weights)
        total += w;
    auto r = static_cast<unsigned>(rng.below(total));
    for (std::size_t i = 0; i < N; ++i) {
        if (r < weights[i])
            return i;
        r -= weights[i];
    }
    return N - 1;
}

// ---------------------------------------------------------------- output

// Accumulates text in a large buffer and hands it to stdio in big blocks.
class Out {
public:
    Out(std::FILE* file, bool crlf) : file_(file), crlf_(crlf) { buf_.reserve(kCapacity + 4096); }

    void text(std::string_view s) { buf_.append(s); }
    void ch(char c) { buf_.push_back(c); }
    void blanks(std::size_t n) { buf_.append(n, ' '); }

    void num(std::uint64_t v)
    {
        char tmp[24];
        auto res = std::to_chars(tmp, tmp + sizeof tmp, v);
        buf_.append(tmp, res.ptr);
    }

    // Two-digit, zero-padded.
    void num2(unsigned v)
    {
        buf_.push_back(static_cast<char>('0' + v / 10 % 10));
        buf_.push_back(static_cast<char>('0' + v % 10));
    }

    void ipv4(std::uint32_t a)
    {
        num(a >> 24);
        ch('.');
        num((a >> 16) & 0xff);
        ch('.');
        num((a >> 8) & 0xff);
        ch('.');
        num(a & 0xff);
    }

    // Ends the current line; flushes when the buffer is full.
    void eol()
    {
        if (crlf_)
            buf_.push_back('\r');
        buf_.push_back('\n');
        if (buf_.size() >= kCapacity)
            flush();
    }

    // Column of the next character within the current line (0-based).
    std::size_t column() const { return buf_.size() - line_start(); }

    // Text of the current, unfinished line.
    std::string_view current_line() const
    {
        const std::size_t start = line_start();
        return std::string_view(buf_).substr(start);
    }

    bool flush()
    {
        if (!buf_.empty() && std::fwrite(buf_.data(), 1, buf_.size(), file_) != buf_.size())
            ok_ = false;
        buf_.clear();
        return ok_;
    }

    bool ok() const { return ok_; }

private:
    std::size_t line_start() const
    {
        const std::size_t nl = buf_.rfind('\n');
        return nl == std::string::npos ? 0 : nl + 1;
    }

    static constexpr std::size_t kCapacity = 1 << 20;
    std::FILE* file_;
    bool crlf_;
    bool ok_ = true;
    std::string buf_;
};

// ---------------------------------------------------------------- content

constexpr std::uint32_t ip(unsigned a, unsigned b, unsigned c, unsigned d)
{
    return (a << 24) | (b << 16) | (c << 8) | d;
}

struct Prefix {
    std::uint32_t addr;
    unsigned len;
};

enum class Kind { Bgp, IBgp, Ospf, OspfIa, OspfE1, OspfE2, OspfN1, OspfN2, Rip, Static, Connected };

// Route codes, already padded to the 8-column code field.
std::string_view code_of(Kind k)
{
    switch (k) {
    case Kind::Bgp:
    case Kind::IBgp: return "B       ";
    case Kind::Ospf: return "O       ";
    case Kind::OspfIa: return "O IA    ";
    case Kind::OspfE1: return "O E1    ";
    case Kind::OspfE2: return "O E2    ";
    case Kind::OspfN1: return "O N1    ";
    case Kind::OspfN2: return "O N2    ";
    case Kind::Rip: return "R       ";
    case Kind::Static: return "S       ";
    case Kind::Connected: return "C       ";
    }
    return "B       ";
}

// eBGP peers and iBGP next hops of the simulated router.
constexpr std::uint32_t kEbgpPeers[] = {
    ip(192, 168, 10, 1), ip(192, 168, 10, 5), ip(203, 0, 113, 1), ip(198, 51, 100, 9), ip(192, 168, 20, 1),
};
constexpr std::uint32_t kIbgpPeers[] = {ip(10, 255, 0, 1), ip(10, 255, 0, 2), ip(10, 255, 0, 3)};
constexpr std::uint32_t kIgpNeighbours[] = {
    ip(192, 168, 0, 1), ip(192, 168, 0, 2), ip(10, 0, 1, 2), ip(10, 0, 2, 2), ip(172, 16, 0, 254),
};

void interface_name(Out& out, Rng& rng, bool connected)
{
    // Weights: GigaEthernet, FastEthernet, Tunnel, Loopback, VirtualTemplate,
    // then the families the converter leaves alone.
    static constexpr unsigned kRoute[] = {820, 50, 50, 0, 20, 15, 15, 15, 15};
    static constexpr unsigned kConnected[] = {500, 100, 100, 200, 50, 20, 0, 20, 10};
    switch (pick(rng, connected ? kConnected : kRoute)) {
    case 0:
        out.text("GigaEthernet");
        out.num(rng.below(4));
        out.ch('.');
        out.num(rng.chance(700) ? rng.below(2) : rng.below(32));
        break;
    case 1:
        out.text("FastEthernet");
        out.num(rng.below(2));
        out.text("/");
        out.num(rng.below(4));
        out.text(".0");
        break;
    case 2:
        out.text("Tunnel");
        out.num(rng.below(16));
        out.text(".0");
        break;
    case 3:
        out.text("Loopback");
        out.num(rng.below(3));
        out.text(".0");
        break;
    case 4:
        out.text("VirtualTemplate");
        out.num(rng.below(2));
        out.text(".0");
        break;
    case 5: out.text("BVI1"); break;
    case 6: out.text("Null0"); break;
    case 7: out.text("Port-channel1"); break;
    default: out.text("dialer0"); break;
    }
}

// Route age in the router's three forms: h:mm:ss under a day, XdYYh (or
// XdYYhZZm) under a week, XwYd beyond.
void age(Out& out, Rng& rng)
{
    static constexpr unsigned kForm[] = {150, 350, 500};
    switch (pick(rng, kForm)) {
    case 0:
        out.num(rng.below(24));
        out.ch(':');
        out.num2(static_cast<unsigned>(rng.below(60)));
        out.ch(':');
        out.num2(static_cast<unsigned>(rng.below(60)));
        break;
    case 1:
        out.num(rng.range(1, 6));
        out.ch('d');
        out.num2(static_cast<unsigned>(rng.below(24)));
        out.ch('h');
        if (rng.chance(300)) {
            out.num2(static_cast<unsigned>(rng.below(60)));
            out.ch('m');
        }
        break;
    default:
        out.num(rng.range(1, 52));
        out.ch('w');
        out.num(rng.below(7));
        out.ch('d');
        break;
    }
}

void bracket(Out& out, Rng& rng, Kind k)
{
    out.ch('[');
    switch (k) {
    case Kind::Bgp: out.text("20/0"); break;
    case Kind::IBgp:
        out.text("200/");
        out.num(rng.chance(800) ? 0 : rng.range(1, 500));
        break;
    case Kind::Ospf:
    case Kind::OspfIa:
        out.text("110/");
        out.num(rng.range(2, 80));
        break;
    case Kind::OspfE1:
    case Kind::OspfN1:
        out.text("110/");
        out.num(rng.range(21, 120));
        break;
    case Kind::OspfE2:
    case Kind::OspfN2: out.text("110/20"); break;
    case Kind::Rip:
        out.text("120/");
        out.num(rng.range(1, 15));
        break;
    default: out.text("1/0"); break;
    }
    out.ch(']');
}

std::uint32_t next_hop(Rng& rng, Kind k)
{
    switch (k) {
    case Kind::Bgp: return kEbgpPeers[rng.below(std::size(kEbgpPeers))];
    case Kind::IBgp: return kIbgpPeers[rng.below(std::size(kIbgpPeers))];
    default: return kIgpNeighbours[rng.below(std::size(kIgpNeighbours))];
    }
}

// Writes one route: its first line and, for multipath routes, the
// continuation lines.
void route(Out& out, Rng& rng, const Prefix& p)
{
    // Mix of route kinds in a full table.
    static constexpr unsigned kKinds[] = {880, 40, 18, 8, 4, 12, 2, 2, 5, 17, 12};
    const auto kind = static_cast<Kind>(pick(rng, kKinds));

    out.text(code_of(kind));
    out.ipv4(p.addr);
    out.ch('/');
    out.num(p.len);

    if (kind == Kind::Connected) {
        out.text(" is directly connected, ");
        interface_name(out, rng, true);
        out.text(", ");
        age(out, rng);
        out.eol();
        return;
    }

    out.ch(' ');
    bracket(out, rng, kind);
    const std::size_t via_column = out.column();
    out.text(" via ");
    out.ipv4(next_hop(rng, kind));
    out.text(", ");
    interface_name(out, rng, false);
    out.text(", ");
    // The continuation lines of a multipath route share the route's age.
    const std::size_t age_start = out.column();
    age(out, rng);
    const std::string age_text(out.current_line().substr(age_start));
    out.eol();

    // Equal-cost paths: common for IGP routes, less so for BGP.
    const unsigned multipath_per_mille = (kind == Kind::Bgp || kind == Kind::IBgp) ? 40 : 250;
    if (!rng.chance(multipath_per_mille))
        return;
    const auto extra = static_cast<unsigned>(pick(rng, {700u, 200u, 100u}) + 1);
    for (unsigned i = 0; i < extra; ++i) {
        out.blanks(via_column);
        out.text(" via ");
        out.ipv4(next_hop(rng, kind));
        out.text(", ");
        interface_name(out, rng, false);
        out.text(", ");
        out.text(age_text);
        out.eol();
    }
}

void header(Out& out, std::uint32_t gateway)
{
    out.text("Codes: C - connected, S - static, R - RIP, O - OSPF, IA - OSPF inter area");
    out.eol();
    out.text("       N1 - OSPF NSSA external type 1, N2 - OSPF NSSA external type 2");
    out.eol();
    out.text("       E1 - OSPF external type 1, E2 - OSPF external type 2, B - BGP");
    out.eol();
    out.text("       * - candidate default");
    out.eol();
    out.eol();
    out.text("Gateway of last resort is ");
    out.ipv4(gateway);
    out.text(" to network 0.0.0.0");
    out.eol();
    out.eol();
}

// Summary line for a group of routes under one first octet.
void summary(Out& out, unsigned octet, const std::vector<Prefix>& group)
{
    bool seen[33] = {};
    unsigned masks = 0;
    for (const auto& p : group) {
        if (!seen[p.len]) {
            seen[p.len] = true;
            ++masks;
        }
    }
    out.text("     ");
    out.num(octet);
    if (masks == 1) {
        out.text(".0.0.0/");
        out.num(group.front().len);
        out.text(" is subnetted, ");
        out.num(group.size());
        out.text(" subnets");
    } else {
        out.text(".0.0.0/8 is variably subnetted, ");
        out.num(group.size());
        out.text(" subnets, ");
        out.num(masks);
        out.text(" masks");
    }
    out.eol();
}

// Prefix length of an Internet route, before any limit from the address
// budget: /24 dominates, then /22, /23, /21, /20, /16 and the rest.
unsigned drawn_length(Rng& rng)
{
    static constexpr unsigned kLen[] = {
        // 8  9 10 11  12  13  14  15   16  17  18  19   20   21   22   23    24  25  26  27  28  29  30  31  32
        1, 1, 2, 4, 8, 15, 25, 30, 120, 40, 60, 90, 160, 180, 350, 250, 1300, 4, 4, 3, 4, 3, 3, 1, 5,
    };
    return 8 + static_cast<unsigned>(pick(rng, kLen));
}

struct Options {
    std::uint64_t routes = 1'000'000;
    std::uint64_t seed = 20240601;
    const char* output = nullptr;
    bool crlf = false;
};

void usage(std::FILE* f)
{
    std::fputs("usage: kestrel-generate-log [-n ROUTES] [-o FILE] [--seed S] [--crlf]\n"
               "  -n ROUTES   number of routes to write (default 1000000)\n"
               "  -o FILE     write to FILE instead of standard output\n"
               "  --seed S    PRNG seed (default 20240601)\n"
               "  --crlf      end lines with CR LF instead of LF\n",
               f);
}

bool parse_u64(const char* s, std::uint64_t& v)
{
    const char* end = s + std::strlen(s);
    auto res = std::from_chars(s, end, v);
    return res.ec == std::errc() && res.ptr == end && res.ptr != s;
}

// Returns 0 on success, 2 on a usage error, -1 when --help was asked for.
int parse_args(int argc, char** argv, Options& opt)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        auto value = [&](std::uint64_t& v) {
            if (i + 1 >= argc || !parse_u64(argv[i + 1], v)) {
                std::fprintf(stderr, "kestrel-generate-log: %s needs a non-negative integer\n", argv[i]);
                return false;
            }
            ++i;
            return true;
        };
        if (a == "-n" || a == "--routes") {
            if (!value(opt.routes))
                return 2;
        } else if (a == "--seed") {
            if (!value(opt.seed))
                return 2;
        } else if (a == "-o" || a == "--output") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "kestrel-generate-log: %s needs a file name\n", argv[i]);
                return 2;
            }
            opt.output = argv[++i];
        } else if (a == "--crlf") {
            opt.crlf = true;
        } else if (a == "-h" || a == "--help") {
            usage(stdout);
            return -1;
        } else {
            std::fprintf(stderr, "kestrel-generate-log: unknown argument '%s'\n", argv[i]);
            usage(stderr);
            return 2;
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    Options opt;
    if (const int rc = parse_args(argc, argv, opt); rc != 0)
        return rc < 0 ? 0 : rc;

    // Unicast space from 1.0.0.0 up to 224.0.0.0.
    constexpr std::uint64_t kFirst = ip(1, 0, 0, 0);
    constexpr std::uint64_t kSpace = std::uint64_t{ip(224, 0, 0, 0)} - kFirst;
    if (opt.routes > kSpace) {
        std::fprintf(stderr, "kestrel-generate-log: at most %llu routes\n",
                     static_cast<unsigned long long>(kSpace));
        return 2;
    }

    std::FILE* file = stdout;
    if (opt.output) {
        file = std::fopen(opt.output, "wb");
        if (!file) {
            std::fprintf(stderr, "kestrel-generate-log: cannot open '%s': %s\n", opt.output,
                         std::strerror(errno));
            return 1;
        }
    }

    Rng rng(opt.seed);
    Out out(file, opt.crlf);
    const std::uint32_t gateway = kIgpNeighbours[0];
    header(out, gateway);

    if (opt.routes > 0) {
        out.text("S*      0.0.0.0/0 [1/0] via ");
        out.ipv4(gateway);
        out.text(", GigaEthernet0.0, 5d00h");
        out.eol();
    }

    // The other routes each get an equal slice of the address space and sit
    // at an aligned position inside it, so they come out sorted and never
    // overlap.  A prefix is at most half its slice, so an aligned place for it
    // always exists.
    const std::uint64_t count = opt.routes > 0 ? opt.routes - 1 : 0;
    const std::uint64_t slice = count > 0 ? kSpace / count : kSpace;
    unsigned min_len = 32;
    while (min_len > 8 && (std::uint64_t{1} << (32 - (min_len - 1))) * 2 <= slice)
        --min_len;

    std::vector<Prefix> group;
    unsigned group_octet = 0;
    auto emit_group = [&] {
        if (group.empty())
            return;
        summary(out, group_octet, group);
        for (const auto& p : group)
            route(out, rng, p);
        group.clear();
    };

    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t lo = kFirst + i * slice;
        const std::uint64_t hi = lo + slice; // exclusive
        unsigned len = drawn_length(rng);
        if (len < min_len)
            len = min_len;
        const std::uint64_t block = std::uint64_t{1} << (32 - len);
        const std::uint64_t first = (lo + block - 1) & ~(block - 1);
        const std::uint64_t places = (hi - first) / block;
        const std::uint64_t addr = first + block * rng.below(places);
        const auto octet = static_cast<unsigned>(addr >> 24);
        if (octet != group_octet) {
            emit_group();
            group_octet = octet;
        }
        group.push_back({static_cast<std::uint32_t>(addr), len});
    }
    emit_group();

    bool ok = out.flush();
    if (opt.output)
        ok = std::fclose(file) == 0 && ok;
    else
        ok = std::fflush(stdout) == 0 && ok;
    if (!ok) {
        std::fprintf(stderr, "kestrel-generate-log: write error: %s\n", std::strerror(errno));
        return 1;
    }
    return 0;
}
