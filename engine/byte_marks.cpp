#include "byte_marks.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kestrel {

void BlockMarks::Mark(char* data, std::size_t size) {
  const std::size_t words = (size + 63) / 64;
  std::memset(data + size, 0, words * 64 - size);
  for (std::vector<std::uint64_t>* bits : {&lf, &cr, &comma, &v}) bits->resize(words);
  for (std::size_t word = 0; word < words; ++word) {
    const char* const at = data + 64 * word;
    std::uint64_t found[4] = {};  // LF, CR, comma, "v"
#if defined(__SSE2__)
    const __m128i patterns[4] = {_mm_set1_epi8('\n'), _mm_set1_epi8('\r'), _mm_set1_epi8(','), _mm_set1_epi8('v')};
    for (int part = 0; part < 4; ++part) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16 * part));
      for (int p = 0; p < 4; ++p)
        found[p] |= std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, patterns[p])))}
                    << (16 * part);
    }
#else
    for (int i = 0; i < 64; ++i) {
      const char c = at[i];
      found[0] |= std::uint64_t{c == '\n'} << i, found[1] |= std::uint64_t{c == '\r'} << i;
      found[2] |= std::uint64_t{c == ','} << i, found[3] |= std::uint64_t{c == 'v'} << i;
    }
#endif
    lf[word] = found[0], cr[word] = found[1], comma[word] = found[2], v[word] = found[3];
  }
}

}  // namespace kestrel
