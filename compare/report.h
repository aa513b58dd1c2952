#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "block_io.h"
#include "comparison.h"

namespace kestrel::compare {

enum class Format { Text, Csv, Jsonl, Html };

// Everything a report says. The raw lines are fetched from the logs
// beforehand, only for the formats that show them.
struct ReportData {
  const Table* table[2] = {};
  const Comparison* comparison = nullptr;
  const Rules* rules = nullptr;
  std::string version;
  std::string interfaceMapName;  // empty: none
  bool covering = false;
  std::size_t shown = 20;                                       // differences the terminal summary lists
  bool showUnparsed = false;                                    // the terminal summary lists unparsed lines too
  std::vector<std::string> unparsedText[2];                     // in the order of each table's unparsed lines
  std::unordered_map<std::uint32_t, std::string> routeText[2];  // raw lines by route index
  bool csvBom = false;  // the CSV starts with UTF-8's byte-order mark, for Excel
};

// "; left out: A 0, B 12 (...)" when routes were left out of the comparison.
std::string LeftOut(const Comparison& comparison);

// What every report's summary says besides the counts: routes whose
// interfaces were not compared by name, a side from which no route was read.
std::vector<std::string> Notices(const Comparison& comparison);

// The rules in words, for the head of every report.
std::vector<std::string> RulesInWords(const ReportData& data);

// The raw lines fetched for the HTML page: at most this many differences'.
// The page carries them only while it stays under its size (some 18,000
// routes of a generated table), so this bounds the reading, not the page.
inline constexpr std::size_t kRawRoutesInHtml = 50000;

// Fetches the raw lines the report shows: the unparsed lines (when
// `unparsed`), the routes of the first `routes` differences, and the routes
// of each side that `explained` names; `onWait` as FetchRaw's. Throws IoError.
void FetchRawLines(FileSystem& fs, ReportData& data, bool unparsed, std::size_t routes,
                   const std::vector<std::uint32_t> (&explained)[2], const WaitHook& onWait = {});

// Writes the report, streaming it: a record at a time, never the whole
// document in memory.
void WriteReport(Format format, const ReportData& data, BlockWriter& out);
void WriteHtml(const ReportData& data, const Describer& records, BlockWriter& out);

// Lines of a log as text to read: each line as it is when it is UTF-8, else
// decoded from Shift-JIS (code page 932) when it is that; a byte that
// neither reads is written as "\x83", and `exact` (when given) set to false.
std::string Decoded(std::string_view text, bool* exact = nullptr);
// Text safe to print on a terminal: control characters (C0 with tab and line
// end, DEL, C1) written as "\x1b", "\n", "\u0085", and the bidirectional
// overrides and isolates that would reorder what follows as "\u202e".
std::string Printable(std::string_view text);

// Text as a JSON string's content: valid UTF-8 passes, any other byte (a
// Shift-JIS log) is written as the character of the same number.
std::string JsonEscape(std::string_view text);
// Text for an HTML page, with the same treatment of bytes that are not UTF-8.
std::string HtmlEscape(std::string_view text);

}  // namespace kestrel::compare
