#include "kestrel_compare.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <exception>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "accept_list.h"
#include "block_io.h"
#include "command_line.h"
#include "comparison.h"
#include "file_place.h"
#include "kestrel_version.h"
#include "platform.h"
#include "replacement_file.h"
#include "report.h"
#include "route_table.h"

namespace kestrel {
namespace {

using namespace compare;

constexpr const char* kProgram = "kestrel-compare";
constexpr int kExitDiffer = 1;
constexpr int kExitTrouble = 2;
constexpr FileHandle kStandardInput = 0;
constexpr FileHandle kStandardOutput = 1;

const char kHelp[] =
    "Usage: kestrel-compare [OPTION]... A B\n"
    "Compare two routing tables route by route: which routes differ between the\n"
    "two routers? Each side is a `show ip route` log of an NEC IX router, as printed\n"
    "or as converted by kestrel-convert, of a Cisco IOS router or of an NX-OS switch\n"
    "('-' for standard input on one side). Routes are matched by VRF, family, prefix\n"
    "and length; their distance, metric, protocol and next hops are compared (the\n"
    "interfaces' names as they are between logs of one layout, through --ifmap\n"
    "across layouts), never their ages nor the order of routes and next hops.\n"
    "\n"
    "  -a LOG, -b LOG       a further piece of table A or B (repeatable; then A and B\n"
    "                       may be left out)\n"
    "      --ifmap=FILE     compare interfaces too, their names mapped by FILE (one\n"
    "                       'NAME NEW-NAME' a line; '*' matches and stands for text)\n"
    "      --accept=FILE    differences named in FILE are known and accepted: they\n"
    "                       are reported apart and do not make the exit status 1\n"
    "                       (one '[vrf NAME] PREFIX [KIND...]' a line, '#' comments)\n"
    "      --ignore=LIST    leave out of the comparison any of: distance, metric,\n"
    "                       protocol, candidate, interfaces, local\n"
    "      --vendor-defaults  also report what only the vendors' defaults make differ:\n"
    "                       a static route's metric, a bracket printed on one side only\n"
    "      --covered        for a route on one side only, show the longest shorter\n"
    "                       prefix on the other side that covers it\n"
    "      --format=FORMAT  text (the default), csv, jsonl or html\n"
    "      --csv-bom, --no-csv-bom  start a CSV report with UTF-8's byte-order mark,\n"
    "                       for Excel, or not (with it by default on Windows only)\n"
    "  -o, --output=FILE    write the report to FILE, put in place once whole; its\n"
    "                       extension (.csv, .jsonl, .html) chooses the format\n"
    "                       unless --format does\n"
    "  -v, --verbose        list every difference in the text report, not the first 20\n"
    "      --show-unparsed  list the unparsed lines in the text report\n"
    "      --strict         exit 2 when a log has unparsed lines or warnings\n"
    "      --explain=PREFIX print that route (10.1.0.0/16; for an address, the longest\n"
    "                       prefix holding it) in each VRF: its raw lines from both\n"
    "                       sides and the verdict, as text or --format=jsonl\n"
    "  -h, --help           show this help and exit (/? on Windows too)\n"
    "  -V, --version        show the version and exit\n"
    "\n"
    "Exit status:\n"
    "  0    the tables are the same under the rules\n"
    "  1    they differ\n"
    "  2    trouble: a usage error, a log that cannot be read, a side from which\n"
    "       no route was read although its logs are not empty, --strict\n"
    "  129, 130, 143  stopped by SIGHUP, SIGINT (Ctrl-C) or SIGTERM\n"
    "  141  the reader of standard output went away (as `cat` in a pipe)\n";

struct Stopped {};
struct ClosedOutput {};

void StopCheck() {
  if (platform::CaughtStopSignal()) throw Stopped{};
}

// What --explain names: an address, with a prefix length or without.
struct Query {
  Address address;
  int length = -1;  // -1: the longest prefix holding the address, as `show ip route ADDRESS` finds it
};

// "10.1.0.0/16", "2001:db8::/32", an address alone; false for anything else.
bool ParseQuery(const std::string& text, Query& query) {
  const std::size_t slash = text.find('/');
  if (!ParseAddress(std::string_view(text).substr(0, slash), query.address)) return false;
  if (slash == std::string::npos) return true;
  const std::string digits = text.substr(slash + 1);
  if (digits.empty() || digits.size() > 3 || digits.find_first_not_of("0123456789") != std::string::npos) return false;
  query.length = std::stoi(digits);
  return query.length <= (query.address.v6 ? 128 : 32);
}

struct Options {
  std::vector<std::string> logs[2];
  std::string interfaceMap, accept, format, output, explain;
  std::vector<std::string> ignore;
  bool vendorDefaults = false, covered = false, verbose = false, showUnparsed = false, strict = false;
  std::optional<Query> explained;  // --explain, parsed
#ifdef _WIN32
  bool csvBom = true;  // Excel reads a CSV without it in the ANSI code page, not as UTF-8
#else
  bool csvBom = false;
#endif
};

int UsageError(const std::string& message) {
  platform::WriteError(std::string(kProgram) + ": " + message + " (try '" + kProgram + " --help')\n");
  return kExitTrouble;
}

// Ends the help or the version: an error when standard output could not take it.
int EndStandardOutput() {
  const std::string error = CloseStandardOutput();
  if (error.empty()) return 0;
  platform::WriteError(std::string(kProgram) + ": " + error + "\n");
  return kExitTrouble;
}

// The format that -o FILE asks for by its extension: the last part of its
// name after a dot, not a name without one (`-o csv`).
std::string FormatOfName(const std::string& path) {
  const std::string name = BaseName(path);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return "text";
  std::string ext = name.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return ext == "csv"                      ? "csv"
         : ext == "jsonl" || ext == "json" ? "jsonl"
         : ext == "html" || ext == "htm"   ? "html"
                                           : "text";
}

// Parses the command line; returns -1 to go on, or the exit status.
int ParseArguments(int argc, char** argv, Options& o, Rules& rules) {
  CLI::App app;
  app.set_help_flag();
  bool help = false, version = false;
  std::vector<std::string> positional, pieces[2];
  app.add_flag("-h,--help", help);
  app.add_flag("-V,--version", version);
  app.add_option("-a", pieces[0])->allow_extra_args(false);
  app.add_option("-b", pieces[1])->allow_extra_args(false);
  app.add_option("--ifmap", o.interfaceMap);
  app.add_option("--accept", o.accept);
  app.add_option("--ignore", o.ignore)->delimiter(',')->allow_extra_args(false);
  app.add_flag("--vendor-defaults", o.vendorDefaults);
  app.add_flag("--covered", o.covered);
  app.add_option("--format", o.format);
  app.add_flag("--csv-bom,!--no-csv-bom", o.csvBom);
  app.add_option("-o,--output", o.output);
  app.add_flag("-v,--verbose", o.verbose);
  app.add_flag("--show-unparsed", o.showUnparsed);
  app.add_flag("--strict", o.strict);
  const CLI::Option* explain = app.add_option("--explain", o.explain);
  if (const std::string problem = ParseCommandLine(app, argc, argv, positional); !problem.empty())
    return UsageError(problem);
  if (help) return std::fputs(kHelp, stdout), EndStandardOutput();
  if (version) return std::printf("%s %s\n", kProgram, KESTREL_VERSION_TEXT), EndStandardOutput();
  if (positional.size() != 2 && !(positional.empty() && !pieces[0].empty() && !pieces[1].empty()))
    return UsageError("name two logs, A and B");
  for (int s = 0; s < 2; ++s) {
    if (!positional.empty()) o.logs[s].push_back(positional[s]);
    o.logs[s].insert(o.logs[s].end(), pieces[s].begin(), pieces[s].end());
  }
  int standardInput = 0;
  for (const auto& side : o.logs)
    for (const auto& log : side) {
      if (log.empty()) return UsageError("empty file name");
      standardInput += log == "-";
    }
  if (standardInput > 1) return UsageError("standard input can be read only once");
  if (standardInput && platform::IsTerminal(kStandardInput)) return UsageError("no input: '-' names a terminal");
  for (const auto& word : o.ignore) {
    bool* flag = word == "distance"     ? &rules.ignoreDistance
                 : word == "metric"     ? &rules.ignoreMetric
                 : word == "protocol"   ? &rules.ignoreProtocol
                 : word == "candidate"  ? &rules.ignoreCandidate
                 : word == "interfaces" ? &rules.ignoreInterfaces
                 : word == "local"      ? &rules.ignoreLocal
                                        : nullptr;
    if (!flag) return UsageError("--ignore: unknown '" + PrintableName(word) + "'");
    *flag = true;
  }
  rules.vendorDefaults = o.vendorDefaults;
  if (o.format.empty() && !o.output.empty() && o.output != "-") o.format = FormatOfName(o.output);
  if (explain->count() > 0) {
    Query query;
    if (!ParseQuery(o.explain, query))
      return UsageError("--explain: not a prefix nor an address: '" + PrintableName(o.explain) + "'");
    o.explained = query;
  }
  if (!o.format.empty() && o.format != "text" && o.format != "csv" && o.format != "jsonl" && o.format != "html")
    return UsageError("--format: unknown '" + PrintableName(o.format) + "'");
  return -1;
}

// A route that --explain shows: its VRF, prefix and length, and its index
// in each table (kAbsent when the side lacks it).
struct ExplainedRoute {
  std::string vrf;
  Address prefix;
  int length = 0;
  std::uint32_t route[2] = {kAbsent, kAbsent};
};

bool IgnoredLocal(const Route& route, const Rules& rules) { return rules.ignoreLocal && route.Local(); }

// The routes the query names, in each VRF of either side: the prefix
// itself, or the longest prefix on each side that holds the address (the
// routes the comparison leaves out skipped); each with both sides' route.
std::vector<ExplainedRoute> FindExplained(const Table (&tables)[2], const Rules& rules, const Query& query) {
  std::set<std::pair<std::string, int>> keys;  // VRF and length, the longest first
  for (const Table& table : tables)
    for (const std::string& vrf : table.vrfs) {
      const int longest = query.length >= 0 ? query.length : query.address.v6 ? 128 : 32;
      for (int length = longest; length >= (query.length >= 0 ? query.length : 0); --length) {
        const auto found = FindRoute(table, vrf, Masked(query.address, length), length, false);
        if (found && (query.length >= 0 || !IgnoredLocal(table.routes[*found], rules))) {
          keys.emplace(vrf, -length);
          break;
        }
      }
    }
  std::vector<ExplainedRoute> routes;
  for (const auto& [vrf, negative] : keys) {
    const int length = -negative;
    ExplainedRoute r{vrf, Masked(query.address, length), length};
    for (int s = 0; s < 2; ++s)
      if (const auto found = FindRoute(tables[s], vrf, r.prefix, length, false)) r.route[s] = *found;
    routes.push_back(r);
  }
  return routes;
}

// The comparison's verdict on one route: its status as the reports name it
// (same, differs, only-a, only-b, or left-out when the rules leave it out),
// the kinds of difference and the verdict in words.
struct Verdict {
  std::string status;
  std::vector<std::string> kinds;
  bool accepted = false;
  std::string words;
};

Verdict Judge(const ReportData& data, const Describer& records, const ExplainedRoute& r) {
  Verdict verdict;
  for (int s = 0; s < 2; ++s)
    if (r.route[s] != kAbsent && IgnoredLocal(data.table[s]->routes[r.route[s]], *data.rules)) {
      verdict.status = "left-out";
      verdict.words = "left out of the comparison (--ignore=local)";
      return verdict;
    }
  const auto diff = std::find_if(data.comparison->diffs.begin(), data.comparison->diffs.end(), [&](const RouteDiff& d) {
    return (r.route[0] != kAbsent && d.a == r.route[0]) || (r.route[1] != kAbsent && d.b == r.route[1]);
  });
  if (diff == data.comparison->diffs.end()) {
    verdict.status = "same";
    verdict.words = "the same";
    return verdict;
  }
  const DiffRecord v = records.Record(*diff);
  verdict.accepted = v.accepted;
  verdict.status = kDiffStatusNames[static_cast<int>(v.status)];
  const std::string accepted = v.accepted ? " (accepted)" : "";
  if (v.status != DiffStatus::Differs) {
    verdict.words = (v.status == DiffStatus::OnlyA ? "only in A" : "only in B") + accepted;
    return verdict;
  }
  verdict.kinds.assign(v.differences.begin(), v.differences.end());
  const SideRecord& sa = v.side[0];
  const SideRecord& sb = v.side[1];
  std::vector<std::string> parts;
  if (v.kinds & kHops) {
    std::string hops = "next hops";
    for (const auto& h : v.removed) hops += " -" + h;
    for (const auto& h : v.added) hops += " +" + h;
    parts.push_back(hops);
  }
  if (v.kinds & kInterface) {
    std::string interfaces = "interfaces";
    for (const auto& [from, to] : v.interfaces) interfaces += " " + from + " -> " + to;
    parts.push_back(interfaces);
  }
  if (v.kinds & (kDistance | kMetric))
    parts.push_back(std::string((v.kinds & kDistance) && (v.kinds & kMetric) ? "distance and metric"
                                : v.kinds & kDistance                        ? "distance"
                                                                             : "metric") +
                    " " + (sa.bracket.empty() ? "none" : sa.bracket) + " -> " +
                    (sb.bracket.empty() ? "none" : sb.bracket));
  if (v.kinds & kProtocol) parts.push_back("protocol " + sa.protocol + " -> " + sb.protocol);
  if (v.kinds & kCandidateDefault) parts.push_back("candidate default " + sa.protocol + " -> " + sb.protocol);
  verdict.words = "differs in ";
  for (std::size_t i = 0; i < parts.size(); ++i) verdict.words += (i ? "; " : "") + parts[i];
  verdict.words += accepted;
  return verdict;
}

// Each route the query names: the verdict, then its raw lines on each side
// with their place and VRF; as text, or as one JSON record a route.
void Explain(const ReportData& data, const std::string& query, const std::vector<ExplainedRoute>& routes, bool json,
             BlockWriter& out) {
  const char kSide[2] = {'A', 'B'};
  if (routes.empty()) {
    out.Append(json ? "{\"type\":\"explain\",\"query\":\"" + JsonEscape(query) +
                          "\",\"status\":\"absent\",\"verdict\":\"in neither A nor B\",\"a\":null,\"b\":null}\n"
                    : query + ": in neither A nor B\n");
    return;
  }
  // Only the differences of these routes are described, none with its covering route.
  const Describer records(*data.table[0], *data.table[1], *data.comparison, *data.rules, false);
  for (const ExplainedRoute& r : routes) {
    const Verdict verdict = Judge(data, records, r);
    const std::string prefix = FormatPrefix(r.prefix, r.length);
    const std::string vrf = r.vrf.empty() ? "default table" : "vrf " + r.vrf;
    if (!json) {
      out.Append((r.vrf.empty() ? "" : "vrf " + r.vrf + " ") + prefix + ": " + verdict.words + "\n");
      for (int s = 0; s < 2; ++s) {
        if (r.route[s] == kAbsent) {
          out.Append(std::string("not in ") + kSide[s] + "\n");
          continue;
        }
        const Table& t = *data.table[s];
        const Route& route = t.routes[r.route[s]];
        out.Append(std::string(1, kSide[s]) + " " + t.sources[route.source].name + ":" + std::to_string(route.line) +
                   " (" + vrf + ")\n" + data.routeText[s].at(r.route[s]) + "\n");
      }
      continue;
    }
    std::string kinds, sides;
    for (const auto& kind : verdict.kinds) kinds += (kinds.empty() ? "\"" : ",\"") + kind + "\"";
    for (int s = 0; s < 2; ++s) {
      sides += std::string(",\"") + static_cast<char>(kSide[s] + 'a' - 'A') + "\":";
      if (r.route[s] == kAbsent) {
        sides += "null";
        continue;
      }
      const Table& t = *data.table[s];
      const Route& route = t.routes[r.route[s]];
      sides += "{\"file\":\"" + JsonEscape(t.sources[route.source].name) + "\",\"line\":" + std::to_string(route.line) +
               ",\"text\":\"" + JsonEscape(data.routeText[s].at(r.route[s])) + "\"}";
    }
    out.Append("{\"type\":\"explain\",\"query\":\"" + JsonEscape(query) + "\",\"vrf\":\"" + JsonEscape(r.vrf) +
               "\",\"family\":\"" + (r.prefix.v6 ? "ipv6" : "ipv4") + "\",\"prefix\":\"" + prefix + "\",\"status\":\"" +
               verdict.status + "\",\"differences\":[" + kinds +
               "],\"accepted\":" + (verdict.accepted ? "true" : "false") + ",\"verdict\":\"" +
               JsonEscape(verdict.words) + "\"" + sides + "}\n");
  }
}

// The logs of one side, each opened before any log of either side is read,
// so that one that cannot be opened (a missing file on side B) is reported
// at once, and so that the files compared against each other and against
// the report are those read. ReadLog opens a log by its name: this file
// system hands it the file opened here, and does the rest as `fs` does.
class OpenedLogs : public FileSystem {
 public:
  struct Log {
    std::string name;  // as given: "-" for standard input
    FileHandle file;
    FileInfo info;
  };

  explicit OpenedLogs(FileSystem& fs) : fs_(fs) {}
  OpenedLogs(const OpenedLogs&) = delete;
  OpenedLogs& operator=(const OpenedLogs&) = delete;
  ~OpenedLogs() override {
    for (std::size_t i = next_; i < logs_.size(); ++i)
      if (logs_[i].name != "-") fs_.Close(logs_[i].file);
  }

  // Opens the log, or takes standard input for "-"; throws IoError.
  void Open(const std::string& name) {
    Log log{name, name == "-" ? kStandardInput : fs_.OpenRead(name), {}};
    const std::string shown = ShownName(name);
    if (log.file == kNoFile) throw IoError(shown, errno);
    const int error = fs_.Info(log.file, &log.info) != 0 ? errno : log.info.kind == FileKind::Directory ? EISDIR : 0;
    if (error != 0 && name != "-") fs_.Close(log.file);
    if (error != 0) throw IoError(shown, error);
    logs_.push_back(std::move(log));
  }
  const std::vector<Log>& Logs() const { return logs_; }
  static std::string ShownName(const std::string& name) { return name == "-" ? "standard input" : name; }

  // The logs in the order they were opened (standard input, which ReadLog
  // does not open, skipped), then any other file as `fs` opens it.
  FileHandle OpenRead(const std::string& path) override {
    while (next_ < logs_.size() && logs_[next_].name == "-") ++next_;
    if (next_ < logs_.size() && logs_[next_].name == path) return logs_[next_++].file;
    return fs_.OpenRead(path);
  }
  FileHandle OpenFolder(FileHandle folder, const std::string& path) override { return fs_.OpenFolder(folder, path); }
  FileHandle OpenWrite(FileHandle folder, const std::string& name, bool* created) override {
    return fs_.OpenWrite(folder, name, created);
  }
  FileHandle CreateExclusive(FileHandle folder, const std::string& name) override {
    return fs_.CreateExclusive(folder, name);
  }
  std::int64_t Read(FileHandle file, void* buffer, std::size_t size) override { return fs_.Read(file, buffer, size); }
  std::int64_t Write(FileHandle file, const void* buffer, std::size_t size) override {
    return fs_.Write(file, buffer, size);
  }
  int WaitReadable(FileHandle file, int milliseconds) override { return fs_.WaitReadable(file, milliseconds); }
  int WaitWritable(FileHandle file, int milliseconds) override { return fs_.WaitWritable(file, milliseconds); }
  int Rewind(FileHandle file) override { return fs_.Rewind(file); }
  int Truncate(FileHandle file) override { return fs_.Truncate(file); }
  int Flush(FileHandle file) override { return fs_.Flush(file); }
  int Close(FileHandle file) override { return fs_.Close(file); }
  int Info(FileHandle file, FileInfo* info) override { return fs_.Info(file, info); }
  int PathInfo(const std::string& path, FileInfo* info) override { return fs_.PathInfo(path, info); }
  int EntryInfo(FileHandle folder, const std::string& name, FileInfo* info) override {
    return fs_.EntryInfo(folder, name, info);
  }
  std::string LinkTarget(FileHandle folder, const std::string& name) override { return fs_.LinkTarget(folder, name); }
  int CopyOwnership(FileHandle file, FileHandle original) override { return fs_.CopyOwnership(file, original); }
  int Replace(FileHandle folder, const std::string& from, const std::string& to,
              const FileIdentity& expected) override {
    return fs_.Replace(folder, from, to, expected);
  }
  int Remove(FileHandle folder, const std::string& name) override { return fs_.Remove(folder, name); }
  int FlushFolder(FileHandle folder) override { return fs_.FlushFolder(folder); }

 private:
  FileSystem& fs_;
  std::vector<Log> logs_;
  std::size_t next_ = 0;  // the next log to hand out
};

// A pipe or a device read as two logs would give each a random share of
// its lines: refused by the identity of the files opened, whatever their
// names (`/dev/stdin -`). A regular file may be named twice.
void RefuseSharedInputs(const OpenedLogs (&sides)[2]) {
  std::vector<const OpenedLogs::Log*> logs;
  for (const auto& side : sides)
    for (const auto& log : side.Logs()) logs.push_back(&log);
  for (std::size_t j = 1; j < logs.size(); ++j)
    for (std::size_t i = 0; i < j; ++i)
      if (logs[j]->info.kind != FileKind::Regular && SameFile(logs[i]->info.identity, logs[j]->info.identity))
        throw IoError(OpenedLogs::ShownName(logs[j]->name), 0,
                      std::string("the same ") + (logs[j]->info.kind == FileKind::Pipe ? "pipe" : "device") + " as " +
                          PrintableName(OpenedLogs::ShownName(logs[i]->name)) + ", which can be read only once");
}

// A report written over a log would lose it: a regular file that is (or
// may be) one of the logs is refused as an output, as `cat` refuses it.
void RefuseLogAsOutput(const FileInfo& output, const OpenedLogs (&sides)[2]) {
  if (output.kind != FileKind::Regular) return;
  for (const auto& side : sides)
    for (const auto& log : side.Logs())
      if (log.info.kind == FileKind::Regular && MaybeSameFile(log.info.identity, output.identity))
        throw IoError(OpenedLogs::ShownName(log.name), 0, "input file is output file");
}

// The file that -o names. A regular file is written beside itself and put
// in its place once the report is whole, so that an error or a stop never
// leaves half a report under its name (nor an empty file the run made); a
// pipe or a device (a terminal, /dev/null) is written as it is.
class ReportFile {
 public:
  explicit ReportFile(FileSystem& fs) : fs_(fs), replacement_(fs) {}
  ReportFile(const ReportFile&) = delete;
  ReportFile& operator=(const ReportFile&) = delete;
  ~ReportFile() { Discard(); }

  // Opens `path`, following its links and making the file when missing as
  // `>` would, emptying nothing; a named pipe with no reader yet is waited
  // for. `refuse` throws for an output that must not be written.
  void Open(const std::string& path, const std::function<void(const FileInfo&)>& refuse) {
    path_ = path;
    FilePlace place(fs_, path);
    while ((file_ = fs_.OpenWrite(place.Folder(), place.Name(), &created_)) == kNoFile) {
      if (errno != EAGAIN) throw IoError(path, errno);
      StopCheck();
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (fs_.Info(file_, &info_) != 0) throw IoError(path, errno);
    if (created_) {
      place.FollowLinks();
      made_.emplace(std::move(place));
    }
    refuse(info_);
    if (info_.kind != FileKind::Regular) return;
    FilePlace target(fs_, path);
    target.FollowLinks();
    replacement_.Create(std::move(target), file_, path);
    // Not held open while it is replaced: Windows would not let it go.
    fs_.Close(std::exchange(file_, kNoFile));
  }
  FileHandle Handle() const { return replacement_.Active() ? replacement_.Handle() : file_; }

  // Puts the whole report in place, flushed to disk, or closes the pipe or
  // device it was written to.
  void Commit() {
    if (replacement_.Active()) {
      replacement_.Commit();
    } else if (fs_.Close(std::exchange(file_, kNoFile)) != 0 && errno != EINTR) {
      throw IoError(path_, errno);
    }
    created_ = false;
  }

 private:
  void Discard() {
    replacement_.Discard();
    if (file_ != kNoFile) fs_.Close(std::exchange(file_, kNoFile));
    FileInfo entry;
    if (created_ && made_ && fs_.EntryInfo(made_->Folder(), made_->Name(), &entry) == 0 &&
        SameFile(entry.identity, info_.identity))
      fs_.Remove(made_->Folder(), made_->Name());
    created_ = false;
  }

  FileSystem& fs_;
  ReplacementFile replacement_;
  std::string path_;
  FileHandle file_ = kNoFile;
  FileInfo info_;
  bool created_ = false;
  std::optional<FilePlace> made_;  // where the file the run made is
};

int Run(const Options& o, Rules& rules, FileSystem& fs) {
  InterfaceMap map;
  if (!o.interfaceMap.empty()) {
    map = InterfaceMap::Load(fs, o.interfaceMap);
    rules.interfaceMap = &map;
  }
  AcceptList accepted;
  if (!o.accept.empty()) {
    accepted = AcceptList::Load(fs, o.accept);
    rules.accepted = &accepted;
  }
  const Format format = o.format == "csv"     ? Format::Csv
                        : o.format == "jsonl" ? Format::Jsonl
                        : o.format == "html"  ? Format::Html
                                              : Format::Text;
  const bool wantUnparsed =
      format == Format::Html || format == Format::Jsonl || (o.showUnparsed && format == Format::Text);
  const bool keepInput = wantUnparsed || o.explained;
  OpenedLogs logs[2]{OpenedLogs(fs), OpenedLogs(fs)};
  for (int s = 0; s < 2; ++s)
    for (const auto& log : o.logs[s]) logs[s].Open(log);
  RefuseSharedInputs(logs);
  // The outputs are checked against the logs before anything is read or written.
  const bool toFile = !o.output.empty() && o.output != "-";
  const bool toStandardOutput = !toFile || o.explained;
  ReportFile reportFile(fs);
  if (toFile) reportFile.Open(o.output, [&](const FileInfo& output) { RefuseLogAsOutput(output, logs); });
  if (FileInfo output; toStandardOutput && fs.Info(kStandardOutput, &output) == 0) RefuseLogAsOutput(output, logs);
  // Both sides are read at once, each on its own core; a side that fails
  // stops the other.
  Table tables[2];
  ReadSides({&logs[0], &logs[1]}, o.logs, tables, keepInput, [](int) { StopCheck(); });

  const Comparison comparison = Compare(tables[0], tables[1], rules);
  ReportData data;
  data.table[0] = &tables[0];
  data.table[1] = &tables[1];
  data.comparison = &comparison;
  data.rules = &rules;
  data.version = KESTREL_VERSION_TEXT;
  data.interfaceMapName = o.interfaceMap;
  data.covering = o.covered;
  data.shown = o.verbose ? SIZE_MAX : 20;
  data.showUnparsed = o.showUnparsed;
  data.csvBom = o.csvBom;
  std::vector<ExplainedRoute> explainedRoutes;
  std::vector<std::uint32_t> explained[2];
  if (o.explained) explainedRoutes = FindExplained(tables, rules, *o.explained);
  for (const auto& r : explainedRoutes)
    for (int s = 0; s < 2; ++s)
      if (r.route[s] != kAbsent) explained[s].push_back(r.route[s]);
  FetchRawLines(fs, data, wantUnparsed, format == Format::Html ? kRawRoutesInHtml : 0, explained);
  StopCheck();

  // Standard output closed by its reader is an ordinary end in a pipe. A
  // write error may show only when it is closed (a full disk that allocates
  // late, a network file system): checked as cat does.
  auto writeStandardOutput = [&](const std::function<void(BlockWriter&)>& write) {
    try {
      BlockWriter out(fs, kStandardOutput, "standard output", StopCheck);
      write(out);
      out.Flush();
    } catch (const IoError& e) {
      if (e.Error() == EPIPE) throw ClosedOutput{};
      throw;
    }
    if (fs.Close(kStandardOutput) != 0 && errno != EBADF && errno != EINTR) throw IoError("standard output", errno);
  };
  if (o.explained)
    writeStandardOutput(
        [&](BlockWriter& out) { Explain(data, o.explain, explainedRoutes, format == Format::Jsonl, out); });
  if (toFile) {
    BlockWriter out(fs, reportFile.Handle(), o.output, StopCheck, StopCheck);
    WriteReport(format, data, out);
    out.Flush();
    reportFile.Commit();
  } else if (!o.explained) {
    writeStandardOutput([&](BlockWriter& out) { WriteReport(format, data, out); });
  }
  // A side from which nothing was read proves nothing, whatever the rules.
  for (int s = 0; s < 2; ++s)
    if (comparison.unread[s]) {
      platform::WriteError(std::string(kProgram) + ": " + (s ? "B" : "A") +
                           ": no route could be read from logs that are not empty: not `show ip route` output?\n");
      return kExitTrouble;
    }
  const bool trouble = tables[0].Warnings() + tables[1].Warnings() + tables[0].Unparsed() + tables[1].Unparsed() +
                           comparison.warnings.size() !=
                       0;
  if (o.strict && trouble) {
    platform::WriteError(std::string(kProgram) + ": --strict: the logs have unparsed lines or warnings\n");
    return kExitTrouble;
  }
  return comparison.diffs.size() == comparison.accepted ? 0 : kExitDiffer;
}

}  // namespace

int KestrelCompareMain(int argc, char** argv, FileSystem& fs) {
  Options options;
  Rules rules;
  if (const int status = ParseArguments(argc, argv, options, rules); status >= 0) return status;
  platform::CatchStopSignals();
  int status;
  try {
    status = Run(options, rules, fs);
  } catch (const Stopped&) {
    status = platform::StopSignalExitStatus();
  } catch (const ClosedOutput&) {
    status = kExitClosedOutput;
  } catch (const IoError& e) {
    platform::WriteError(std::string(kProgram) + ": " + e.what() + "\n");
    status = kExitTrouble;
  } catch (const std::bad_alloc&) {
    platform::WriteError(std::string(kProgram) + ": out of memory\n");
    status = kExitTrouble;
  }
  platform::RestoreStopSignals();
  return status;
}

}  // namespace kestrel
