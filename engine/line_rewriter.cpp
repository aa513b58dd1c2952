#include "line_rewriter.h"

#include <algorithm>
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

// 1-based column of the first " via " in text, 0 if none. Route heads hold
// few letters "v", so looking for those first is quicker than comparing at
// every column.
std::size_t ViaColumn(const char* text, std::size_t size) {
  const char* const end = text + size;
  for (const char* v = text + 1; v + 4 <= end; ++v) {
    v = static_cast<const char*>(std::memchr(v, 'v', end - 3 - v));
    if (!v) break;
    if (v[-1] == ' ' && v[1] == 'i' && v[2] == 'a' && v[3] == ' ') return v - text;
  }
  return 0;
}

// Whether the first `count` characters are all blanks.
bool BlankUpTo(const char* text, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i)
    if (text[i] != ' ') return false;
  return true;
}

const char* Find(const char* from, const char* end, char c) {
  return static_cast<const char*>(std::memchr(from, c, end - from));
}

}  // namespace

void LineRewriter::ConvertLine(std::string_view line, char* out) {
  const char* const s = line.data();
  const char* const end = s + line.size();
  const char* const comma1 = Find(s, end, ',');
  const char* const comma2 = comma1 ? Find(comma1 + 1, end, ',') : nullptr;
  // Fewer than three fields, or no interface in the second: unchanged.
  if (!comma2 || !StartsWithInterface(comma1 + 1, comma2 - comma1 - 1)) {
    if (out != s) std::memcpy(out, s, line.size());
    // Still, a route's first line (text before its " via ") is remembered,
    // whatever its interface: the continuation lines that follow belong to
    // it, not to the route before.
    const std::size_t headSize = (comma1 ? comma1 : end) - s;
    const std::size_t via = ViaColumn(s, headSize);
    if (via != 0 && !BlankUpTo(s, via)) {
      routeHead_.assign(s, headSize);
      headVia_ = via;
    }
    return;
  }
  const char* comma3 = Find(comma2 + 1, end, ',');
  if (!comma3) comma3 = end;

  // Field 0, then the time (field 2) and the interface (field 1) swapped,
  // then any further fields as they stand.
  const std::size_t headSize = comma1 - s;
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
    char* o = out;
    std::memcpy(o, s, headSize);
    o += headSize;
    *o++ = ',';
    std::memcpy(o, comma2 + 1, timeSize);
    o += timeSize;
    *o++ = ',';
    std::memcpy(o, comma1 + 1, ifaceSize);
    o += ifaceSize;
    std::memcpy(o, comma3, end - comma3);
  }

  const std::size_t via = ViaColumn(s, headSize);
  // " via " where it stood in the route's first line, after a blank head,
  // makes this a continuation line of a multipath route.
  if (via == 0 || via != headVia_ || !BlankUpTo(s, via)) {
    routeHead_.assign(s, headSize);
    headVia_ = via;
    return;
  }
  // The columns from the remembered head's first "[" up to the via column
  // take the remembered bracket. A head without "[", or with its "[" beyond
  // the via column, leaves the line with only the swap.
  const std::size_t bracket = routeHead_.find('[');
  if (bracket != std::string::npos && bracket + 1 < via)
    std::memcpy(out + bracket, routeHead_.data() + bracket, via - 1 - bracket);
}

std::string LineRewriter::ConvertLine(std::string_view line) {
  std::string out(line.size(), '\0');
  ConvertLine(line, out.data());
  return out;
}

}  // namespace kestrel
