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

// The bits of `marks` from `from` up to `to`, a word at a time: `each` gets
// the position of every bit set, in order, until it returns false.
template <typename Each>
void EachBit(const std::uint64_t* marks, std::size_t from, std::size_t to, Each each) {
  for (std::size_t base = from & ~std::size_t{63}; base < to; base += 64) {
    std::uint64_t bits = marks[base >> 6];
    if (base < from) bits &= ~std::uint64_t{0} << (from - base);
    if (to - base < 64) bits &= (std::uint64_t{1} << (to - base)) - 1;
    for (; bits != 0; bits &= bits - 1)
      if (!each(base + std::countr_zero(bits))) return;
  }
}

// The marks of a line, from its block's bits.
Marks Marked(const char* s, const char* end, const LineMarks& line) {
  Marks marks{{end, end, end}};
  const std::size_t first = line.first;
  int commas = 0;
  EachBit(line.comma, first, first + (end - s), [&](std::size_t at) {
    marks.comma[commas++] = s + (at - first);
    return commas < 3;
  });
  EachBit(line.v, first, first + (marks.comma[0] - s), [&](std::size_t at) {
    if (ViaAt(s + (at - first), s, end)) marks.via = at - first;
    return marks.via == 0;
  });
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

// Writes the line's fields, the second and third swapped. With `kOver` the
// pieces go in sixteen bytes at a time, reading and writing up to 15 bytes
// beyond each, whose overshoot the next piece writes over.
template <bool kOver>
void Swapped(char* out, const char* s, const char* end, const char* comma1, const char* comma2, const char* comma3) {
  auto copy = [](char* to, const char* from, std::size_t size) {
    if constexpr (kOver) {
      for (std::size_t i = 0; i < size; i += 16) std::memcpy(to + i, from + i, 16);
    } else {
      std::memcpy(to, from, size);
    }
    return to + size;
  };
  out = copy(out, s, comma1 - s);
  *out++ = ',';
  out = copy(out, comma2 + 1, comma3 - comma2 - 1);
  *out++ = ',';
  out = copy(out, comma1 + 1, comma2 - comma1 - 1);
  copy(out, comma3, end - comma3);
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
    if (via != 0 && !BlankUpTo(s, via)) Remember(s, via, lineMarks.comma);
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
  } else if (lineMarks.comma) {  // a marked line, and `out`, have room to spare after them
    Swapped<true>(out, s, end, comma1, comma2, comma3);
  } else {
    Swapped<false>(out, s, end, comma1, comma2, comma3);
  }

  // " via " where it stood in the route's first line, after a blank head,
  // makes this a continuation line of a multipath route.
  if (via == 0 || via != headVia_ || !BlankUpTo(s, via)) return Remember(s, via, lineMarks.comma);
  // The columns from the remembered head's first "[" up to the via column
  // take the remembered bracket. A head without "[", or with its "[" beyond
  // the via column, leaves the line with only the swap.
  if (headBracket_ == kUnknown) {  // looked up once per route, not per line
    const void* bracket = std::memchr(routeHead_.data(), '[', headVia_);
    headBracket_ = bracket ? static_cast<const char*>(bracket) - routeHead_.data() : std::string::npos;
  }
  if (headBracket_ != std::string::npos && headBracket_ + 1 < via)
    std::memcpy(out + headBracket_, routeHead_.data() + headBracket_, via - 1 - headBracket_);
}

void LineRewriter::Remember(const char* head, std::size_t via, bool over) {
  // Only the columns before " via " are ever copied from the head.
  if (routeHead_.size() < via + 16) routeHead_.resize(via + 16);
  if (over) {
    for (std::size_t i = 0; i < via; i += 16) std::memcpy(routeHead_.data() + i, head + i, 16);
  } else {
    std::memcpy(routeHead_.data(), head, via);
  }
  headVia_ = via;
  headBracket_ = kUnknown;
}

std::string LineRewriter::ConvertLine(std::string_view line) {
  std::string out(line.size(), '\0');
  ConvertLine(line, out.data());
  return out;
}

}  // namespace kestrel
