#pragma once

#include <string>
#include <string_view>

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
  // itself (the line is rewritten in place) or not overlap `line`.
  void ConvertLine(std::string_view line, char* out);

  // The same for callers that rewrite a single line.
  std::string ConvertLine(std::string_view line);

 private:
  std::string routeHead_;
  std::size_t headVia_ = 0;  // 1-based column of " via " in routeHead_, 0 if none
};

}  // namespace kestrel
