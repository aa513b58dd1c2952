#include "route_line.h"

#include <cstring>

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

bool Consume(std::string_view& s, std::string_view prefix) {
  if (s.substr(0, prefix.size()) != prefix) return false;
  s.remove_prefix(prefix.size());
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
  if (text.substr(0, 2) == "::") {
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

// The comma-separated fields after "via", "is directly connected" or a
// bracket: a next hop's address, an interface, an age, each recognised by
// its shape wherever it stands. Anything else leaves the line unparsed.
bool ParseFields(std::string_view text, ParsedLine& p) {
  while (true) {
    const std::size_t comma = text.find(',');
    const std::string_view field = Trim(text.substr(0, comma));
    Address address;
    if (ParseAddress(field, address)) {
      if (p.hasHopAddress) return false;
      p.hasHopAddress = true;
      p.hop = address;
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
    const std::string_view first = Trim(rest.substr(0, rest.find(',')));
    Address address;
    if (!ParseAddress(first, address) && !IsInterfaceName(first)) return false;
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
  return Consume(rest, ",") && ParseFields(rest, p);
}

// A route code: one or two letters, "*" for a candidate default, flags
// (+ % &) and a type, in one token or several ("O IA", "O*E2", "S*").
bool AddCodeToken(std::string_view token, ParsedLine& p, std::size_t& size) {
  if (token.empty() || token.size() > 4 || !IsLetter(token[0])) return false;
  if (size > 0) p.protocol[size++] = ' ';
  for (const char c : token) {
    if (c == '*') {
      p.candidate = true;
      if (size > 0 && p.protocol[size - 1] != ' ') p.protocol[size++] = ' ';
    } else if (IsLetter(c) || IsDigit(c)) {
      if (size >= 7) return false;
      p.protocol[size++] = c;
    } else if (!std::strchr("+%&", c)) {
      return false;
    }
  }
  while (size > 0 && p.protocol[size - 1] == ' ') --size;
  p.protocol[size] = '\0';
  return true;
}

bool ParseRoute(std::string_view line, ParsedLine& p) {
  std::size_t size = 0;
  for (int i = 0;; ++i) {
    const std::string_view token = NextToken(line);
    if (i > 0 && ParsePrefix(token, p.prefix, p.length)) break;
    if (i == 3 || !AddCodeToken(token, p, size)) return false;
  }
  return ParseBody(line, p);
}

// "C - connected, S - static": a code of up to four characters, " - ", a name.
bool IsLegend(std::string_view text) {
  const std::size_t blank = text.find(' ');
  return blank >= 1 && blank <= 4 && text.substr(blank, 3) == " - ";
}

// "10.0.0.0/8 is variably subnetted, 6 subnets, 3 masks", "1.0.0.0/32 is subnetted, 1 subnets".
bool ParseClassful(std::string_view text, ParsedLine& p) {
  if (!ParsePrefix(NextToken(text), p.prefix, p.length)) return false;
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

void ParseTableSummary(std::string_view text, ParsedLine& p) {
  p.kind = LineKind::TableSummary;
  std::uint64_t n;
  if (Consume(text, "IPv6 Routing Table - ")) {
    // "IPv6 Routing Table - default - 6 entries": the VRF's name, then the count.
    const std::size_t dash = text.find(" - ");
    if (dash == std::string_view::npos) return;
    p.setsVrf = true;
    p.vrf = text.substr(0, dash) == "default" ? std::string_view() : text.substr(0, dash);
    text.remove_prefix(dash + 3);
    if (ReadNumber(text, INT64_MAX, n) && Consume(text, " entries")) p.entries = static_cast<std::int64_t>(n);
  } else if (Consume(text, "IP Routing Table - ")) {
    if (!ReadNumber(text, INT64_MAX, n) || !Consume(text, " entries")) return;
    p.entries = static_cast<std::int64_t>(n);
    if (Consume(text, ", ") && ReadNumber(text, INT64_MAX, n) && Consume(text, " hidden"))
      p.hidden = static_cast<std::int64_t>(n);
  } else if (Consume(text, "Entries:")) {
    // "Entries: 3 Connected, 2 Static, 0 RIP, 5 OSPF, 4 BGP"
    static const std::string_view kNames[5] = {"Connected", "Static", "RIP", "OSPF", "BGP"};
    while (true) {
      const std::size_t comma = text.find(',');
      std::string_view field = Trim(text.substr(0, comma));
      if (ReadNumber(field, INT64_MAX, n))
        for (int i = 0; i < 5; ++i)
          if (Trim(field) == kNames[i]) p.perProtocol[i] = static_cast<std::int64_t>(n);
      if (comma == std::string_view::npos) break;
      text.remove_prefix(comma + 1);
    }
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

ParsedLine ParseLine(std::string_view line) {
  ParsedLine p;
  const std::string_view text = Trim(line);
  if (text.empty()) {
    p.kind = LineKind::Blank;
  } else if (IsBlank(line[0])) {
    // Indented: another next hop, the rest of a wrapped head, a classful
    // summary or the legend's later lines.
    if ((text[0] == '[' || text.substr(0, 4) == "via " || text.substr(0, 3) == "is ") && ParseBody(text, p) &&
        (p.body != Body::None || p.hasBracket) && p.body != Body::Fields)
      p.kind = LineKind::Continuation;
    else if (!ParseClassful(text, p) && IsLegend(text))
      p = {}, p.kind = LineKind::Legend;
    else if (p.kind != LineKind::Classful)
      p = {};
  } else if (text.substr(0, 6) == "Codes:") {
    p.kind = LineKind::Legend;
  } else if (text.substr(0, 22) == "Gateway of last resort") {
    p.kind = LineKind::Gateway;
  } else if (text.substr(0, 15) == "Routing Table: ") {
    p.kind = LineKind::Vrf;
    p.setsVrf = true;
    p.vrf = Trim(text.substr(15));
  } else if (text.substr(0, 19) == "IP Routing Table - " || text.substr(0, 21) == "IPv6 Routing Table - " ||
             text.substr(0, 8) == "Entries:" || text.substr(0, 7) == "Timers:") {
    ParseTableSummary(text, p);
  } else if (text.substr(0, 9) == "Load for " || text.substr(0, 15) == "Time source is " || IsTimestamp(text)) {
    p.kind = LineKind::Prompt;
  } else if (ParseRoute(text, p)) {
    p.kind = LineKind::Route;
  } else {
    p = {};
    if (!ParsePrompt(text, p) && !ParseClassful(text, p)) p = {}, p.kind = IsLegend(text) ? LineKind::Legend : p.kind;
  }
  return p;
}

}  // namespace kestrel::compare
