#include "report.h"

#include <fmt/format.h>

#include <algorithm>
#include <optional>

namespace kestrel::compare {
namespace {

const char* const kLineKindNames[kLineKinds] = {"blank", "prompt",   "legend", "gateway",      "table head",
                                                "vrf",   "classful", "route",  "continuation", "unparsed"};
const char* const kWarningNames[kWarningKinds] = {"duplicate", "host-bits", "bracket", "totals"};
const char kSideName[2] = {'A', 'B'};

// Appends formatted text to the writer.
template <typename... T>
void Put(BlockWriter& out, fmt::format_string<T...> format, T&&... args) {
  fmt::memory_buffer buffer;
  fmt::format_to(std::back_inserter(buffer), format, std::forward<T>(args)...);
  out.Append({buffer.data(), buffer.size()});
}

// The length of the UTF-8 sequence at `i`, or 0 when the byte starts none.
std::size_t Utf8Length(std::string_view s, std::size_t i) {
  const auto c = static_cast<unsigned char>(s[i]);
  const std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
  if (n == 0 || i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k)
    if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2) return 0;
  return n;
}

std::string Status(const RouteDiff& diff) {
  return diff.kinds & kOnlyA ? "only-a" : diff.kinds & kOnlyB ? "only-b" : "differs";
}

std::string KindList(std::uint8_t kinds, const char* separator) {
  std::string out;
  for (int k = 2; k < kDiffKinds; ++k)
    if (kinds & (1 << k)) out += (out.empty() ? "" : separator) + std::string(kDiffKindNames[k]);
  return out;
}

std::string Join(const std::vector<std::string>& items, const char* separator) {
  std::string out;
  for (const auto& item : items) out += (out.empty() ? "" : separator) + item;
  return out;
}

std::string Where(const DiffView& view) {
  std::string out;
  for (int s = 0; s < 2; ++s)
    if (view.side[s].present)
      out += fmt::format("{}{} {}:{}", out.empty() ? "" : ", ", kSideName[s], view.side[s].file, view.side[s].line);
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
  return fmt::format("routes compared: A {}, B {}; {} same, {} differ, {} only in A, {} only in B{}", c.routes[0],
                     c.routes[1], c.same, c.differ, c.onlyA, c.onlyB, LeftOut(c));
}

// One difference on one line of the terminal summary.
std::string TextLine(const DiffView& v) {
  std::string what;
  auto side = [](const SideView& s) {
    return Join({s.protocol + (s.bracket.empty() ? "" : " " + s.bracket), Join(s.hops, ", ")}, " ");
  };
  if (v.kinds & (kOnlyA | kOnlyB)) {
    what = side(v.side[v.kinds & kOnlyA ? 0 : 1]);
    if (!v.covering.empty()) what += "; covered by " + v.covering;
  } else {
    std::vector<std::string> parts;
    if (v.kinds & kHops) {
      std::vector<std::string> hops;
      for (const auto& h : v.removed) hops.push_back("-" + h);
      for (const auto& h : v.added) hops.push_back("+" + h);
      parts.push_back("next hops " + Join(hops, " "));
    }
    const auto& a = v.side[0];
    const auto& b = v.side[1];
    if (v.kinds & (kDistance | kMetric))
      parts.push_back(KindList(v.kinds & (kDistance | kMetric), " and ") + " " +
                      (a.bracket.empty() ? "none" : a.bracket) + " -> " + (b.bracket.empty() ? "none" : b.bracket));
    if (v.kinds & kProtocol) parts.push_back("protocol " + a.protocol + " -> " + b.protocol);
    if (v.kinds & kCandidateDefault) parts.push_back("candidate default " + a.protocol + " -> " + b.protocol);
    what = Join(parts, "; ");
  }
  const std::string status = v.kinds & kOnlyA ? "only in A" : v.kinds & kOnlyB ? "only in B" : "differs";
  const std::string prefix = v.vrf.empty() ? v.prefix : "vrf " + v.vrf + " " + v.prefix;
  return fmt::format("  {:<10} {:<20} {}  ({})\n", status, prefix, what, Where(v));
}

void WriteText(const ReportData& d, BlockWriter& out) {
  const Comparison& c = *d.comparison;
  Put(out, "kestrel-compare {}\n", d.version);
  for (int s = 0; s < 2; ++s)
    for (const Source& source : d.table[s]->sources)
      Put(out, "{}: {}, {} bytes, sha256 {}\n   {}\n", kSideName[s], source.name, source.size, source.sha256,
          LineCounts(source));
  for (const auto& rule : RulesInWords(d)) Put(out, "rules: {}\n", rule);
  Put(out, "{}\n", Summary(c));
  for (int s = 0; s < 2; ++s) {
    const Table& t = *d.table[s];
    if (t.Warnings() > 0) Put(out, "{}: {} warnings\n", kSideName[s], t.Warnings());
    for (std::size_t i = 0; i < t.warnings.size() && i < d.shown; ++i) {
      const Warning& w = t.warnings[i];
      Put(out, "  warning: {}:{}: {}\n", t.sources[w.source].name, w.line, w.text);
    }
    if (!t.unparsed.empty())
      Put(out, "{}: {} unparsed lines{}\n", kSideName[s], t.unparsed.size(),
          d.showUnparsed ? "" : " (--show-unparsed lists them)");
    for (std::size_t i = 0; d.showUnparsed && i < t.unparsed.size(); ++i)
      Put(out, "  {}:{}: {}\n", t.sources[t.unparsed[i].source].name, t.unparsed[i].line, d.unparsedText[s][i]);
  }
  if (c.diffs.empty()) return Put(out, "the tables are the same under these rules\n");
  Put(out, "differences: {}{}\n", c.diffs.size(),
      c.diffs.size() > d.shown ? fmt::format(" (the first {}; -v lists all)", d.shown) : "");
  for (std::size_t i = 0; i < c.diffs.size() && i < d.shown; ++i)
    out.Append(TextLine(Describe(*d.table[0], *d.table[1], c.diffs[i], *d.rules, d.covering)));
}

std::string Csv(std::string_view field) {
  if (field.find_first_of(",\"\n\r") == std::string_view::npos) return std::string(field);
  std::string out = "\"";
  for (const char c : field) out += c == '"' ? "\"\"" : std::string(1, c);
  return out + "\"";
}

void WriteCsv(const ReportData& d, BlockWriter& out) {
  // The head as comment lines, which CSV readers can be told to skip.
  Put(out, "# kestrel-compare {}\n", d.version);
  for (int s = 0; s < 2; ++s)
    for (const Source& source : d.table[s]->sources)
      Put(out, "# {}: {}, {} bytes, sha256 {}, {}\n", kSideName[s], source.name, source.size, source.sha256,
          LineCounts(source));
  for (const auto& rule : RulesInWords(d)) Put(out, "# rules: {}\n", rule);
  Put(out, "# {}\n", Summary(*d.comparison));
  out.Append(
      "vrf,family,prefix,status,differences,a_protocol,b_protocol,a_bracket,b_bracket,removed_next_hops,"
      "added_next_hops,a_next_hops,b_next_hops,a_file,a_line,b_file,b_line,covering\n");
  for (const RouteDiff& diff : d.comparison->diffs) {
    const DiffView v = Describe(*d.table[0], *d.table[1], diff, *d.rules, d.covering);
    const SideView& a = v.side[0];
    const SideView& b = v.side[1];
    Put(out, "{},{},{},{},{},{},{},{},{},{},{},{},{},{},{},{},{},{}\n", Csv(v.vrf), v.v6 ? "ipv6" : "ipv4", v.prefix,
        Status(diff), KindList(diff.kinds, " "), Csv(a.protocol), Csv(b.protocol), a.bracket, b.bracket,
        Csv(Join(v.removed, " ")), Csv(Join(v.added, " ")), Csv(Join(a.hops, " ")), Csv(Join(b.hops, " ")), Csv(a.file),
        a.present ? std::to_string(a.line) : "", Csv(b.file), b.present ? std::to_string(b.line) : "", Csv(v.covering));
  }
}

std::string JsonList(const std::vector<std::string>& items) {
  std::string out = "[";
  for (const auto& item : items) out += (out.size() > 1 ? ",\"" : "\"") + JsonEscape(item) + "\"";
  return out + "]";
}

void WriteJsonl(const ReportData& d, BlockWriter& out) {
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
  Put(out,
      "{{\"type\":\"summary\",\"routes_a\":{},\"routes_b\":{},\"same\":{},\"differ\":{},\"only_a\":{},\"only_b\":{},"
      "\"left_out_a\":{},\"left_out_b\":{},\"kinds\":{{{}}},\"warnings\":{},\"unparsed\":{}}}\n",
      c.routes[0], c.routes[1], c.same, c.differ, c.onlyA, c.onlyB, c.ignored[0], c.ignored[1], kinds,
      d.table[0]->Warnings() + d.table[1]->Warnings(), d.table[0]->unparsed.size() + d.table[1]->unparsed.size());
  for (const RouteDiff& diff : c.diffs) {
    const DiffView v = Describe(*d.table[0], *d.table[1], diff, *d.rules, d.covering);
    std::string sides;
    for (int s = 0; s < 2; ++s) {
      const SideView& side = v.side[s];
      sides += fmt::format(",\"{}\":", s ? 'b' : 'a');
      sides += side.present
                   ? fmt::format(
                         "{{\"protocol\":\"{}\",\"bracket\":\"{}\",\"next_hops\":{},\"file\":\"{}\","
                         "\"line\":{}}}",
                         JsonEscape(side.protocol), side.bracket, JsonList(side.hops), JsonEscape(side.file), side.line)
                   : "null";
    }
    std::vector<std::string> kindNames;
    for (int k = 2; k < kDiffKinds; ++k)
      if (diff.kinds & (1 << k)) kindNames.push_back(kDiffKindNames[k]);
    Put(out,
        "{{\"type\":\"route\",\"vrf\":\"{}\",\"family\":\"{}\",\"prefix\":\"{}\",\"status\":\"{}\","
        "\"differences\":{}{},\"removed\":{},\"added\":{},\"covering\":\"{}\"}}\n",
        JsonEscape(v.vrf), v.v6 ? "ipv6" : "ipv4", v.prefix, Status(diff), JsonList(kindNames), sides,
        JsonList(v.removed), JsonList(v.added), JsonEscape(v.covering));
  }
  for (int s = 0; s < 2; ++s) {
    const Table& t = *d.table[s];
    for (const Warning& w : t.warnings)
      Put(out, "{{\"type\":\"warning\",\"side\":\"{}\",\"kind\":\"{}\",\"file\":\"{}\",\"line\":{},\"text\":\"{}\"}}\n",
          kSideName[s], kWarningNames[static_cast<int>(w.kind)], JsonEscape(t.sources[w.source].name), w.line,
          JsonEscape(w.text));
    for (std::size_t i = 0; i < t.unparsed.size(); ++i)
      Put(out, "{{\"type\":\"unparsed\",\"side\":\"{}\",\"file\":\"{}\",\"line\":{},\"text\":\"{}\"}}\n", kSideName[s],
          JsonEscape(t.sources[t.unparsed[i].source].name), t.unparsed[i].line, JsonEscape(d.unparsedText[s][i]));
  }
}

}  // namespace

std::string LeftOut(const Comparison& c) {
  if (c.ignored[0] + c.ignored[1] == 0) return "";
  return fmt::format("; left out: A {}, B {} (local or repeated routes)", c.ignored[0], c.ignored[1]);
}

std::vector<std::string> RulesInWords(const ReportData& d) {
  const Rules& r = *d.rules;
  std::vector<std::string> out;
  out.push_back(r.CompareInterfaces() ? "next hops by address and interface, names mapped by " + d.interfaceMapName +
                                            "; connected routes by interface"
                                      : "next hops by address; interfaces not compared" +
                                            std::string(r.interfaceMap ? " (ignored)" : " (no --ifmap)"));
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

namespace {

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

}  // namespace

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
  switch (format) {
    case Format::Text: WriteText(data, out); break;
    case Format::Csv: WriteCsv(data, out); break;
    case Format::Jsonl: WriteJsonl(data, out); break;
    case Format::Html: WriteHtml(data, out); break;
  }
  out.Flush();
}

}  // namespace kestrel::compare
