#include "byte_marks.h"

#include <atomic>
#include <cstring>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

#if defined(__SSE2__) && (defined(__GNUC__) || defined(__clang__))
#define KESTREL_MARK_32_BYTES 1
#endif

namespace kestrel {
namespace {

// Each way marks `words` times 64 bytes at `data`, one word of each kind of
// mark for every 64 bytes.

void MarkByteByByte(const char* data, std::size_t words, std::uint64_t* lf, std::uint64_t* cr, std::uint64_t* comma,
                    std::uint64_t* v) {
  for (std::size_t word = 0; word < words; ++word) {
    const char* const at = data + 64 * word;
    std::uint64_t found[4] = {};  // LF, CR, comma, "v"
    for (int i = 0; i < 64; ++i) {
      const char c = at[i];
      found[0] |= std::uint64_t{c == '\n'} << i, found[1] |= std::uint64_t{c == '\r'} << i;
      found[2] |= std::uint64_t{c == ','} << i, found[3] |= std::uint64_t{c == 'v'} << i;
    }
    lf[word] = found[0], cr[word] = found[1], comma[word] = found[2], v[word] = found[3];
  }
}

#if defined(__SSE2__)
// The same, 16 bytes at a time: every x86-64 processor can.
void Mark16Bytes(const char* data, std::size_t words, std::uint64_t* lf, std::uint64_t* cr, std::uint64_t* comma,
                 std::uint64_t* v) {
  const __m128i patterns[4] = {_mm_set1_epi8('\n'), _mm_set1_epi8('\r'), _mm_set1_epi8(','), _mm_set1_epi8('v')};
  for (std::size_t word = 0; word < words; ++word) {
    const char* const at = data + 64 * word;
    std::uint64_t found[4] = {};  // LF, CR, comma, "v"
    for (int part = 0; part < 4; ++part) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16 * part));
      for (int p = 0; p < 4; ++p)
        found[p] |= std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, patterns[p])))}
                    << (16 * part);
    }
    lf[word] = found[0], cr[word] = found[1], comma[word] = found[2], v[word] = found[3];
  }
}
#endif

#if defined(KESTREL_MARK_32_BYTES)
// The same, 32 bytes at a time, on processors that can.
__attribute__((target("avx2"))) void Mark32Bytes(const char* data, std::size_t words, std::uint64_t* lf,
                                                 std::uint64_t* cr, std::uint64_t* comma, std::uint64_t* v) {
  const __m256i patterns[4] = {_mm256_set1_epi8('\n'), _mm256_set1_epi8('\r'), _mm256_set1_epi8(','),
                               _mm256_set1_epi8('v')};
  std::uint64_t* const out[4] = {lf, cr, comma, v};
  for (std::size_t word = 0; word < words; ++word) {
    const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + 64 * word));
    const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + 64 * word + 32));
    for (int p = 0; p < 4; ++p)
      out[p][word] =
          std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(low, patterns[p])))} |
          std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(high, patterns[p])))} << 32;
  }
}
#endif

bool Has(MarkStep step) {
  switch (step) {
    case MarkStep::k32Bytes:
#if defined(KESTREL_MARK_32_BYTES)
      return __builtin_cpu_supports("avx2");
#else
      return false;
#endif
    case MarkStep::k16Bytes:
#if defined(__SSE2__)
      return true;
#else
      return false;
#endif
    case MarkStep::kByte: return true;
  }
  return false;
}

std::atomic<MarkStep> chosen{Has(MarkStep::k32Bytes)   ? MarkStep::k32Bytes
                             : Has(MarkStep::k16Bytes) ? MarkStep::k16Bytes
                                                       : MarkStep::kByte};

}  // namespace

bool ForceMarkStep(MarkStep step) {
  if (!Has(step)) return false;
  chosen.store(step, std::memory_order_relaxed);
  return true;
}

void BlockMarks::Mark(char* data, std::size_t size) {
  const std::size_t words = (size + 63) / 64;
  std::memset(data + size, 0, words * 64 - size);
  for (std::vector<std::uint64_t>* bits : {&lf, &cr, &comma, &v}) bits->resize(words);
  switch (chosen.load(std::memory_order_relaxed)) {
#if defined(KESTREL_MARK_32_BYTES)
    case MarkStep::k32Bytes: return Mark32Bytes(data, words, lf.data(), cr.data(), comma.data(), v.data());
#endif
#if defined(__SSE2__)
    case MarkStep::k16Bytes: return Mark16Bytes(data, words, lf.data(), cr.data(), comma.data(), v.data());
#endif
    default: return MarkByteByByte(data, words, lf.data(), cr.data(), comma.data(), v.data());
  }
}

}  // namespace kestrel
