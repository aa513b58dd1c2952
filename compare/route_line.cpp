#include "route_line.h"

#include <cstring>
#include <vector>

namespace kestrel::compare {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

std::string_view TrimLeft(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  return s.substr(i);
}

std::string_view Trim(std::string_view s) {
  s = TrimLeft(s);
  while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// Cuts the next blank-separated token off the front of `s`.
std::string_view NextToken(std::string_view& s) {
  s = TrimLeft(s);
  std::size_t end = 0;
  while (end < s.size() && !IsBlank(s[end])) ++end;
  const std::string_view token = s.substr(0, end);
  s.remove_prefix(end);
  return token;
}

// Whether `s` starts with the literal `prefix`. Its length known when
// compiled, the comparison is a few instructions, not a call: every line
// goes through many such tests.
template <std::size_t N>
bool Starts(std::string_view s, const char (&prefix)[N]) {
  return s.size() >= N - 1 && std::memcmp(s.data(), prefix, N - 1) == 0;
}

template <std::size_t N>
bool Consume(std::string_view& s, const char (&prefix)[N]) {
  if (!Starts(s, prefix)) return false;
  s.remove_prefix(N - 1);
  return true;
}

// Reads a decimal number of at most `limit` off the front of `s`.
bool ReadNumber(std::string_view& s, std::uint64_t limit, std::uint64_t& value) {
  std::size_t i = 0;
  value = 0;
  while (i < s.size() && IsDigit(s[i])) {
    value = value * 10 + (s[i] - '0');
    if (value > limit) return false;
    ++i;
  }
  s.remove_prefix(i);
  return i > 0;
}

int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ParseIpv4(std::string_view text, std::uint32_t& value) {
  value = 0;
  for (int part = 0; part < 4; ++part) {
    std::uint64_t octet;
    if ((part > 0 && !Consume(text, ".")) || !ReadNumber(text, 255, octet)) return false;
    value = value << 8 | static_cast<std::uint32_t>(octet);
  }
  return text.empty();
}

bool ParseIpv6(std::string_view text, Address& address) {
  std::uint16_t groups[8] = {};
  int count = 0, gap = -1;
  if (Starts(text, "::")) {
    gap = 0;
    text.remove_prefix(2);
  }
  while (!text.empty()) {
    if (count == 8) return false;
    std::uint32_t v4;
    if (text.find('.') != std::string_view::npos && count <= 6 && ParseIpv4(text, v4)) {
      groups[count++] = static_cast<std::uint16_t>(v4 >> 16);
      groups[count++] = static_cast<std::uint16_t>(v4);
      break;
    }
    int digits = 0, value = 0;
    while (digits < static_cast<int>(text.size()) && HexValue(text[digits]) >= 0) {
      if (++digits > 4) return false;
      value = value * 16 + HexValue(text[digits - 1]);
    }
    if (digits == 0) return false;
    groups[count++] = static_cast<std::uint16_t>(value);
    text.remove_prefix(digits);
    if (text.empty()) break;
    if (!Consume(text, ":")) return false;
    if (!text.empty() && text[0] == ':') {
      if (gap >= 0) return false;
      gap = count;
      text.remove_prefix(1);
    } else if (text.empty()) {
      return false;
    }
  }
  if (gap < 0 ? count != 8 : count > 7) return false;
  std::uint16_t full[8] = {};
  const int tail = gap < 0 ? 0 : count - gap;
  for (int i = 0; i < count - tail; ++i) full[i] = groups[i];
  for (int i = 0; i < tail; ++i) full[8 - tail + i] = groups[gap + i];
  address = {};
  address.v6 = true;
  for (int i = 0; i < 4; ++i) address.hi = address.hi << 16 | full[i];
  for (int i = 4; i < 8; ++i) address.lo = address.lo << 16 | full[i];
  return true;
}

// "10.0.0.0/8", "2001:DB8::/32", or an address alone (length -1).
bool ParsePrefix(std::string_view text, Address& address, int& length) {
  const std::size_t slash = text.find('/');
  if (!ParseAddress(text.substr(0, slash), address)) return false;
  length = -1;
  if (slash == std::string_view::npos) return true;
  std::string_view rest = text.substr(slash + 1);
  std::uint64_t value;
  if (!ReadNumber(rest, address.v6 ? 128 : 32, value) || !rest.empty()) return false;
  length = static_cast<int>(value);
  return true;
}

// An interface as the vendors name them: a letter first, a digit somewhere,
// no blanks (GigaEthernet0.0, GigabitEthernet0/0, Port-channel201, BVI1).
bool IsInterfaceName(std::string_view text) {
  if (text.empty() || !IsLetter(text[0])) return false;
  bool digit = false;
  for (const char c : text) {
    if (IsDigit(c))
      digit = true;
    else if (!IsLetter(c) && !std::strchr("./:-_", c))
      return false;
  }
  return digit;
}

// A next hop's address, alone or in a VRF: "192.0.2.1 (CUST-B)", and on
// NX-OS "10.1.1.1%default".
bool ParseHopAddress(std::string_view field, ParsedLine& p) {
  std::string_view vrf;
  if (const std::size_t open = field.find(" ("); open != std::string_view::npos && field.back() == ')') {
    vrf = field.substr(open + 2, field.size() - open - 3);
    field = field.substr(0, open);
  } else if (const std::size_t percent = field.find('%'); percent != std::string_view::npos) {
    vrf = field.substr(percent + 1);
    field = field.substr(0, percent);
    if (vrf.empty()) return false;
  }
  Address address;
  if (!ParseAddress(field, address) || vrf.find_first_of(" \t()") != std::string_view::npos) return false;
  if (p.hasHopAddress) return false;
  p.hasHopAddress = true;
  p.hop = address;
  p.hopVrf = vrf;
  return true;
}

// "tag 5": a route tag, which the comparison does not look at.
bool IsTag(std::string_view field) {
  std::uint64_t n;
  return Consume(field, "tag ") && ReadNumber(field, UINT32_MAX, n) && field.empty();
}

// The comma-separated fields after "via", "is directly connected" or a
// bracket: a next hop's address, an interface, an age, each recognised by
// its shape wherever it stands; a tag, and IOS XR's "(!)" after the last
// field for a backup path. Anything else leaves the line unparsed.
bool ParseFields(std::string_view text, ParsedLine& p) {
  while (true) {
    const std::size_t comma = text.find(',');
    std::string_view field = Trim(text.substr(0, comma));
    if (comma == std::string_view::npos && field.size() >= 3 && field.substr(field.size() - 3) == "(!)") {
      p.backup = true;
      field = Trim(field.substr(0, field.size() - 3));
    }
    if (field.find(" (") != std::string_view::npos || field.find('%') != std::string_view::npos) {
      if (!ParseHopAddress(field, p)) return false;
    } else if (Address address; ParseAddress(field, address)) {
      if (p.hasHopAddress) return false;
      p.hasHopAddress = true;
      p.hop = address;
    } else if (IsTag(field)) {
    } else if (IsInterfaceName(field)) {
      if (!p.interface.empty()) return false;
      p.interface = field;
    } else if (!IsAge(field) && field != "directly connected" && field != "receive") {
      return false;
    }
    if (comma == std::string_view::npos) return true;
    text.remove_prefix(comma + 1);
  }
}

// What follows the prefix of a route, or the blank head of a continuation.
bool ParseBody(std::string_view rest, ParsedLine& p) {
  rest = TrimLeft(rest);
  if (Consume(rest, "[")) {
    std::uint64_t distance, metric;
    if (!ReadNumber(rest, 255, distance) || !Consume(rest, "/") || !ReadNumber(rest, UINT32_MAX, metric) ||
        !Consume(rest, "]"))
      return false;
    p.hasBracket = true;
    p.distance = static_cast<std::uint8_t>(distance);
    p.metric = static_cast<std::uint32_t>(metric);
    rest = TrimLeft(rest);
  }
  if (rest.empty()) return true;
  if (Consume(rest, "via ")) {
    p.body = Body::Via;
    std::string_view first = Trim(rest.substr(0, rest.find(',')));
    if (first.size() > 3 && first.substr(first.size() - 3) == "(!)") first = Trim(first.substr(0, first.size() - 3));
    ParsedLine probe;
    if (!ParseHopAddress(first, probe) && !IsInterfaceName(first)) return false;
    return ParseFields(rest, p);
  }
  if (Consume(rest, "is directly connected"))
    p.body = Body::Connected;
  else if (Consume(rest, "is a summary"))
    p.body = Body::Summary;
  else if (p.hasBracket && rest[0] == ',')
    p.body = Body::Fields;
  else
    return false;
  if (rest.empty()) return true;
  if (!Consume(rest, ",") || !ParseFields(rest, p)) return false;
  // An IPv6 head with a tag ("[110/20], tag 5"): its next hops follow.
  if (p.body == Body::Fields && !p.hasHopAddress && p.interface.empty()) p.body = Body::None;
  return true;
}

// A route code: one to three letters, "*" for a candidate default, flags
// (+ % &) and a type, in one token or several, glued or after blanks
// ("O IA", "O*E2", "S*", "B  +", "D  *EX"). The protocol keeps the code and
// the type, one blank between them.
bool AddCodeToken(std::string_view token, ParsedLine& p, std::size_t& size) {
  const bool first = size == 0;
  if (token.empty() || token.size() > 4 || (first && !IsLetter(token[0]))) return false;
  bool gap = !first;  // the type stands apart from the code, after a blank or a "*"
  for (const char c : token) {
    if (c == '*') {
      p.candidate = true;
      gap = true;
    } else if (IsLetter(c) || IsDigit(c)) {
      if (size + (gap ? 2 : 1) >= sizeof p.protocol - 1) return false;
      if (gap) p.protocol[size++] = ' ';
      gap = false;
      p.protocol[size++] = c;
    } else if (!std::strchr("+%&", c)) {
      return false;
    }
  }
  p.protocol[size] = '\0';
  return true;
}

bool ParseRoute(std::string_view line, ParsedLine& p) {
  std::size_t size = 0;
  for (int i = 0;; ++i) {
    const std::string_view token = NextToken(line);
    if (i > 0 && ParsePrefix(token, p.prefix, p.length)) break;
    if (i == 4 || !AddCodeToken(token, p, size)) return false;
  }
  return ParseBody(line, p);
}

// Whether an unread line starts as a route does: a short code, then an
// address among the next tokens; or NX-OS's "10.1.0.0/16, ...".
bool LooksLikeRoute(std::string_view text) {
  Address address;
  int length;
  std::string_view token = NextToken(text);
  if (!token.empty() && token.back() == ',') return ParsePrefix(token.substr(0, token.size() - 1), address, length);
  if (token.empty() || token.size() > 4 || !IsLetter(token[0])) return false;
  for (int i = 0; i < 4; ++i) {
    token = NextToken(text);
    if (ParsePrefix(token, address, length)) return true;
  }
  return false;
}

// "C - connected, S - static": a code of up to four characters, " - ", a name.
bool IsLegend(std::string_view text) {
  const std::size_t blank = text.find(' ');
  return blank >= 1 && blank <= 4 && text.substr(blank, 3) == " - ";
}

// A mask as old releases print it, "255.255.255.0": its length, or -1.
int MaskLength(std::string_view text) {
  std::uint32_t mask;
  if (!ParseIpv4(text, mask)) return -1;
  int length = 0;
  while (length < 32 && (mask & (0x80000000u >> length))) ++length;
  return length == 32 || (mask << length) == 0 ? length : -1;
}

// "10.0.0.0/8 is variably subnetted, 6 subnets, 3 masks", "1.0.0.0/32 is subnetted, 1 subnets",
// and on old releases "131.108.0.0 255.255.255.0 is subnetted, 2 subnets".
bool ParseClassful(std::string_view text, ParsedLine& p) {
  if (!ParsePrefix(NextToken(text), p.prefix, p.length)) return false;
  if (p.length < 0 && !p.prefix.v6) {
    std::string_view rest = text;
    const int length = MaskLength(NextToken(rest));
    if (length >= 0) p.length = length, text = rest;
  }
  text = TrimLeft(text);
  if (Consume(text, "is subnetted"))
    p.subnetted = true;
  else if (!Consume(text, "is variably subnetted"))
    return false;
  p.kind = LineKind::Classful;
  return true;
}

// "Router#show ip route vrf RED", "ix2215# show ip route", "Router>".
bool ParsePrompt(std::string_view line, ParsedLine& p) {
  std::size_t i = 0;
  while (i < line.size() && (IsLetter(line[i]) || IsDigit(line[i]) || std::strchr("_.:/()-", line[i]))) ++i;
  if (i == 0 || i == line.size() || (line[i] != '#' && line[i] != '>')) return false;
  std::string_view command = line.substr(i + 1);
  if (!command.empty() && !IsBlank(command[0]) && !IsLetter(command[0])) return false;
  p.kind = LineKind::Prompt;
  command = Trim(command);
  if (command.empty()) return true;
  // A new command: the table it shows is the default one unless it names a VRF.
  p.setsVrf = true;
  for (std::string_view token = NextToken(command); !token.empty(); token = NextToken(command)) {
    if (token == "vrf") {
      const std::string_view name = NextToken(command);
      if (name != "*") p.vrf = name;
      break;
    }
  }
  return true;
}

// A count of the table's head: `n`, or -2 when it has too many digits to
// be checked; false when the text starts with no digit.
bool ReadCount(std::string_view& text, std::int64_t& n) {
  std::uint64_t value;
  if (text.empty() || !IsDigit(text[0])) return false;
  if (ReadNumber(text, INT64_MAX, value)) {
    n = static_cast<std::int64_t>(value);
  } else {
    n = -2;
    while (!text.empty() && IsDigit(text[0])) text.remove_prefix(1);
  }
  return true;
}

// The lines of a table's head that announce its counts. A line of that
// shape whose counts cannot be read is left unparsed.
void ParseTableSummary(std::string_view text, ParsedLine& p) {
  p.kind = LineKind::TableSummary;
  std::int64_t n;
  if (Consume(text, "IPv6 Routing Table - ")) {
    // "IPv6 Routing Table - default - 6 entries": the VRF's name, then the count.
    p.layout = Layout::Ios;
    const std::size_t dash = text.find(" - ");
    if (dash == std::string_view::npos) return;
    p.setsVrf = true;
    p.vrf = text.substr(0, dash) == "default" ? std::string_view() : text.substr(0, dash);
    text.remove_prefix(dash + 3);
    if (ReadCount(text, n) && Consume(text, " entries")) p.entries = n;
  } else if (Consume(text, "IP Routing Table - ")) {
    // "IP Routing Table - 12 entries, 2 hidden, 1012 frees"
    p.layout = Layout::Ix;
    if (!ReadCount(text, n) || !Consume(text, " entries")) return void(p.kind = LineKind::Unparsed);
    p.entries = n;
    if (Consume(text, ", ") && ReadCount(text, n) && Consume(text, " hidden")) p.hidden = n < 0 ? 0 : n;
  } else if (Consume(text, "Entries:")) {
    // "Entries: 3 Connected, 2 Static, 0 RIP, 5 OSPF, 4 BGP"
    p.layout = Layout::Ix;
    static const std::string_view kNames[5] = {"Connected", "Static", "RIP", "OSPF", "BGP"};
    while (true) {
      const std::size_t comma = text.find(',');
      std::string_view field = Trim(text.substr(0, comma));
      if (!ReadCount(field, n) || !IsBlank(field.empty() ? 'x' : field[0])) return void(p.kind = LineKind::Unparsed);
      for (int i = 0; i < 5; ++i)
        if (Trim(field) == kNames[i]) p.perProtocol[i] = n;
      if (comma == std::string_view::npos) break;
      text.remove_prefix(comma + 1);
    }
  } else {
    p.layout = Layout::Ix;  // "Timers: Age"
  }
}

bool IsTimestamp(std::string_view text) {
  static const std::string_view kDays[] = {"Mon ", "Tue ", "Wed ", "Thu ", "Fri ", "Sat ", "Sun "};
  for (const std::string_view day : kDays)
    if (text.substr(0, 4) == day) return text.find(':') != std::string_view::npos;
  return false;
}

}  // namespace

bool ParseAddress(std::string_view text, Address& address) {
  std::uint32_t v4;
  if (ParseIpv4(text, v4)) {
    address = {0, v4, false};
    return true;
  }
  return text.find(':') != std::string_view::npos && ParseIpv6(text, address);
}

bool IsAge(std::string_view text) {
  std::uint64_t n;
  std::string_view s = text;
  if (!ReadNumber(s, 99999, n) || s.empty()) return false;
  if (s[0] == ':') {  // 0:01:02, 00:12:01
    return text.size() - s.size() <= 3 && s.size() == 6 && IsDigit(s[1]) && IsDigit(s[2]) && s[3] == ':' &&
           IsDigit(s[4]) && IsDigit(s[5]);
  }
  static const std::string_view kUnits[] = {"yw", "wd", "dh"};  // 3y45w, 5w2d, 1d02h
  for (const std::string_view units : kUnits) {
    std::string_view rest = s;
    if (rest[0] == units[0] && (rest.remove_prefix(1), ReadNumber(rest, 99, n)) && rest.size() == 1 &&
        rest[0] == units[1])
      return true;
  }
  return false;
}

namespace {

// NX-OS's protocol and kind ("ospf-1" "intra", "bgp-65000" "internal") as
// the code IOS prints for it ("O", "B"); a protocol IOS has no code for
// keeps its name ("hsrp", "am").
void NxosProtocol(std::string_view word, std::string_view kind, ParsedLine& p) {
  word = word.substr(0, word.find('-'));
  struct Code {
    std::string_view protocol, kind, code;
  };
  static const Code kCodes[] = {
      {"static", "", "S"},
      {"direct", "", "C"},
      {"local", "", "L"},
      {"ospf", "intra", "O"},
      {"ospf", "inter", "O IA"},
      {"ospf", "type-1", "O E1"},
      {"ospf", "type-2", "O E2"},
      {"ospf", "nssa type-1", "O N1"},
      {"ospf", "nssa type-2", "O N2"},
      {"ospf", "", "O"},
      {"bgp", "", "B"},
      {"eigrp", "external", "D EX"},
      {"eigrp", "", "D"},
      {"rip", "", "R"},
      {"isis", "L1", "i L1"},
      {"isis", "L2", "i L2"},
      {"isis", "", "i"},
  };
  std::string_view code = word.substr(0, sizeof p.protocol - 2);
  for (const Code& c : kCodes)
    if (c.protocol == word && (c.kind.empty() || c.kind == kind)) {
      code = c.code;
      break;
    }
  code.copy(p.protocol, code.size());
  p.protocol[code.size()] = '\0';
}

// NX-OS's route head: "10.1.0.0/16, ubest/mbest: 2/0" (", attached" and
// more may follow). The protocol and the bracket come with its paths.
bool ParseNxosHead(std::string_view text, ParsedLine& p) {
  const std::size_t comma = text.find(',');
  if (comma == std::string_view::npos || !ParsePrefix(text.substr(0, comma), p.prefix, p.length) || p.length < 0)
    return false;
  text = TrimLeft(text.substr(comma + 1));
  if (!Consume(text, "ubest/mbest:")) return false;
  p.kind = LineKind::Route;
  p.layout = Layout::NxOs;
  return true;
}

// NX-OS's path: "*via 10.0.0.2, Eth1/1, [110/41], 1d02h, ospf-1, intra",
// "*via 198.51.100.1%default, [200/0], 2w0d, bgp-65000, internal, tag 65001".
// The "*" marks a best path; one without it is kept as a backup. A direct or
// local path names the router's own address: its next hop is the interface.
bool ParseNxosPath(std::string_view text, ParsedLine& p) {
  const bool best = Consume(text, "*");
  if (!Consume(text, "via ")) return false;
  std::vector<std::string_view> fields;
  for (std::size_t comma; (comma = text.find(',')) != std::string_view::npos; text.remove_prefix(comma + 1))
    fields.push_back(Trim(text.substr(0, comma)));
  fields.push_back(Trim(text));
  std::size_t i = 0;
  if (!ParseHopAddress(fields[i], p) && !IsInterfaceName(fields[i])) return false;
  if (!p.hasHopAddress) p.interface = fields[i];
  if (++i < fields.size() && IsInterfaceName(fields[i]) && p.interface.empty()) p.interface = fields[i++];
  std::string_view bracket = i < fields.size() ? fields[i++] : std::string_view();
  std::uint64_t distance, metric;
  if (!Consume(bracket, "[") || !ReadNumber(bracket, 255, distance) || !Consume(bracket, "/") ||
      !ReadNumber(bracket, UINT32_MAX, metric) || bracket != "]")
    return false;
  if (i < fields.size() && IsAge(fields[i])) ++i;
  if (i == fields.size() || fields[i].empty()) return false;
  const std::string_view protocol = fields[i++];
  NxosProtocol(protocol, i < fields.size() ? fields[i] : std::string_view(), p);
  if (const std::string_view word = protocol.substr(0, protocol.find('-')); word == "direct" || word == "local") {
    if (p.interface.empty()) return false;
    p.hasHopAddress = false;
    p.hopVrf = {};
  }
  p.kind = LineKind::Continuation;
  p.body = Body::Via;
  p.hasBracket = true;
  p.distance = static_cast<std::uint8_t>(distance);
  p.metric = static_cast<std::uint32_t>(metric);
  p.backup = !best;
  p.layout = Layout::NxOs;
  return true;
}

// What is left of a pager's prompt before a line, when a session was
// captured without "terminal length 0": " --More-- " and the blanks and
// backspaces that erased it. Returns the line without it, and whether the
// line was such a remnant.
std::string_view WithoutPager(std::string_view line, bool& pager) {
  std::string_view text = TrimLeft(line);
  pager = Consume(text, "--More--");
  std::size_t i = 0;
  bool backspace = false;
  while (i < text.size() && (IsBlank(text[i]) || text[i] == '\b')) backspace |= text[i++] == '\b';
  if (!pager && !backspace) return line;
  pager = true;
  return text.substr(i);
}

// Interface names only the IX prints: "GigaEthernet0.0", "VirtualTemplate1.1",
// and tunnels and loopbacks with a unit after a dot ("Tunnel1.0",
// "Loopback0.0"). Cisco spells them "GigabitEthernet0/0", "Tunnel1".
bool IsIxInterface(std::string_view name) {
  if (Starts(name, "GigaEthernet") || Starts(name, "VirtualTemplate")) return true;
  for (const std::string_view kind : {"Tunnel", "Loopback"})
    if (name.substr(0, kind.size()) == kind) {
      name.remove_prefix(kind.size());
      std::uint64_t n;
      return ReadNumber(name, 99999, n) && Consume(name, ".") && ReadNumber(name, 99999, n) && name.empty();
    }
  return false;
}

}  // namespace

ParsedLine ParseLine(std::string_view line) {
  ParsedLine p;
  bool pager;
  std::string_view rest = WithoutPager(line, pager);
  const std::string_view text = Trim(rest);
  // A line after a pager's remnant is indented when it is a next hop's.
  const bool indented = pager
                            ? Starts(text, "[") || Starts(text, "via ") || Starts(text, "*via ") || Starts(text, "is ")
                            : !text.empty() && IsBlank(line[0]);
  if (text.empty()) {
    p.kind = LineKind::Blank;
  } else if (indented) {
    // Indented: another next hop, the rest of a wrapped head, a classful
    // summary or the legend's later lines.
    if ((text[0] == '[' || Starts(text, "via ") || Starts(text, "is ")) && ParseBody(text, p) &&
        (p.body != Body::None || p.hasBracket) && p.body != Body::Fields) {
      p.kind = LineKind::Continuation;
    } else if (p = {}; (Starts(text, "*via ") || Starts(text, "via ")) && ParseNxosPath(text, p)) {
    } else if (p = {}; ParseClassful(text, p)) {
      p.layout = Layout::Ios;
    } else {
      p = {};
      if (IsLegend(text)) p.kind = LineKind::Legend;
    }
  } else if (Starts(text, "Codes:")) {
    p.kind = LineKind::Legend;
    p.layout = Layout::Ios;
  } else if (Starts(text, "Gateway of last resort")) {
    p.kind = LineKind::Gateway;
    p.layout = Layout::Ios;
  } else if (Starts(text, "Routing Table: ")) {
    p.kind = LineKind::Vrf;
    p.setsVrf = true;
    p.vrf = Trim(text.substr(15));
    p.layout = Layout::Ios;
  } else if (Consume(rest = text, "IP Route Table for VRF \"") ||
             Consume(rest = text, "IPv6 Routing Table for VRF \"")) {
    // NX-OS: IP Route Table for VRF "default"
    p.kind = LineKind::Vrf;
    p.setsVrf = true;
    p.vrf = rest.substr(0, rest.find('"'));
    if (p.vrf == "default") p.vrf = {};
    p.layout = Layout::NxOs;
  } else if (text[0] == '\'') {
    p.kind = LineKind::Legend;  // NX-OS: '*' denotes best ucast next-hop
  } else if (Starts(text, "IP Routing Table - ") || Starts(text, "IPv6 Routing Table - ") || Starts(text, "Entries:") ||
             Starts(text, "Timers:")) {
    ParseTableSummary(text, p);
    if (p.kind == LineKind::Unparsed) p = {};
  } else if (Starts(text, "Load for ") || Starts(text, "Time source is ") || IsTimestamp(text)) {
    p.kind = LineKind::Prompt;
  } else if (ParseRoute(text, p)) {
    p.kind = LineKind::Route;
    // A connected route with a bracket is the IX's; Cisco prints none.
    if (p.body == Body::Connected) p.layout = p.hasBracket ? Layout::Ix : Layout::Ios;
  } else if (p = {}; ParseNxosHead(text, p)) {
  } else {
    p = {};
    if (ParsePrompt(text, p)) {
    } else if (p = {}; ParseClassful(text, p)) {
      p.layout = Layout::Ios;
    } else {
      p = {};
      if (IsLegend(text)) {
        p.kind = LineKind::Legend;
        // The IX's legend names protocols in capitals: "C - Connected, S - Static".
        if (text.find(" - Connected") != std::string_view::npos) p.layout = Layout::Ix;
      } else {
        p.routeLike = LooksLikeRoute(text);
      }
    }
  }
  // Interface names tell the layout too: the IX's own spellings, and a "/",
  // which only Cisco's names have.
  if (!p.interface.empty()) {
    if (IsIxInterface(p.interface))
      p.layout = Layout::Ix;
    else if (p.layout == Layout::Unknown && p.interface.find('/') != std::string_view::npos)
      p.layout = Layout::Ios;
  }
  return p;
}

}  // namespace kestrel::compare
