#include "route_table.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <exception>
#include <numeric>
#include <thread>

#include "sha256.h"

namespace kestrel::compare {
namespace {

constexpr std::size_t kLongestLine = 64 * 1024;  // the rest of a longer line is not looked at

std::string LineTooLong(std::uint64_t line) {
  return InLanguage("line ", "") + std::to_string(line) +
         InLanguage(" is longer than 64 KiB: this is no routing table",
                    " 行目が 64 KiB を超えています（経路表ではありません）");
}

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
  ++layoutVotes_[static_cast<int>(p.layout)];
  if (p.kind == LineKind::Route && !AddRoute(p, offset, text.size())) p.kind = LineKind::Unparsed, p.routeLike = true;
  if (p.kind == LineKind::Continuation && !Continue(p, offset, text.size())) p.kind = LineKind::Unparsed;
  switch (p.kind) {
    case LineKind::Prompt:
    case LineKind::Legend:
    case LineKind::Gateway:
    case LineKind::TableSummary:
    case LineKind::Vrf:
      current_ = -1, unreadRoute_ = 0;
      if (p.setsVrf) {
        vrf_ = static_cast<std::uint16_t>(Intern(vrfIds_, table_.vrfs, p.vrf));
        classful_.subnetted = false;
        if (p.kind == LineKind::Prompt || p.kind == LineKind::Vrf) CloseSection();
      }
      if (p.entries >= 0 || p.entries == -2) {
        CloseSection();
        section_.open = true, section_.entries = p.entries, section_.hidden = p.hidden;
        section_.source = source_, section_.line = lineNumber_;
      }
      if (p.entries == -2 || std::count(p.perProtocol, p.perProtocol + 5, -2))
        Warn(WarningKind::Totals, "the table's head announces a count too big to check; its counts are not checked");
      if (std::count(p.perProtocol, p.perProtocol + 5, -1) < 5 && section_.open)
        for (int i = 0; i < 5; ++i) section_.announced[i] = p.perProtocol[i] == -2 ? -1 : p.perProtocol[i];
      break;
    case LineKind::Classful:
      unreadRoute_ = 0;
      classful_.subnetted = p.subnetted && !p.prefix.v6;
      classful_.network = static_cast<std::uint32_t>(p.prefix.lo) & Mask(ClassfulLength(p.prefix.lo));
      classful_.length = p.length;
      break;
    case LineKind::Unparsed:
      // A route's first line that could not be read: the next-hop lines
      // under it are its own, not the route's above.
      if (p.routeLike) current_ = -1, unreadRoute_ = lineNumber_;
      if (table_.unparsedCount++ < kUnparsedKept)
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
  unreadRoute_ = 0;
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
  // A next hop in the route's own table names no VRF, whatever the log says.
  const std::string& own = table_.vrfs[route.vrf];
  if (!p.hopVrf.empty() && p.hopVrf != own && !(own.empty() && p.hopVrf == "default"))
    hop.vrf = static_cast<std::uint16_t>(Intern(hopVrfIds_, table_.hopVrfs, p.hopVrf));
  hop.backup = p.backup;
  if (p.hasBracket && route.hopCount > 0 && (p.distance != route.distance || p.metric != route.metric)) {
    hop.ownBracket = 1;
    hop.distance = p.distance;
    hop.metric = p.metric;
    ownBrackets_.push_back(
        {static_cast<std::uint32_t>(current_), static_cast<std::uint32_t>(table_.hops.size()), lineNumber_, source_});
  }
  table_.hops.push_back(hop);
  ++route.hopCount;
}

bool TableReader::Continue(const ParsedLine& p, std::uint64_t offset, std::size_t size) {
  if (current_ < 0) {
    Warn(WarningKind::Unread, unreadRoute_ ? "a next hop of the route on line " + std::to_string(unreadRoute_) +
                                                 ", which could not be read; left out with it"
                                           : "a next hop with no route before it; left out");
    return false;
  }
  Route& route = table_.routes[current_];
  if (p.hasBracket && !route.Is(kBracket) && route.hopCount == 0) {
    // The rest of a wrapped head, or an NX-OS route's first path: the route's own bracket.
    route.flags |= kBracket;
    route.distance = p.distance;
    route.metric = p.metric;
  }
  if (route.protocol[0] == '\0') std::memcpy(route.protocol, p.protocol, sizeof route.protocol);
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

// A next hop's own bracket is real in a Cisco log (EIGRP's unequal-cost
// paths, NX-OS's per-path preference); in a log converted from the IX it is
// a copy an old conversion made, perhaps of another route's: the route's
// first line holds, with a warning.
void TableReader::CheckBrackets() {
  if (table_.layout == Layout::Ios || table_.layout == Layout::NxOs) return;
  for (const OwnBracket& own : ownBrackets_) {
    const Route& route = table_.routes[own.route];
    Hop& hop = table_.hops[own.hop];
    source_ = own.source;
    lineNumber_ = own.line;
    Warn(WarningKind::Bracket, "a next hop of " + FormatPrefix(table_.Prefix(route), route.length) + " carries [" +
                                   std::to_string(hop.distance) + "/" + std::to_string(hop.metric) +
                                   "], its route's first line [" + std::to_string(route.distance) + "/" +
                                   std::to_string(route.metric) + "]");
    hop.ownBracket = 0;
  }
  ownBrackets_.clear();
}

void TableReader::Finish() {
  CloseSection();
  // The layout most lines show; a tie, or none, leaves it unknown.
  const auto votes = layoutVotes_ + 1;
  const auto most = std::max_element(votes, votes + 3);
  if (*most > 0 && std::count(votes, votes + 3, *most) == 1) table_.layout = static_cast<Layout>(most - layoutVotes_);
  CheckBrackets();
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

namespace {

// A log's text, block by block: a UTF-8 byte-order mark left out, and
// UTF-16 with its mark (what Windows PowerShell 5's ">" writes) decoded into
// UTF-8. The offsets of lines count in this text, so that they find the same
// lines when the log is read again.
class LogText {
 public:
  LogText(BlockReader& in, Sha256* sha) : in_(in), sha_(sha) {
    while (head_.size() < 3) {
      const std::string_view data = Raw();
      if (data.empty()) break;
      head_.append(data);
    }
    const auto starts = [&](std::string_view mark) { return std::string_view(head_).substr(0, mark.size()) == mark; };
    if (starts("\xEF\xBB\xBF"))
      skip_ = 3;
    else if (starts("\xFF\xFE"))
      utf16_ = kLittleEndian, skip_ = 2;
    else if (starts("\xFE\xFF"))
      utf16_ = kBigEndian, skip_ = 2;
  }

  // The next stretch of text; empty at the end of the log. Valid until the next call.
  std::string_view Next() {
    while (true) {
      std::string_view data;
      bool end = false;
      if (skip_ <= head_.size()) {
        data = std::string_view(head_).substr(skip_);
        skip_ = head_.size() + 1;
        if (data.empty()) continue;  // the mark alone came first
      } else {
        data = Raw();
        end = data.empty();
      }
      if (!utf16_) return data;
      Decode(data, end);
      if (!out_.empty() || end) return out_;
    }
  }

 private:
  enum { kUtf8, kLittleEndian, kBigEndian };

  std::string_view Raw() {
    const std::string_view data = in_.Available();
    if (sha_) sha_->Update(data);
    in_.Consume(data.size());
    return data;
  }

  void Append(std::uint32_t c) {
    if (c < 0x80) {
      out_ += static_cast<char>(c);
    } else if (c < 0x800) {
      out_ += static_cast<char>(0xC0 | c >> 6), out_ += static_cast<char>(0x80 | (c & 63));
    } else if (c < 0x10000) {
      out_ += static_cast<char>(0xE0 | c >> 12), out_ += static_cast<char>(0x80 | (c >> 6 & 63));
      out_ += static_cast<char>(0x80 | (c & 63));
    } else {
      out_ += static_cast<char>(0xF0 | c >> 18), out_ += static_cast<char>(0x80 | (c >> 12 & 63));
      out_ += static_cast<char>(0x80 | (c >> 6 & 63)), out_ += static_cast<char>(0x80 | (c & 63));
    }
  }

  // UTF-16 into UTF-8: a unit split between blocks, or a pair of
  // surrogates, waits for its other half; what has none becomes U+FFFD.
  void Decode(std::string_view data, bool end) {
    out_.clear();
    for (const char byte : data) {
      if (odd_ < 0) {
        odd_ = static_cast<unsigned char>(byte);
        continue;
      }
      const auto next = static_cast<unsigned char>(byte);
      const std::uint32_t unit = utf16_ == kLittleEndian ? odd_ | next << 8 : odd_ << 8 | next;
      odd_ = -1;
      if (unit >= 0xDC00 && unit < 0xE000 && high_) {
        Append(0x10000 + ((high_ - 0xD800) << 10) + (unit - 0xDC00));
        high_ = 0;
        continue;
      }
      if (high_) Append(0xFFFD), high_ = 0;
      if (unit >= 0xD800 && unit < 0xDC00)
        high_ = unit;
      else
        Append(unit >= 0xDC00 && unit < 0xE000 ? 0xFFFD : unit);
    }
    if (end && (odd_ >= 0 || high_)) Append(0xFFFD), odd_ = -1, high_ = 0;
  }

  BlockReader& in_;
  Sha256* sha_;
  std::string head_;  // the first bytes, read to find a byte-order mark
  std::size_t skip_ = 0;
  int utf16_ = kUtf8;
  int odd_ = -1;            // the first byte of a unit whose second is still to come
  std::uint32_t high_ = 0;  // a high surrogate waiting for its low one
  std::string out_;
};

// Input that is plainly no routing table is given up on, rather than held
// in memory: a line this long, or this much text without a route.
constexpr std::uint64_t kNoRouteLimit = std::uint64_t{64} << 20;

}  // namespace

void ReadLog(FileSystem& fs, TableReader& reader, Table& table, const std::string& name, bool keepStandardInput,
             const WaitHook& onWait) {
  const bool standardInput = name == "-";
  const OwnedFile opened(fs, standardInput ? kNoFile : fs.OpenRead(name));  // standard input stays open
  const FileHandle file = standardInput ? 0 : opened.Get();
  if (file == kNoFile) throw IoError(name, errno);
  FileInfo info;
  if (fs.Info(file, &info) != 0) throw IoError(name, errno);
  if (info.kind == FileKind::Directory) throw IoError(name, EISDIR);
  reader.BeginSource(standardInput ? "standard input" : name, info.kind == FileKind::Regular ? info.size : 0);
  Source& source = table.sources.back();
  source.keptBytes = standardInput && keepStandardInput;
  BlockReader::Options options;
  options.waitForWriter = !standardInput && info.kind == FileKind::Pipe;
  // Both sides are read at once, on two threads, and a stop signal reaches
  // only one of them: anything but a file (a pipe that keeps silent) is
  // waited on in short steps, so that each side sees the stop by itself.
  options.waitEachRead = info.kind != FileKind::Regular;
  BlockReader in(fs, file, name, onWait, options);
  Sha256 sha;
  LogText text(in, &sha);
  const std::size_t routesBefore = table.routes.size();
  std::string carry;  // a line begun in an earlier block
  std::uint64_t total = 0, lineStart = 0, lines = 0;
  auto line = [&](std::string_view part) {
    if (carry.size() + part.size() > kLongestLine) throw IoError(source.name, 0, LineTooLong(lines + 1));
    ++lines;
    if (carry.empty()) return reader.Line(part, lineStart);
    carry.append(part);
    reader.Line(carry, lineStart);
    carry.clear();
  };
  // LF, CR LF and a lone CR each end a line.
  bool crBefore = false;  // the text before ended with CR: a LF first in this block belongs to it
  for (std::string_view data = text.Next(); !data.empty(); data = text.Next()) {
    if (source.keptBytes) source.bytes.append(data);
    std::size_t start = crBefore && data[0] == '\n';
    lineStart += start;
    crBefore = false;
    std::ptrdiff_t lf = -1, cr = -1;  // the next of each at or after `start`, or the block's size
    const auto next = [&](std::ptrdiff_t& at, char c) {
      if (at >= static_cast<std::ptrdiff_t>(start)) return;
      const void* found = std::memchr(data.data() + start, c, data.size() - start);
      at = found ? static_cast<const char*>(found) - data.data() : static_cast<std::ptrdiff_t>(data.size());
    };
    while (true) {
      next(lf, '\n');
      next(cr, '\r');
      const auto end = static_cast<std::size_t>(std::min(lf, cr));
      if (end == data.size()) break;
      line(data.substr(start, end - start));
      start = end + 1;
      if (data[end] == '\r') {
        if (start < data.size() && data[start] == '\n')
          ++start;
        else if (start == data.size())
          crBefore = true;
      }
      lineStart = total + start;
    }
    if (carry.size() + data.size() - start > kLongestLine) throw IoError(source.name, 0, LineTooLong(lines + 1));
    carry.append(data.substr(start));
    total += data.size();
    if (total >= kNoRouteLimit && table.routes.size() == routesBefore)
      throw IoError(source.name, 0,
                    InLanguage("no route in its first 64 MiB: this is no routing table",
                               "先頭 64 MiB に経路が 1 つもありません（経路表ではありません）"));
  }
  if (lineStart < total) line({});
  source.size = in.BytesRead();
  source.sha256 = sha.HexDigest();
}

void ReadSide(FileSystem& fs, const std::vector<std::string>& logs, Table& table, bool keepStandardInput,
              const WaitHook& onWait) {
  TableReader reader(table);
  for (const auto& log : logs) ReadLog(fs, reader, table, log, keepStandardInput, onWait);
  reader.Finish();
}

void ReadSides(FileSystem* const (&fs)[2], const std::vector<std::string> (&logs)[2], Table (&tables)[2],
               bool keepStandardInput, const std::function<void(int side)>& onWait) {
  struct GaveUp {};  // thrown to a side still reading when the other has failed
  std::exception_ptr failure[2];
  std::atomic<bool> failed{false};
  auto readSide = [&](int s) {
    try {
      ReadSide(*fs[s], logs[s], tables[s], keepStandardInput, [&] {
        onWait(s);
        if (failed) throw GaveUp{};
      });
    } catch (...) {
      failure[s] = std::current_exception();
      failed = true;
    }
  };
  std::thread sideA(readSide, 0);
  readSide(1);
  sideA.join();
  for (const std::exception_ptr& f : failure) {
    try {
      if (f) std::rethrow_exception(f);
    } catch (const GaveUp&) {
    }
  }
}

void FetchRaw(FileSystem& fs, const Table& table, std::vector<RawRequest*>& requests, const WaitHook& onWait) {
  std::sort(requests.begin(), requests.end(),
            [](auto a, auto b) { return std::tie(a->source, a->offset) < std::tie(b->source, b->offset); });
  for (auto first = requests.begin(); first != requests.end();) {
    const Source& source = table.sources[(*first)->source];
    auto last = std::find_if(first, requests.end(), [&](auto r) { return r->source != (*first)->source; });
    if (source.keptBytes) {
      for (auto r = first; r != last; ++r) (*r)->text = source.bytes.substr((*r)->offset, (*r)->size);
    } else {
      const OwnedFile file(fs, fs.OpenRead(source.name));
      if (file.Get() == kNoFile) throw IoError(source.name, errno);
      std::uint64_t position = 0;
      auto r = first;
      BlockReader in(fs, file.Get(), source.name, onWait, {});
      LogText text(in, nullptr);
      for (std::string_view data = text.Next(); !data.empty() && r != last; data = text.Next()) {
        // Every request that starts or goes on in this block takes its part.
        for (auto q = r; q != last && (*q)->offset < position + data.size(); ++q) {
          const std::uint64_t from = std::max((*q)->offset, position), to = (*q)->offset + (*q)->size;
          if (to > from)
            (*q)->text.append(data.substr(from - position, std::min(to - position, data.size()) - (from - position)));
        }
        position += data.size();
        while (r != last && (*r)->offset + (*r)->size <= position) ++r;
      }
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
