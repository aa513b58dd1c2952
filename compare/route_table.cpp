#include "route_table.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <numeric>

#include "sha256.h"

namespace kestrel::compare {
namespace {

constexpr std::size_t kLongestLine = 64 * 1024;  // the rest of a longer line is not looked at

std::uint32_t Mask(int length) { return length == 0 ? 0 : ~std::uint32_t{0} << (32 - length); }

// The length an old release leaves out: the network's class (A, B, C).
int ClassfulLength(std::uint32_t address) { return address < 0x80000000u ? 8 : address < 0xC0000000u ? 16 : 24; }

}  // namespace

Address Masked(const Address& a, int length) {
  if (!a.v6) return {0, a.lo & Mask(length)};
  if (length <= 64) return {length == 0 ? 0 : a.hi & ~std::uint64_t{0} << (64 - length), 0, true};
  return {a.hi, length == 128 ? a.lo : a.lo & ~std::uint64_t{0} << (128 - length), true};
}

std::uint64_t Source::Lines() const { return std::accumulate(std::begin(counts), std::end(counts), std::uint64_t{0}); }

std::uint64_t Source::Header() const {
  return Lines() - Count(LineKind::Route) - Count(LineKind::Continuation) - Count(LineKind::Unparsed);
}

std::uint64_t Table::Warnings() const {
  return std::accumulate(std::begin(warningCounts), std::end(warningCounts), std::uint64_t{0});
}

std::uint32_t TableReader::Intern(Ids& ids, std::vector<std::string>& names, std::string_view name) {
  if (const auto found = ids.find(name); found != ids.end()) return found->second;
  const auto id = static_cast<std::uint32_t>(names.size());
  names.emplace_back(name);
  ids.emplace(std::string(name), id);
  return id;
}

void TableReader::BeginSource(std::string name, std::uint64_t sizeHint) {
  if (table_.sources.size() >= UINT16_MAX) throw std::length_error("too many logs");
  source_ = static_cast<std::uint16_t>(table_.sources.size());
  table_.sources.emplace_back().name = std::move(name);
  lineNumber_ = 0;
  // A route takes one line of some 50 bytes or more: room reserved for that
  // many costs memory only where it is used.
  table_.routes.reserve(table_.routes.size() + sizeHint / 40);
  table_.hops.reserve(table_.hops.size() + sizeHint / 35);
}

void TableReader::Warn(WarningKind kind, std::string text, std::uint32_t line) {
  if (table_.warningCounts[static_cast<int>(kind)]++ < kWarningsKept)
    table_.warnings.push_back({kind, line ? section_.source : source_, line ? line : lineNumber_, std::move(text)});
}

void TableReader::Line(std::string_view text, std::uint64_t offset) {
  ++lineNumber_;
  ParsedLine p = ParseLine(text);
  if (p.kind == LineKind::Route && !AddRoute(p, offset, text.size())) p.kind = LineKind::Unparsed;
  if (p.kind == LineKind::Continuation && !Continue(p, offset, text.size())) p.kind = LineKind::Unparsed;
  switch (p.kind) {
    case LineKind::Prompt:
    case LineKind::Legend:
    case LineKind::Gateway:
    case LineKind::TableSummary:
    case LineKind::Vrf:
      current_ = -1;
      if (p.setsVrf) {
        vrf_ = static_cast<std::uint16_t>(Intern(vrfIds_, table_.vrfs, p.vrf));
        classful_.subnetted = false;
        if (p.kind == LineKind::Prompt || p.kind == LineKind::Vrf) CloseSection();
      }
      if (p.entries >= 0) {
        CloseSection();
        section_.open = true, section_.entries = p.entries, section_.hidden = p.hidden;
        section_.source = source_, section_.line = lineNumber_;
      }
      if (p.perProtocol[0] >= 0 && section_.open) std::copy_n(p.perProtocol, 5, section_.announced);
      break;
    case LineKind::Classful:
      classful_.subnetted = p.subnetted && !p.prefix.v6;
      classful_.network = static_cast<std::uint32_t>(p.prefix.lo) & Mask(ClassfulLength(p.prefix.lo));
      classful_.length = p.length;
      break;
    case LineKind::Unparsed:
      table_.unparsed.push_back({offset, lineNumber_, static_cast<std::uint32_t>(text.size()), source_});
      break;
    default: break;
  }
  ++table_.sources[source_].counts[static_cast<int>(p.kind)];
}

bool TableReader::AddRoute(const ParsedLine& p, std::uint64_t offset, std::size_t size) {
  int length = p.length;
  if (length < 0) {
    if (p.prefix.v6) return false;
    const auto address = static_cast<std::uint32_t>(p.prefix.lo);
    const bool underSummary =
        classful_.subnetted && classful_.length >= 0 && (address & Mask(ClassfulLength(address))) == classful_.network;
    length = underSummary ? classful_.length : ClassfulLength(address);
  }
  const Address prefix = Masked(p.prefix, length);
  if (!(prefix == p.prefix))
    Warn(WarningKind::HostBits, FormatAddress(p.prefix) + "/" + std::to_string(length) + " has host bits set");
  Route route{};
  route.offset = offset;
  route.span = static_cast<std::uint32_t>(size);
  route.line = lineNumber_;
  route.source = source_;
  route.vrf = vrf_;
  route.length = static_cast<std::uint8_t>(length);
  route.distance = p.distance;
  route.metric = p.metric;
  route.flags = static_cast<std::uint8_t>((p.prefix.v6 ? kV6 : 0) | (p.hasBracket ? kBracket : 0) |
                                          (p.candidate ? kCandidate : 0) | (p.body == Body::None ? kHeadOnly : 0));
  std::memcpy(route.protocol, p.protocol, sizeof route.protocol);
  if (prefix.v6) {
    route.address = static_cast<std::uint32_t>(table_.v6.size());
    table_.v6.push_back(prefix);
  } else {
    route.address = static_cast<std::uint32_t>(prefix.lo);
  }
  route.firstHop = static_cast<std::uint32_t>(table_.hops.size());
  current_ = static_cast<std::int64_t>(table_.routes.size());
  table_.routes.push_back(route);
  AddHop(p);
  if (section_.open) {
    ++section_.read;
    if (const void* k = std::memchr(kSummaryProtocols, p.protocol[0], sizeof kSummaryProtocols))
      ++section_.readPer[static_cast<const char*>(k) - kSummaryProtocols];
  }
  return true;
}

void TableReader::AddHop(const ParsedLine& p) {
  if (!p.hasHopAddress && p.interface.empty()) return;
  Route& route = table_.routes[current_];
  if (route.hopCount == UINT16_MAX) return;
  Hop hop{};
  if (p.hasHopAddress) {
    hop.hasAddress = 1;
    hop.v6 = p.hop.v6;
    hop.address = static_cast<std::uint32_t>(p.hop.lo);
    if (p.hop.v6) {
      hop.address = static_cast<std::uint32_t>(table_.v6.size());
      table_.v6.push_back(p.hop);
    }
  }
  hop.interface = Intern(interfaceIds_, table_.interfaces, p.interface) & 0x3FFFFFFF;
  table_.hops.push_back(hop);
  ++route.hopCount;
}

bool TableReader::Continue(const ParsedLine& p, std::uint64_t offset, std::size_t size) {
  if (current_ < 0) return false;
  Route& route = table_.routes[current_];
  if (p.hasBracket) {
    if (!route.Is(kBracket) && route.hopCount == 0) {
      // The rest of a wrapped head: the route's own bracket.
      route.flags |= kBracket;
      route.distance = p.distance;
      route.metric = p.metric;
    } else if (route.Is(kBracket) && (p.distance != route.distance || p.metric != route.metric)) {
      Warn(WarningKind::Bracket, "a next hop of " + FormatPrefix(table_.Prefix(route), route.length) + " carries [" +
                                     std::to_string(p.distance) + "/" + std::to_string(p.metric) +
                                     "], its route's first line [" + std::to_string(route.distance) + "/" +
                                     std::to_string(route.metric) + "]");
    }
  }
  route.flags &= ~kHeadOnly;
  if (route.source == source_) route.span = static_cast<std::uint32_t>(offset + size - route.offset);
  AddHop(p);
  return true;
}

void TableReader::CloseSection() {
  if (!section_.open) return;
  section_.open = false;
  static const char* const kNames[5] = {"connected", "static", "RIP", "OSPF", "BGP"};
  if (section_.entries >= 0 && section_.read != section_.entries && section_.read != section_.entries - section_.hidden)
    Warn(WarningKind::Totals,
         "the table's head announces " + std::to_string(section_.entries) + " entries, " +
             std::to_string(section_.read) + " routes were read",
         section_.line);
  for (int i = 0; i < 5; ++i)
    if (section_.announced[i] >= 0 && section_.announced[i] != section_.readPer[i])
      Warn(WarningKind::Totals,
           "the table's head announces " + std::to_string(section_.announced[i]) + " " + kNames[i] + " routes, " +
               std::to_string(section_.readPer[i]) + " were read",
           section_.line);
  section_ = {};
}

void TableReader::Finish() {
  CloseSection();
  // VRFs numbered in the order of their names, so that both sides sort alike.
  std::vector<std::uint16_t> order(table_.vrfs.size()), rank(table_.vrfs.size());
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](auto a, auto b) { return table_.vrfs[a] < table_.vrfs[b]; });
  std::vector<std::string> names;
  for (std::size_t i = 0; i < order.size(); ++i) rank[order[i]] = static_cast<std::uint16_t>(i);
  for (const auto i : order) names.push_back(std::move(table_.vrfs[i]));
  table_.vrfs = std::move(names);
  for (Route& route : table_.routes) route.vrf = rank[route.vrf];

  const auto& v6 = table_.v6;
  auto key = [&](const Route& r) {
    const Address a = r.Is(kV6) ? v6[r.address] : Address{0, r.address};
    return std::make_tuple(r.vrf, r.flags & kV6, a.hi, a.lo, r.length);
  };
  std::sort(table_.routes.begin(), table_.routes.end(), [&](const Route& a, const Route& b) {
    if (a.vrf != b.vrf || ((a.flags ^ b.flags) & kV6) || (a.flags & kV6)) {
      const auto ka = key(a), kb = key(b);
      if (ka != kb) return ka < kb;
    } else if (a.address != b.address || a.length != b.length) {
      return a.address != b.address ? a.address < b.address : a.length < b.length;
    }
    return std::tie(a.source, a.line) < std::tie(b.source, b.line);
  });
  for (std::size_t i = 1; i < table_.routes.size(); ++i) {
    Route& route = table_.routes[i];
    const Route& before = table_.routes[i - 1];
    if (key(route) != key(before)) continue;
    route.flags |= kDuplicate;
    source_ = route.source;
    lineNumber_ = route.line;
    const Route& first =
        *std::find_if(table_.routes.rend() - i, table_.routes.rend(), [](const Route& r) { return !r.Is(kDuplicate); });
    Warn(WarningKind::Duplicate, FormatPrefix(table_.Prefix(route), route.length) + " again, first at " +
                                     table_.sources[first.source].name + ":" + std::to_string(first.line));
  }
}

void ReadLog(FileSystem& fs, TableReader& reader, Table& table, const std::string& name, bool keepStandardInput,
             const WaitHook& onWait) {
  const bool standardInput = name == "-";
  const FileHandle file = standardInput ? 0 : fs.OpenRead(name);
  if (file == kNoFile) throw IoError(name, errno);
  struct Closer {
    FileSystem& fs;
    FileHandle file;
    bool owned;
    ~Closer() {
      if (owned) fs.Close(file);
    }
  } closer{fs, file, !standardInput};
  FileInfo info;
  if (fs.Info(file, &info) != 0) throw IoError(name, errno);
  if (info.kind == FileKind::Directory) throw IoError(name, EISDIR);
  reader.BeginSource(standardInput ? "standard input" : name, info.kind == FileKind::Regular ? info.size : 0);
  Source& source = table.sources.back();
  source.keptBytes = standardInput && keepStandardInput;
  BlockReader::Options options;
  options.waitForWriter = !standardInput && info.kind == FileKind::Pipe;
  BlockReader in(fs, file, name, onWait, options);
  Sha256 sha;
  std::string carry;  // a line begun in an earlier block
  std::uint64_t total = 0, lineStart = 0;
  auto line = [&](std::string_view text) {
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    reader.Line(text, lineStart);
  };
  for (std::string_view data = in.Available(); !data.empty(); data = in.Available()) {
    sha.Update(data);
    if (source.keptBytes) source.bytes.append(data);
    std::size_t start = 0;
    while (const void* lf = std::memchr(data.data() + start, '\n', data.size() - start)) {
      const std::size_t end = static_cast<const char*>(lf) - data.data();
      if (lineStart < total) {
        carry.append(data.substr(start, std::min(end - start, kLongestLine - std::min(kLongestLine, carry.size()))));
        line(carry);
        carry.clear();
      } else {
        line(data.substr(start, std::min(end - start, kLongestLine)));
      }
      lineStart = total + end + 1;
      start = end + 1;
    }
    carry.append(
        data.substr(start, std::min(data.size() - start, kLongestLine - std::min(kLongestLine, carry.size()))));
    total += data.size();
    in.Consume(data.size());
  }
  if (lineStart < total) line(carry);
  source.size = total;
  source.sha256 = sha.HexDigest();
}

void FetchRaw(FileSystem& fs, const Table& table, std::vector<RawRequest*>& requests) {
  std::sort(requests.begin(), requests.end(),
            [](auto a, auto b) { return std::tie(a->source, a->offset) < std::tie(b->source, b->offset); });
  for (auto first = requests.begin(); first != requests.end();) {
    const Source& source = table.sources[(*first)->source];
    auto last = std::find_if(first, requests.end(), [&](auto r) { return r->source != (*first)->source; });
    if (source.keptBytes) {
      for (auto r = first; r != last; ++r) (*r)->text = source.bytes.substr((*r)->offset, (*r)->size);
    } else {
      const FileHandle file = fs.OpenRead(source.name);
      if (file == kNoFile) throw IoError(source.name, errno);
      BlockReader in(fs, file, source.name, {}, {});
      std::uint64_t position = 0;
      auto r = first;
      try {
        for (std::string_view data = in.Available(); !data.empty() && r != last; data = in.Available()) {
          // Every request that starts or goes on in this block takes its part.
          for (auto q = r; q != last && (*q)->offset < position + data.size(); ++q) {
            const std::uint64_t from = std::max((*q)->offset, position), to = (*q)->offset + (*q)->size;
            if (to > from)
              (*q)->text.append(data.substr(from - position, std::min(to - position, data.size()) - (from - position)));
          }
          position += data.size();
          while (r != last && (*r)->offset + (*r)->size <= position) ++r;
          in.Consume(data.size());
        }
      } catch (...) {
        fs.Close(file);
        throw;
      }
      fs.Close(file);
    }
    first = last;
  }
}

std::string FormatAddress(const Address& a) {
  char text[48];
  if (!a.v6) {
    const auto v = static_cast<std::uint32_t>(a.lo);
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", v >> 24, v >> 16 & 255, v >> 8 & 255, v & 255);
    return text;
  }
  std::uint16_t groups[8];
  for (int i = 0; i < 4; ++i) groups[i] = static_cast<std::uint16_t>(a.hi >> (48 - 16 * i));
  for (int i = 0; i < 4; ++i) groups[4 + i] = static_cast<std::uint16_t>(a.lo >> (48 - 16 * i));
  // The longest run of two or more zero groups becomes "::".
  int bestStart = -1, bestLength = 1;
  for (int i = 0; i < 8;) {
    int j = i;
    while (j < 8 && groups[j] == 0) ++j;
    if (j - i > bestLength) bestStart = i, bestLength = j - i;
    i = j == i ? i + 1 : j;
  }
  std::string out;
  for (int i = 0; i < 8; ++i) {
    if (i == bestStart) {
      out += "::";
      i += bestLength - 1;
      continue;
    }
    if (!out.empty() && out.back() != ':') out += ':';
    std::snprintf(text, sizeof text, "%x", groups[i]);
    out += text;
  }
  return out;
}

std::string FormatPrefix(const Address& address, int length) {
  return FormatAddress(address) + "/" + std::to_string(length);
}

}  // namespace kestrel::compare
