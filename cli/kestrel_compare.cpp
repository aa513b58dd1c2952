#include "kestrel_compare.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <exception>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "block_io.h"
#include "comparison.h"
#include "kestrel_convert.h"
#include "kestrel_version.h"
#include "platform.h"
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
// Beyond this many differences the HTML page lists routes without their raw lines.
constexpr std::size_t kRawRoutesInHtml = 50000;

const char kHelp[] =
    "Usage: kestrel-compare [OPTION]... A B\n"
    "Compare two routing tables route by route: which routes differ between the\n"
    "two routers? Each side is a `show ip route` log of an NEC IX router, as printed\n"
    "or as converted by kestrel-convert, or of a Cisco IOS router ('-' for standard\n"
    "input on one side). Routes are matched by VRF, family, prefix and length; their\n"
    "distance, metric, protocol and next hops are compared, never their ages nor\n"
    "the order of routes and next hops.\n"
    "\n"
    "  -a LOG, -b LOG       a further piece of table A or B (repeatable; then A and B\n"
    "                       may be left out)\n"
    "      --ifmap=FILE     compare interfaces too, their names mapped by FILE (one\n"
    "                       'NAME NEW-NAME' a line; '*' matches and stands for text)\n"
    "      --ignore=LIST    leave out of the comparison any of: distance, metric,\n"
    "                       protocol, candidate, interfaces, local\n"
    "      --vendor-defaults  also report what only the vendors' defaults make differ:\n"
    "                       a static route's metric, a bracket printed on one side only\n"
    "      --covered        for a route on one side only, show the longest shorter\n"
    "                       prefix on the other side that covers it\n"
    "      --format=FORMAT  text (the default), csv, jsonl or html\n"
    "  -o, --output=FILE    write the report to FILE; its extension (.csv, .jsonl,\n"
    "                       .html) chooses the format unless --format does\n"
    "  -v, --verbose        list every difference in the text report, not the first 20\n"
    "      --show-unparsed  list the unparsed lines in the text report\n"
    "      --strict         exit 2 when a log has unparsed lines or warnings\n"
    "      --explain=PREFIX print the raw lines of that route (10.1.0.0/16) from both\n"
    "                       sides and what differs, instead of the text report\n"
    "  -h, --help           show this help and exit\n"
    "  -V, --version        show the version and exit\n"
    "\n"
    "Exit status:\n"
    "  0    the tables are the same under the rules\n"
    "  1    they differ\n"
    "  2    trouble: a usage error, a log that cannot be read, --strict\n"
    "  129, 130, 143  stopped by SIGHUP, SIGINT (Ctrl-C) or SIGTERM\n"
    "  141  the reader of standard output went away (as `cat` in a pipe)\n";

struct Stopped {};
struct ClosedOutput {};

void StopCheck() {
  if (platform::CaughtStopSignal()) throw Stopped{};
}

struct Options {
  std::vector<std::string> logs[2];
  std::string interfaceMap, format, output, explain;
  std::vector<std::string> ignore;
  bool vendorDefaults = false, covered = false, verbose = false, showUnparsed = false, strict = false;
};

int UsageError(const std::string& message) {
  platform::WriteError(std::string(kProgram) + ": " + message + " (try '" + kProgram + " --help')\n");
  return kExitTrouble;
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
  app.add_option("--ignore", o.ignore)->delimiter(',')->allow_extra_args(false);
  app.add_flag("--vendor-defaults", o.vendorDefaults);
  app.add_flag("--covered", o.covered);
  app.add_option("--format", o.format);
  app.add_option("-o,--output", o.output);
  app.add_flag("-v,--verbose", o.verbose);
  app.add_flag("--show-unparsed", o.showUnparsed);
  app.add_flag("--strict", o.strict);
  app.add_option("--explain", o.explain);
  app.add_option("logs", positional);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return UsageError(e.what());
  }
  if (help) return std::fputs(kHelp, stdout), 0;
  if (version) return std::printf("%s %s\n", kProgram, KESTREL_VERSION_TEXT), 0;
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
  if (o.format.empty() && !o.output.empty() && o.output != "-") {
    const std::string ext = o.output.substr(std::min(o.output.size(), o.output.rfind('.') + 1));
    o.format = ext == "csv"                      ? "csv"
               : ext == "jsonl" || ext == "json" ? "jsonl"
               : ext == "html" || ext == "htm"   ? "html"
                                                 : "text";
  }
  if (!o.format.empty() && o.format != "text" && o.format != "csv" && o.format != "jsonl" && o.format != "html")
    return UsageError("--format: unknown '" + PrintableName(o.format) + "'");
  return -1;
}

// Reads one side's logs into its table, as the pieces of one table.
void ReadSide(FileSystem& fs, const std::vector<std::string>& logs, Table& table, bool keepStandardInput) {
  TableReader reader(table);
  for (const auto& log : logs) ReadLog(fs, reader, table, log, keepStandardInput, StopCheck);
  reader.Finish();
}

// The routes that --explain names: the address, and the length when given.
std::vector<std::uint32_t> Explained(const Table& table, const std::string& wanted) {
  Address address;
  const std::size_t slash = wanted.find('/');
  std::vector<std::uint32_t> found;
  if (!ParseAddress(wanted.substr(0, slash), address)) return found;
  const int length = slash == std::string::npos ? -1 : std::atoi(wanted.c_str() + slash + 1);
  for (std::uint32_t i = 0; i < table.routes.size(); ++i) {
    const Route& r = table.routes[i];
    const bool match =
        length < 0 ? table.Prefix(r) == address : length == r.length && table.Prefix(r) == Masked(address, length);
    if (match && !r.Is(kDuplicate)) found.push_back(i);
  }
  return found;
}

void Explain(const ReportData& data, const std::vector<std::uint32_t> (&found)[2], BlockWriter& out) {
  const char kSide[2] = {'A', 'B'};
  if (found[0].empty() && found[1].empty()) out.Append("no such route on either side\n");
  for (int s = 0; s < 2; ++s) {
    const Table& t = *data.table[s];
    for (const auto i : found[s]) {
      const Route& r = t.routes[i];
      out.Append(std::string(1, kSide[s]) + " " + t.sources[r.source].name + ":" + std::to_string(r.line) +
                 (t.vrfs[r.vrf].empty() ? "" : " (vrf " + t.vrfs[r.vrf] + ")") + "\n" + data.routeText[s].at(i) + "\n");
    }
    if (found[s].empty()) out.Append(std::string("not in ") + kSide[s] + "\n");
  }
  for (const RouteDiff& diff : data.comparison->diffs)
    for (int s = 0; s < 2; ++s) {
      const std::uint32_t index = s ? diff.b : diff.a;
      if (std::find(found[s].begin(), found[s].end(), index) == found[s].end()) continue;
      const DiffView v = Describe(*data.table[0], *data.table[1], diff, *data.rules, data.covering);
      std::string kinds;
      for (int k = 2; k < kDiffKinds; ++k)
        if (diff.kinds & (1 << k)) kinds += std::string(kinds.empty() ? "" : ", ") + kDiffKindNames[k];
      out.Append(v.prefix + (diff.kinds & kOnlyA   ? ": only in A\n"
                             : diff.kinds & kOnlyB ? ": only in B\n"
                                                   : " differs: " + kinds + "\n"));
      break;
    }
}

// Fetches the raw lines the report shows: the unparsed lines, and the
// routes of the differences (or of --explain).
void FetchRawLines(FileSystem& fs, ReportData& data, bool unparsed, std::size_t routes,
                   const std::vector<std::uint32_t> (&explained)[2]) {
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
    FetchRaw(fs, t, pointers);
    for (std::size_t i = 0; i < firstRoute; ++i) {
      std::string& text = requests[i].text;
      if (!text.empty() && text.back() == '\r') text.pop_back();
      data.unparsedText[s].push_back(std::move(text));
    }
    for (std::size_t i = firstRoute; i < requests.size(); ++i) {
      std::string text;  // the lines without their CRs
      for (const char c : requests[i].text)
        if (c != '\r') text += c;
      data.routeText[s][routeOf[i - firstRoute]] = std::move(text);
    }
  }
}

int Run(const Options& o, Rules& rules, FileSystem& fs) {
  InterfaceMap map;
  if (!o.interfaceMap.empty()) {
    map = InterfaceMap::Load(fs, o.interfaceMap);
    rules.interfaceMap = &map;
  }
  const Format format = o.format == "csv"     ? Format::Csv
                        : o.format == "jsonl" ? Format::Jsonl
                        : o.format == "html"  ? Format::Html
                                              : Format::Text;
  const bool wantUnparsed =
      format == Format::Html || format == Format::Jsonl || (o.showUnparsed && format == Format::Text);
  const bool keepInput = wantUnparsed || !o.explain.empty();
  // A report written over one of the logs would lose it.
  FileInfo output, input;
  if (!o.output.empty() && o.output != "-" && fs.PathInfo(o.output, &output) == 0 && output.identity.known)
    for (const auto& side : o.logs)
      for (const auto& log : side)
        if (log != "-" && fs.PathInfo(log, &input) == 0 && input.identity.known &&
            MaybeSameFile(input.identity, output.identity))
          throw IoError(log, 0, "input file is output file");
  // Both sides are read at once, each on its own core.
  Table tables[2];
  std::exception_ptr failure;
  std::thread sideA([&] {
    try {
      ReadSide(fs, o.logs[0], tables[0], keepInput);
    } catch (...) {
      failure = std::current_exception();
    }
  });
  try {
    ReadSide(fs, o.logs[1], tables[1], keepInput);
  } catch (...) {
    sideA.join();
    throw;
  }
  sideA.join();
  if (failure) std::rethrow_exception(failure);

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
  std::vector<std::uint32_t> explained[2];
  if (!o.explain.empty())
    for (int s = 0; s < 2; ++s) explained[s] = Explained(tables[s], o.explain);
  FetchRawLines(fs, data, wantUnparsed, format == Format::Html ? kRawRoutesInHtml : 0, explained);
  StopCheck();

  // Standard output closed by its reader is an ordinary end in a pipe.
  auto toStandardOutput = [&](const std::function<void(BlockWriter&)>& write) {
    try {
      BlockWriter out(fs, kStandardOutput, "standard output", StopCheck);
      write(out);
      out.Flush();
    } catch (const IoError& e) {
      if (e.Error() == EPIPE) throw ClosedOutput{};
      throw;
    }
  };
  const bool toFile = !o.output.empty() && o.output != "-";
  if (!o.explain.empty()) toStandardOutput([&](BlockWriter& out) { Explain(data, explained, out); });
  if (toFile) {
    bool created = false;
    const FileHandle file = fs.OpenWrite(kCurrentFolder, o.output, &created);
    if (file == kNoFile || fs.Truncate(file) != 0) throw IoError(o.output, errno);
    try {
      BlockWriter out(fs, file, o.output, StopCheck, StopCheck);
      WriteReport(format, data, out);
    } catch (...) {
      fs.Close(file);
      throw;
    }
    if (fs.Close(file) != 0) throw IoError(o.output, errno);
  } else if (o.explain.empty()) {
    toStandardOutput([&](BlockWriter& out) { WriteReport(format, data, out); });
  }
  const bool trouble =
      tables[0].Warnings() + tables[1].Warnings() + tables[0].unparsed.size() + tables[1].unparsed.size() != 0;
  if (o.strict && trouble) {
    platform::WriteError(std::string(kProgram) + ": --strict: the logs have unparsed lines or warnings\n");
    return kExitTrouble;
  }
  return comparison.diffs.empty() ? 0 : kExitDiffer;
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
