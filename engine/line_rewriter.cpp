#include "line_rewriter.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

namespace kestrel {
namespace {

// The second field names an interface when it starts with a blank and the
// first four letters of one of these families (exact case).
bool StartsWithInterface(const char* field, std::size_t size) {
  if (size < 5 || field[0] != ' ') return false;
  const char* family = field + 1;
  switch (family[0]) {
    case 'G': return std::memcmp(family, "Giga", 4) == 0;
    case 'F': return std::memcmp(family, "Fast", 4) == 0;
    case 'T': return std::memcmp(family, "Tunn", 4) == 0;
    case 'L': return std::memcmp(family, "Loop", 4) == 0;
    case 'V': return std::memcmp(family, "Virt", 4) == 0;
    default: return false;
  }
}

// Where a line's first three commas stand (`end` for those it lacks), and
// the 1-based column of the first " via " before the first comma (0 if none).
struct Marks {
  const char* comma[3];
  std::size_t via = 0;
};

bool ViaAt(const char* letter, const char* s, const char* end) {
  return letter > s && letter + 3 < end && letter[-1] == ' ' && letter[1] == 'i' && letter[2] == 'a' &&
         letter[3] == ' ';
}

// The marks of a line, from its block's bits.
Marks Marked(const char* s, const char* end, const LineMarks& line) {
  Marks marks{{end, end, end}};
  const std::size_t first = line.first, last = first + (end - s);
  std::size_t at = BlockMarks::Next(line.comma, first, last);
  for (int commas = 0; at < last && commas < 3; at = BlockMarks::Next(line.comma, at + 1, last))
    marks.comma[commas++] = s + (at - first);
  const std::size_t headEnd = first + (marks.comma[0] - s);
  for (at = BlockMarks::Next(line.v, first, headEnd); at < headEnd; at = BlockMarks::Next(line.v, at + 1, headEnd))
    if (ViaAt(s + (at - first), s, end)) return marks.via = at - first, marks;
  return marks;
}

// The marks of a line without them, looked for. Route heads hold few
// letters "v", so looking for those first is quicker than comparing at
// every column.
Marks Searched(const char* s, const char* end) {
  Marks marks{{end, end, end}};
  const char* from = s;
  for (int commas = 0; commas < 3; from = marks.comma[commas++] + 1) {
    const void* comma = std::memchr(from, ',', end - from);
    if (!comma) break;
    marks.comma[commas] = static_cast<const char*>(comma);
  }
  for (const char* v = s; v < marks.comma[0]; ++v) {
    if (!(v = static_cast<const char*>(std::memchr(v, 'v', marks.comma[0] - v)))) break;
    if (ViaAt(v, s, end)) return marks.via = v - s, marks;
  }
  return marks;
}

void CopyExactly(char* to, const char* from, std::size_t size) { std::memcpy(to, from, size); }

// Copies `size` bytes in blocks of sixteen, reading and writing up to 15
// bytes beyond them.
void CopyOver(char* to, const char* from, std::size_t size) {
  for (std::size_t i = 0; i < size; i += 16) std::memcpy(to + i, from + i, 16);
}

// Whether the first `count` characters are all blanks, eight at a time.
bool BlankUpTo(const char* text, std::size_t count) {
  constexpr std::uint64_t kBlanks = 0x2020202020202020ULL;
  std::size_t i = 0;
  for (std::uint64_t word; i + 8 <= count; i += 8)
    if (std::memcpy(&word, text + i, 8), word != kBlanks) return false;
  for (; i < count; ++i)
    if (text[i] != ' ') return false;
  return true;
}

}  // namespace

void LineRewriter::ConvertLine(std::string_view line, char* out, const LineMarks& lineMarks) {
  const char* const s = line.data();
  const char* const end = s + line.size();
  const Marks marks = lineMarks.comma ? Marked(s, end, lineMarks) : Searched(s, end);
  const char *const comma1 = marks.comma[0], *const comma2 = marks.comma[1], *const comma3 = marks.comma[2];
  const std::size_t headSize = comma1 - s;
  const std::size_t via = marks.via;
  // Fewer than three fields, or no interface in the second: unchanged.
  if (comma2 == end || !StartsWithInterface(comma1 + 1, comma2 - comma1 - 1)) {
    if (out != s) std::memcpy(out, s, line.size());
    // Still, a route's first line (text before its " via ") is remembered,
    // whatever its interface: the continuation lines that follow belong to
    // it, not to the route before.
    if (via != 0 && !BlankUpTo(s, via)) Remember(s, headSize, via);
    return;
  }

  // Field 0, then the time (field 2) and the interface (field 1) swapped,
  // then any further fields as they stand.
  const std::size_t ifaceSize = comma2 - comma1 - 1;
  const std::size_t timeSize = comma3 - comma2 - 1;
  if (out == s) {
    // In place: reversing both fields together and then each on its own
    // swaps them without a second copy of the line.
    char* const fields = out + headSize + 1;
    std::reverse(fields, fields + ifaceSize + 1 + timeSize);
    std::reverse(fields, fields + timeSize);
    std::reverse(fields + timeSize + 1, fields + timeSize + 1 + ifaceSize);
  } else {
    // A marked line has room to spare after it, and so has `out`: the
    // pieces go in sixteen bytes at a time, each piece's overshoot written
    // over by the next.
    const auto copy = lineMarks.comma ? CopyOver : CopyExactly;
    char* o = out;
    copy(o, s, headSize);
    o += headSize;
    *o++ = ',';
    copy(o, comma2 + 1, timeSize);
    o += timeSize;
    *o++ = ',';
    copy(o, comma1 + 1, ifaceSize);
    o += ifaceSize;
    copy(o, comma3, end - comma3);
  }

  // " via " where it stood in the route's first line, after a blank head,
  // makes this a continuation line of a multipath route.
  if (via == 0 || via != headVia_ || !BlankUpTo(s, via)) return Remember(s, headSize, via);
  // The columns from the remembered head's first "[" up to the via column
  // take the remembered bracket. A head without "[", or with its "[" beyond
  // the via column, leaves the line with only the swap.
  if (headBracket_ == kUnknown) headBracket_ = routeHead_.find('[');  // once per route, not per line
  if (headBracket_ != std::string::npos && headBracket_ + 1 < via)
    std::memcpy(out + headBracket_, routeHead_.data() + headBracket_, via - 1 - headBracket_);
}

void LineRewriter::Remember(const char* head, std::size_t size, std::size_t via) {
  routeHead_.assign(head, size);
  headVia_ = via;
  headBracket_ = kUnknown;
}

std::string LineRewriter::ConvertLine(std::string_view line) {
  std::string out(line.size(), '\0');
  ConvertLine(line, out.data());
  return out;
}

}  // namespace kestrel
