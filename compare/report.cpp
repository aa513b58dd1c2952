#include "report.h"

#include <fmt/format.h>

#include <algorithm>
#include <optional>

#include "platform.h"
#include "report_put.h"

namespace kestrel::compare {
namespace {

const char* const kLineKindNames[kLineKinds] = {"blank", "prompt",   "legend", "gateway",      "table head",
                                                "vrf",   "classful", "route",  "continuation", "unparsed"};
const char* const kWarningNames[kWarningKinds] = {"duplicate", "host-bits", "bracket", "totals", "unread-route"};
const char kSideName[2] = {'A', 'B'};
// The terminal report's differences fit this many columns, and their
// descriptions go on under this one.
constexpr std::size_t kTextWidth = 80;
constexpr std::size_t kWhatColumn = 34;
constexpr std::size_t kWhereColumn = 4;

// The length of the UTF-8 sequence at `i`, or 0 when the byte starts none.
std::size_t Utf8Length(std::string_view s, std::size_t i) {
  const auto c = static_cast<unsigned char>(s[i]);
  const std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
  if (n == 0 || i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k)
    if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2) return 0;
  return n;
}

bool Utf8(std::string_view s) {
  for (std::size_t i = 0, n = 0; i < s.size(); i += n)
    if ((n = Utf8Length(s, i)) == 0) return false;
  return true;
}

// The character of the valid UTF-8 sequence of `n` bytes at `i`.
std::uint32_t CodePoint(std::string_view s, std::size_t i, std::size_t n) {
  static const unsigned char kLeadBits[] = {0, 0x7f, 0x1f, 0x0f, 0x07};
  std::uint32_t c = static_cast<unsigned char>(s[i]) & kLeadBits[n];
  for (std::size_t k = 1; k < n; ++k) c = c << 6 | (static_cast<unsigned char>(s[i + k]) & 0x3f);
  return c;
}

// Copies text, whole UTF-8 characters as they are, and each byte for which
// `escape` gives a replacement (it is told whether the byte starts a valid
// character) as that replacement.
template <class Escape>
std::string Escaped(std::string_view text, Escape escape) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    const std::size_t n = Utf8Length(text, i);
    if (std::optional<std::string> replacement = escape(c, n != 0)) {
      out += *replacement;
      ++i;
    } else {
      out.append(text.substr(i, n));
      i += n;
    }
  }
  return out;
}

// Text from a log or a command line, ready for a terminal or a spreadsheet.
std::string Shown(std::string_view text) { return Printable(Decoded(text)); }

// The columns that text takes on a terminal: two for an East Asian wide character.
std::size_t Columns(std::string_view text) {
  std::size_t columns = 0;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = std::max<std::size_t>(Utf8Length(text, i), 1);
    const std::uint32_t c = CodePoint(text, i, n);
    const bool wide = (c >= 0x1100 && c <= 0x115f) || (c >= 0x2e80 && c <= 0xa4cf) || (c >= 0xac00 && c <= 0xd7a3) ||
                      (c >= 0xf900 && c <= 0xfaff) || (c >= 0xfe30 && c <= 0xfe4f) || (c >= 0xff00 && c <= 0xff60) ||
                      (c >= 0xffe0 && c <= 0xffe6) || (c >= 0x20000 && c <= 0x3fffd);
    columns += wide ? 2 : 1;
    i += n;
  }
  return columns;
}

// Text laid out in lines of kTextWidth columns: each piece after the last
// where it fits, else on a line of its own, indented; a piece wider than
// such a line is broken at its blanks.
struct Flow {
  std::string text;
  std::size_t column;

  explicit Flow(std::string head) : text(std::move(head)), column(Columns(text)) {}
  void Add(std::string_view piece, std::string_view gap, std::size_t indent) {
    const std::size_t width = Columns(piece);
    if (column + gap.size() + width <= kTextWidth) {
      text.append(gap).append(piece);
      column += gap.size() + width;
      return;
    }
    if (const std::size_t blank = piece.find(' '); blank != std::string_view::npos && indent + width > kTextWidth) {
      Add(piece.substr(0, blank), gap, indent);
      Add(piece.substr(blank + 1), " ", indent);
      return;
    }
    text.append("\n").append(indent, ' ').append(piece);
    column = indent + width;
  }
};

template <class Text>
std::string Join(const std::vector<Text>& items, const char* separator) {
  std::string out;
  for (const auto& item : items) out.append(out.empty() ? "" : separator).append(item);
  return out;
}

std::vector<std::string> InterfacePairs(const DiffRecord& view) {
  std::vector<std::string> out;
  for (const auto& [a, b] : view.interfaces) out.push_back(a + " -> " + b);
  return out;
}

std::string Where(const DiffRecord& view) {
  std::string out;
  for (int s = 0; s < 2; ++s)
    if (view.side[s].present)
      out +=
          fmt::format("{}{} {}:{}", out.empty() ? "" : ", ", kSideName[s], Shown(view.side[s].file), view.side[s].line);
  return out;
}

std::string LineCounts(const Source& source) {
  std::string header;
  for (int k = 0; k < static_cast<int>(LineKind::Route); ++k)
    if (source.counts[k])
      header += fmt::format("{}{} {}", header.empty() ? "" : ", ", source.counts[k], kLineKindNames[k]);
  return fmt::format("{} lines = {} header{} + {} route + {} continuation + {} unparsed", source.Lines(),
                     source.Header(), header.empty() ? "" : " (" + header + ")", source.Count(LineKind::Route),
                     source.Count(LineKind::Continuation), source.Count(LineKind::Unparsed));
}

std::string Summary(const Comparison& c) {
  return fmt::format("routes compared: A {}, B {}; {} same, {} differ, {} only in A, {} only in B{}{}", c.routes[0],
                     c.routes[1], c.same, c.differ, c.onlyA, c.onlyB, LeftOut(c),
                     c.accepted ? fmt::format("; {} of the differences accepted", c.accepted) : "");
}

// The counts by VRF or by protocol, as a table under the summary where
// there is more than one.
void PutTallies(BlockWriter& out, const char* title, const std::map<std::string, Tally>& tallies, const char* unnamed) {
  if (tallies.size() < 2) return;
  Put(out, "  {:<14}{:>9}{:>9}{:>9}{:>9}{:>9}{:>9}{:>9}\n", title, "routes A", "routes B", "same", "differ", "only A",
      "only B", "accepted");
  for (const auto& [name, t] : tallies)
    Put(out, "  {:<14}{:>9}{:>9}{:>9}{:>9}{:>9}{:>9}{:>9}\n", name.empty() ? unnamed : Shown(name), t.routes[0],
        t.routes[1], t.same, t.differ, t.onlyA, t.onlyB, t.accepted);
}

// What one difference is, in pieces that the terminal report lays out:
// groups of them (a side's route, each kind of difference) end with ";",
// the next hops of a group with ",".
std::vector<std::string> WhatPieces(const DiffRecord& v) {
  std::vector<std::vector<std::string>> groups;
  auto group = [&groups](std::string head, const std::vector<std::string>& items) {
    std::vector<std::string> pieces;
    if (!head.empty()) pieces.push_back(std::move(head));
    for (std::size_t i = 0; i < items.size(); ++i) pieces.push_back(items[i] + (i + 1 < items.size() ? "," : ""));
    groups.push_back(std::move(pieces));
  };
  if (v.accepted) group("accepted", {});
  const auto& a = v.side[0];
  const auto& b = v.side[1];
  if (v.status != DiffStatus::Differs) {
    const SideRecord& s = v.side[v.status == DiffStatus::OnlyA ? 0 : 1];
    group(s.protocol + (s.bracket.empty() ? "" : " " + s.bracket), s.hops);
    if (!v.covering.empty()) group("covered by " + v.covering, {});
  }
  if (v.kinds & kHops) {
    std::vector<std::string> hops;
    for (const auto& h : v.removed) hops.push_back("-" + h);
    for (const auto& h : v.added) hops.push_back("+" + h);
    group("next hops", hops);
  }
  if (v.kinds & (kDistance | kMetric))
    group(std::string((v.kinds & kDistance) && (v.kinds & kMetric) ? "distance and metric"
                      : v.kinds & kDistance                        ? "distance"
                                                                   : "metric") +
              " " + (a.bracket.empty() ? "none" : a.bracket) + " -> " + (b.bracket.empty() ? "none" : b.bracket),
          {});
  if (v.kinds & kProtocol) group("protocol " + a.protocol + " -> " + b.protocol, {});
  if (v.kinds & kCandidateDefault) group("candidate default " + a.protocol + " -> " + b.protocol, {});
  if (v.kinds & kInterface) group(v.interfaces.size() == 1 ? "interface" : "interfaces", InterfacePairs(v));
  std::vector<std::string> out;
  for (std::size_t g = 0; g < groups.size(); ++g)
    for (std::size_t i = 0; i < groups[g].size(); ++i)
      out.push_back(Shown(groups[g][i]) + (i + 1 == groups[g].size() && g + 1 < groups.size() ? ";" : ""));
  return out;
}

// One difference in the terminal report: status, prefix and what differs,
// then where the route stands in the logs, within 80 columns where the
// names allow.
std::string TextLine(const DiffRecord& v) {
  const std::string status = v.status == DiffStatus::OnlyA   ? "only in A"
                             : v.status == DiffStatus::OnlyB ? "only in B"
                                                             : "differs";
  const std::string prefix = v.vrf.empty() ? v.prefix : "vrf " + Shown(v.vrf) + " " + v.prefix;
  Flow flow(fmt::format("  {:<10} {:<20}", status, prefix));
  for (const auto& piece : WhatPieces(v)) flow.Add(piece, " ", kWhatColumn);
  flow.Add("(" + Where(v) + ")", "  ", kWhereColumn);
  return flow.text + "\n";
}

void WriteText(const ReportData& d, const Describer& records, BlockWriter& out) {
  const Comparison& c = *d.comparison;
  Put(out, "kestrel-compare {}\n", d.version);
  for (int s = 0; s < 2; ++s)
    for (const Source& source : d.table[s]->sources)
      Put(out, "{}: {}, {} bytes, sha256 {}\n   {}\n", kSideName[s], Shown(source.name), source.size, source.sha256,
          LineCounts(source));
  for (const auto& rule : RulesInWords(d)) Put(out, "rules: {}\n", Shown(rule));
  Put(out, "{}\n", Summary(c));
  PutTallies(out, "VRF", c.byVrf, "(default)");
  PutTallies(out, "protocol", c.byProtocol, "(none)");
  for (const auto& notice : Notices(c)) Put(out, "{}\n", notice);
  for (int s = 0; s < 2; ++s) {
    const Table& t = *d.table[s];
    if (t.Warnings() > 0) Put(out, "{}: {} warnings\n", kSideName[s], t.Warnings());
    const std::size_t listed = std::min(t.warnings.size(), d.shown);
    for (std::size_t i = 0; i < listed; ++i) {
      const Warning& w = t.warnings[i];
      Put(out, "  warning: {}:{}: {}\n", Shown(t.sources[w.source].name), w.line, Shown(w.text));
    }
    if (listed < t.Warnings())
      Put(out, "  {} more not listed{}\n", t.Warnings() - listed, listed < t.warnings.size() ? " (-v lists more)" : "");
    if (t.Unparsed() > 0)
      Put(out, "{}: {} unparsed lines{}\n", kSideName[s], t.Unparsed(),
          d.showUnparsed ? "" : " (--show-unparsed lists them)");
    if (!d.showUnparsed) continue;
    for (std::size_t i = 0; i < t.unparsed.size(); ++i)
      Put(out, "  {}:{}: {}\n", Shown(t.sources[t.unparsed[i].source].name), t.unparsed[i].line,
          Shown(d.unparsedText[s][i]));
    if (t.unparsed.size() < t.Unparsed()) Put(out, "  {} more not listed\n", t.Unparsed() - t.unparsed.size());
  }
  if (!c.warnings.empty()) Put(out, "comparison: {} warnings\n", c.warnings.size());
  for (const auto& warning : c.warnings) Put(out, "  warning: {}\n", Shown(warning));
  if (c.diffs.empty()) {
    // A side with no route proves nothing: the notices above say so.
    if (!c.unread[0] && !c.unread[1]) Put(out, "the tables are the same under these rules\n");
    return;
  }
  Put(out, "differences: {}{}\n", c.diffs.size(),
      c.diffs.size() > d.shown ? fmt::format(" (the first {}; -v lists all)", d.shown) : "");
  for (std::size_t i = 0; i < c.diffs.size() && i < d.shown; ++i) out.Append(TextLine(records[i]));
}

// A CSV cell. Quoted where it holds a comma or a quote; control characters
// escaped, so that a record is one line; and a leading ' where a spreadsheet
// would take the text for a formula (=, +, -, @, tab, CR), as a VRF named
// "=HYPERLINK(...)" or a log named "-2+3.log" would be.
std::string Csv(std::string_view field) {
  std::string text = Shown(field);
  if (!text.empty() && std::string_view("=+-@\t\r").find(text[0]) != std::string_view::npos) text.insert(0, "'");
  if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
  std::string out = "\"";
  for (const char c : text) out += c == '"' ? "\"\"" : std::string(1, c);
  return out + "\"";
}

// The differences, one record each after the heading: what a spreadsheet
// or a script reads. The head of the other reports (inputs, rules, counts)
// is left out, so that the first line is the heading.
void WriteCsv(const ReportData& d, const Describer& records, BlockWriter& out) {
  if (d.csvBom) out.Append("\xEF\xBB\xBF");
  out.Append(
      "vrf,family,prefix,status,differences,accepted,a_protocol,b_protocol,a_bracket,b_bracket,removed_next_hops,"
      "added_next_hops,interfaces,a_next_hops,b_next_hops,a_file,a_line,b_file,b_line,covering\n");
  for (std::size_t i = 0; i < records.Size(); ++i) {
    const DiffRecord v = records[i];
    const SideRecord& a = v.side[0];
    const SideRecord& b = v.side[1];
    Put(out, "{},{},{},{},{},{},{},{},{},{},{},{},{},{},{},{},{},{},{},{}\n", Csv(v.vrf), v.v6 ? "ipv6" : "ipv4",
        Csv(v.prefix), kDiffStatusNames[static_cast<int>(v.status)], Join(v.differences, " "),
        v.accepted ? "yes" : "no", Csv(a.protocol), Csv(b.protocol), Csv(a.bracket), Csv(b.bracket),
        Csv(Join(v.removed, "; ")), Csv(Join(v.added, "; ")), Csv(Join(InterfacePairs(v), "; ")),
        Csv(Join(a.hops, "; ")), Csv(Join(b.hops, "; ")), Csv(a.file), a.present ? std::to_string(a.line) : "",
        Csv(b.file), b.present ? std::to_string(b.line) : "", Csv(v.covering));
  }
}

template <class Text>
std::string JsonList(const std::vector<Text>& items) {
  std::string out = "[";
  for (const auto& item : items) out += (out.size() > 1 ? ",\"" : "\"") + JsonEscape(item) + "\"";
  return out + "]";
}

std::string JsonTallies(const std::map<std::string, Tally>& tallies) {
  std::string out;
  for (const auto& [name, t] : tallies)
    out += fmt::format(
        "{}\"{}\":{{\"routes_a\":{},\"routes_b\":{},\"same\":{},\"differ\":{},\"only_a\":{},\"only_b\":{},"
        "\"accepted\":{}}}",
        out.empty() ? "" : ",", JsonEscape(name), t.routes[0], t.routes[1], t.same, t.differ, t.onlyA, t.onlyB,
        t.accepted);
  return "{" + out + "}";
}

void WriteJsonl(const ReportData& d, const Describer& records, BlockWriter& out) {
  const Comparison& c = *d.comparison;
  std::string inputs;
  for (int s = 0; s < 2; ++s) {
    for (const Source& source : d.table[s]->sources) {
      std::string counts;
      for (std::size_t k = 0; k < kLineKinds; ++k)
        counts += fmt::format("{}\"{}\":{}", k ? "," : "", kLineKindNames[k], source.counts[k]);
      inputs += fmt::format(
          "{}{{\"side\":\"{}\",\"name\":\"{}\",\"size\":{},\"sha256\":\"{}\",\"lines\":{},\"header\":{},"
          "\"route\":{},\"continuation\":{},\"unparsed\":{},\"counts\":{{{}}}}}",
          inputs.empty() ? "" : ",", kSideName[s], JsonEscape(source.name), source.size, source.sha256, source.Lines(),
          source.Header(), source.Count(LineKind::Route), source.Count(LineKind::Continuation),
          source.Count(LineKind::Unparsed), counts);
    }
  }
  Put(out, "{{\"type\":\"head\",\"version\":\"{}\",\"rules\":{},\"inputs\":[{}]}}\n", d.version,
      JsonList(RulesInWords(d)), inputs);
  std::string kinds;
  for (int k = 0; k < kDiffKinds; ++k)
    kinds += fmt::format("{}\"{}\":{}", k ? "," : "", kDiffKindNames[k], c.perKind[k]);
  const Table& a = *d.table[0];
  const Table& b = *d.table[1];
  Put(out,
      "{{\"type\":\"summary\",\"routes_a\":{},\"routes_b\":{},\"same\":{},\"differ\":{},\"only_a\":{},\"only_b\":{},"
      "\"accepted\":{},\"left_out_a\":{},\"left_out_b\":{},\"kinds\":{{{}}},\"by_vrf\":{},\"by_protocol\":{},"
      "\"interfaces_not_compared\":{},\"unread_a\":{},\"unread_b\":{},\"notices\":{},\"warnings\":{},"
      "\"warnings_not_listed\":{},\"unparsed\":{},\"unparsed_not_listed\":{}}}\n",
      c.routes[0], c.routes[1], c.same, c.differ, c.onlyA, c.onlyB, c.accepted, c.ignored[0], c.ignored[1], kinds,
      JsonTallies(c.byVrf), JsonTallies(c.byProtocol), c.interfacesNotCompared, c.unread[0], c.unread[1],
      JsonList(Notices(c)), a.Warnings() + b.Warnings() + c.warnings.size(),
      a.Warnings() + b.Warnings() - a.warnings.size() - b.warnings.size(), a.Unparsed() + b.Unparsed(),
      a.Unparsed() + b.Unparsed() - a.unparsed.size() - b.unparsed.size());
  for (std::size_t i = 0; i < records.Size(); ++i) {
    const DiffRecord v = records[i];
    std::string sides, interfaces;
    for (int s = 0; s < 2; ++s) {
      const SideRecord& side = v.side[s];
      sides += fmt::format(",\"{}\":", s ? 'b' : 'a');
      sides += side.present
                   ? fmt::format(
                         "{{\"protocol\":\"{}\",\"bracket\":\"{}\",\"next_hops\":{},\"file\":\"{}\","
                         "\"line\":{}}}",
                         JsonEscape(side.protocol), side.bracket, JsonList(side.hops), JsonEscape(side.file), side.line)
                   : "null";
    }
    for (const auto& [ia, ib] : v.interfaces)
      interfaces +=
          fmt::format("{}{{\"a\":\"{}\",\"b\":\"{}\"}}", interfaces.empty() ? "" : ",", JsonEscape(ia), JsonEscape(ib));
    Put(out,
        "{{\"type\":\"route\",\"vrf\":\"{}\",\"family\":\"{}\",\"prefix\":\"{}\",\"status\":\"{}\","
        "\"differences\":{},\"accepted\":{}{},\"removed\":{},\"added\":{},\"interfaces\":[{}],\"covering\":\"{}\"}}\n",
        JsonEscape(v.vrf), v.v6 ? "ipv6" : "ipv4", v.prefix, kDiffStatusNames[static_cast<int>(v.status)],
        JsonList(v.differences), v.accepted, sides, JsonList(v.removed), JsonList(v.added), interfaces,
        JsonEscape(v.covering));
  }
  for (int s = 0; s < 2; ++s) {
    const Table& t = *d.table[s];
    for (const Warning& w : t.warnings)
      Put(out, "{{\"type\":\"warning\",\"side\":\"{}\",\"kind\":\"{}\",\"file\":\"{}\",\"line\":{},\"text\":\"{}\"}}\n",
          kSideName[s], kWarningNames[static_cast<int>(w.kind)], JsonEscape(t.sources[w.source].name), w.line,
          JsonEscape(w.text));
  }
  for (const auto& warning : c.warnings)
    Put(out,
        "{{\"type\":\"warning\",\"side\":null,\"kind\":\"comparison\",\"file\":null,\"line\":null,\"text\":\"{}\"}}\n",
        JsonEscape(warning));
  // An unparsed line as text, decoded from Shift-JIS where it is that, and
  // its bytes in hexadecimal as well where it is neither UTF-8 nor Shift-JIS.
  for (int s = 0; s < 2; ++s) {
    const Table& t = *d.table[s];
    for (std::size_t i = 0; i < t.unparsed.size(); ++i) {
      const std::string& bytes = d.unparsedText[s][i];
      bool exact = true;
      const std::string text = Decoded(bytes, &exact);
      std::string raw;
      for (std::size_t k = 0; !exact && k < bytes.size(); ++k)
        raw += fmt::format("{:02x}", static_cast<unsigned char>(bytes[k]));
      Put(out, "{{\"type\":\"unparsed\",\"side\":\"{}\",\"file\":\"{}\",\"line\":{},\"text\":\"{}\"{}}}\n",
          kSideName[s], JsonEscape(t.sources[t.unparsed[i].source].name), t.unparsed[i].line, JsonEscape(text),
          exact ? "" : ",\"raw\":\"" + raw + "\"");
    }
  }
}

}  // namespace

std::string LeftOut(const Comparison& c) {
  if (c.ignored[0] + c.ignored[1] == 0) return "";
  return fmt::format("; left out: A {}, B {} (local or repeated routes)", c.ignored[0], c.ignored[1]);
}

std::vector<std::string> Notices(const Comparison& c) {
  std::vector<std::string> out;
  if (c.interfacesNotCompared)
    out.push_back(fmt::format("{} routes have next hops by interface only, names not compared: give --ifmap",
                              c.interfacesNotCompared));
  for (int s = 0; s < 2; ++s)
    if (c.unread[s])
      out.push_back(fmt::format("nothing was read from {}: no route in its logs, so the comparison proves nothing",
                                kSideName[s]));
  return out;
}

std::vector<std::string> RulesInWords(const ReportData& d) {
  const Rules& r = *d.rules;
  std::vector<std::string> out;
  static const char* const kLayouts[] = {"unknown", "IX", "Cisco IOS", "NX-OS"};
  const Table& a = *d.table[0];
  const Table& b = *d.table[1];
  switch (NamingOf(a, b, r)) {
    case Naming::Mapped:
      out.push_back("next hops by number, address, VRF and interface, names mapped by " + d.interfaceMapName);
      break;
    case Naming::Exact:
      out.push_back(fmt::format("next hops by number, address, VRF and interface, names as they are (both logs {})",
                                kLayouts[static_cast<int>(a.layout)]));
      break;
    case Naming::None:
      out.push_back(fmt::format(
          "next hops by number, address and VRF; interface names not compared ({}), except Null0; a link-local "
          "address counts once per interface",
          r.ignoreInterfaces ? "ignored"
                             : fmt::format("layouts {} and {}, no --ifmap", kLayouts[static_cast<int>(a.layout)],
                                           kLayouts[static_cast<int>(b.layout)])));
      break;
  }
  std::vector<std::string> ignored;
  if (r.ignoreDistance) ignored.push_back("distance");
  if (r.ignoreMetric) ignored.push_back("metric");
  if (r.ignoreProtocol) ignored.push_back("protocol");
  if (r.ignoreCandidate) ignored.push_back("candidate default");
  if (r.ignoreLocal) ignored.push_back("local routes");
  if (!ignored.empty()) out.push_back("ignored: " + Join(ignored, ", "));
  out.push_back(r.vendorDefaults ? "vendor defaults compared: static metrics, brackets printed on one side only"
                                 : "vendor defaults not compared: static metrics, brackets printed on one side only");
  out.push_back("never compared: ages, the order of routes and of next hops");
  return out;
}

std::string Decoded(std::string_view text, bool* exact) {
  if (exact) *exact = true;
  if (Utf8(text)) return std::string(text);
  std::string out, decoded;
  for (std::size_t start = 0; start <= text.size();) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    const std::string_view line = text.substr(start, end - start);
    if (Utf8(line)) {
      out.append(line);
    } else if (platform::DecodeCp932(std::string(line), &decoded)) {
      out += decoded;
    } else {
      out += Escaped(line, [](unsigned char c, bool valid) -> std::optional<std::string> {
        if (valid) return std::nullopt;
        return fmt::format("\\x{:02x}", c);
      });
      if (exact) *exact = false;
    }
    if (end < text.size()) out += '\n';
    start = end + 1;
  }
  return out;
}

std::string Printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = Utf8Length(text, i);
    const std::uint32_t c = n ? CodePoint(text, i, n) : static_cast<unsigned char>(text[i]);
    if (n == 0 || c < 0x20 || c == 0x7f) {
      out += c == '\n' ? std::string("\\n") : c == '\t' ? std::string("\\t") : fmt::format("\\x{:02x}", c);
    } else if ((c >= 0x80 && c <= 0x9f) || (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069)) {
      out += fmt::format("\\u{:04x}", c);
    } else {
      out.append(text.substr(i, n));
    }
    i += std::max<std::size_t>(n, 1);
  }
  return out;
}

std::string JsonEscape(std::string_view text) {
  return Escaped(text, [](unsigned char c, bool valid) -> std::optional<std::string> {
    if (c == '"' || c == '\\') return std::string{'\\', static_cast<char>(c)};
    if (c < 0x20 || !valid) return fmt::format("\\u{:04x}", c);
    return std::nullopt;
  });
}

std::string HtmlEscape(std::string_view text) {
  return Escaped(text, [](unsigned char c, bool valid) -> std::optional<std::string> {
    if (!valid) return fmt::format("&#x{:x};", c);
    if (c == '<') return "&lt;";
    if (c == '>') return "&gt;";
    if (c == '&') return "&amp;";
    if (c == '"') return "&quot;";
    return std::nullopt;
  });
}

void WriteReport(Format format, const ReportData& data, BlockWriter& out) {
  const Describer records(*data.table[0], *data.table[1], *data.comparison, *data.rules, data.covering);
  switch (format) {
    case Format::Text: WriteText(data, records, out); break;
    case Format::Csv: WriteCsv(data, records, out); break;
    case Format::Jsonl: WriteJsonl(data, records, out); break;
    case Format::Html: WriteHtml(data, records, out); break;
  }
  out.Flush();
}

// Fetches the raw lines the report shows: the unparsed lines, and the
// routes of the differences (or of --explain).
void FetchRawLines(FileSystem& fs, ReportData& data, bool unparsed, std::size_t routes,
                   const std::vector<std::uint32_t> (&explained)[2], const WaitHook& onWait) {
  for (int s = 0; s < 2; ++s) {
    const Table& t = *data.table[s];
    std::vector<RawRequest> requests;
    std::vector<std::uint32_t> routeOf;
    if (unparsed)
      for (const auto& u : t.unparsed) requests.push_back({u.source, u.offset, u.size, {}});
    const std::size_t firstRoute = requests.size();
    auto addRoute = [&](std::uint32_t i) {
      const Route& r = t.routes[i];
      requests.push_back({r.source, r.offset, r.span, {}});
      routeOf.push_back(i);
    };
    for (std::size_t i = 0; i < data.comparison->diffs.size() && i < routes; ++i) {
      const std::uint32_t index = s ? data.comparison->diffs[i].b : data.comparison->diffs[i].a;
      if (index != kAbsent) addRoute(index);
    }
    for (const auto i : explained[s]) addRoute(i);
    std::vector<RawRequest*> pointers;
    for (auto& r : requests) pointers.push_back(&r);
    FetchRaw(fs, t, pointers, onWait);
    for (std::size_t i = 0; i < firstRoute; ++i) {
      std::string& text = requests[i].text;
      if (!text.empty() && text.back() == '\r') text.pop_back();
      data.unparsedText[s].push_back(std::move(text));
    }
    for (std::size_t i = firstRoute; i < requests.size(); ++i) {
      std::string text;  // the lines with LF alone at their ends, whether they ended in CR LF, CR or LF
      const std::string& raw = requests[i].text;
      for (std::size_t k = 0; k < raw.size(); ++k)
        if (raw[k] != '\r')
          text += raw[k];
        else if (k + 1 == raw.size() || raw[k + 1] != '\n')
          text += '\n';
      data.routeText[s][routeOf[i - firstRoute]] = std::move(text);
    }
  }
}

}  // namespace kestrel::compare
