#pragma once

#include <string>
#include <string_view>

#include "byte_marks.h"

namespace kestrel {

// Rewrites the lines of an NEC IX `show ip route` log into the Cisco layout.
//
// On a route line whose second comma-separated field starts with an interface
// family (" Giga", " Fast", " Tunn", " Loop", " Virt"), the interface field and
// the time field change places. A continuation line of a multipath route (its
// head blank up to " via ", standing in the same column as in the route's first
// line) receives the bracket with distance and metric of that first line.
//
// The first field of the most recent line that started a route is remembered
// (`RouteHead`), whatever the interface of that line, and carries over from line to line, run to run and file to
// file for as long as the object lives. Columns are byte positions; the output
// line always has exactly the length of the input line.
class LineRewriter {
 public:
  // Writes the rewritten form of `line` (without its line end) to `out`,
  // which must have room for line.size() bytes and either be line.data()
  // itself (the line is rewritten in place) or not overlap `line`. `marks`,
  // when given, say where its commas and letters "v" stand.
  void ConvertLine(std::string_view line, char* out, const LineMarks& marks = {});

  // The same for callers that rewrite a single line.
  std::string ConvertLine(std::string_view line);

 private:
  // Remembers the first field of a line that starts a route, its columns
  // before " via " (read sixteen bytes at a time when `over`).
  void Remember(const char* head, std::size_t via, bool over);

  std::string routeHead_;    // those columns of RouteHead, and room to spare
  std::size_t headVia_ = 0;  // 1-based column of " via " in routeHead_, 0 if none
  // 0-based column of its first "[", npos if none; looked up when first needed.
  static constexpr std::size_t kUnknown = std::string::npos - 1;
  std::size_t headBracket_ = kUnknown;
};

}  // namespace kestrel
