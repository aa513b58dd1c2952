#include "sha256.h"

#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <cpuid.h>
#include <immintrin.h>
#define KESTREL_SHA_EXTENSIONS 1
#endif

namespace kestrel::compare {
namespace {

constexpr std::uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

inline std::uint32_t Rotate(std::uint32_t x, int n) { return x >> n | x << (32 - n); }

void CompressPortable(std::uint32_t* state, const unsigned char* block, std::size_t blocks) {
  for (; blocks > 0; --blocks, block += 64) {
    std::uint32_t w[64];
    for (int i = 0; i < 16; ++i)
      w[i] = std::uint32_t{block[4 * i]} << 24 | std::uint32_t{block[4 * i + 1]} << 16 |
             std::uint32_t{block[4 * i + 2]} << 8 | block[4 * i + 3];
    for (int i = 16; i < 64; ++i) {
      const std::uint32_t s0 = Rotate(w[i - 15], 7) ^ Rotate(w[i - 15], 18) ^ w[i - 15] >> 3;
      const std::uint32_t s1 = Rotate(w[i - 2], 17) ^ Rotate(w[i - 2], 19) ^ w[i - 2] >> 10;
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
    for (int i = 0; i < 64; ++i) {
      const std::uint32_t t1 =
          h + (Rotate(e, 6) ^ Rotate(e, 11) ^ Rotate(e, 25)) + ((e & f) ^ (~e & g)) + kRound[i] + w[i];
      const std::uint32_t t2 = (Rotate(a, 2) ^ Rotate(a, 13) ^ Rotate(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
      h = g, g = f, f = e, e = d + t1, d = c, c = b, b = a, a = t1 + t2;
    }
    state[0] += a, state[1] += b, state[2] += c, state[3] += d;
    state[4] += e, state[5] += f, state[6] += g, state[7] += h;
  }
}

#ifdef KESTREL_SHA_EXTENSIONS
// The processor's SHA instructions, several times faster than the portable
// rounds: a log of a million routes is hashed while it is read.
bool HasShaExtensions() {
  unsigned a, b, c, d;
  if (!__get_cpuid_count(7, 0, &a, &b, &c, &d) || !(b & (1u << 29))) return false;
  return __get_cpuid(1, &a, &b, &c, &d) && (c & (1u << 19));  // SSE4.1
}

__attribute__((target("sha,sse4.1"))) void CompressExtensions(std::uint32_t* state, const unsigned char* block,
                                                              std::size_t blocks) {
  const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
  __m128i tmp = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
  __m128i state1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
  tmp = _mm_shuffle_epi32(tmp, 0xB1);                // CDAB
  state1 = _mm_shuffle_epi32(state1, 0x1B);          // EFGH
  __m128i state0 = _mm_alignr_epi8(tmp, state1, 8);  // ABEF
  state1 = _mm_blend_epi16(state1, tmp, 0xF0);       // CDGH
  for (; blocks > 0; --blocks, block += 64) {
    const __m128i save0 = state0, save1 = state1;
    __m128i m[4];
    for (int i = 0; i < 4; ++i)
      m[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * i)), byteSwap);
    for (int i = 0; i < 16; ++i) {
      __m128i msg = _mm_add_epi32(m[i % 4], _mm_loadu_si128(reinterpret_cast<const __m128i*>(kRound + 4 * i)));
      state1 = _mm_sha256rnds2_epu32(state1, state0, msg);
      state0 = _mm_sha256rnds2_epu32(state0, state1, _mm_shuffle_epi32(msg, 0x0E));
      if (i >= 12) continue;
      // The schedule for the rounds four groups ahead, in the slot just used.
      __m128i next = _mm_sha256msg1_epu32(m[i % 4], m[(i + 1) % 4]);
      next = _mm_add_epi32(next, _mm_alignr_epi8(m[(i + 3) % 4], m[(i + 2) % 4], 4));
      m[i % 4] = _mm_sha256msg2_epu32(next, m[(i + 3) % 4]);
    }
    state0 = _mm_add_epi32(state0, save0);
    state1 = _mm_add_epi32(state1, save1);
  }
  tmp = _mm_shuffle_epi32(state0, 0x1B);        // FEBA
  state1 = _mm_shuffle_epi32(state1, 0xB1);     // DCHG
  state0 = _mm_blend_epi16(tmp, state1, 0xF0);  // DCBA
  state1 = _mm_alignr_epi8(state1, tmp, 8);     // HGFE
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), state0);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), state1);
}
#endif

}  // namespace

Sha256::Sha256(bool useInstructions)
    : state_{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19} {
#ifdef KESTREL_SHA_EXTENSIONS
  hardware_ = useInstructions && HasShaExtensions();
#else
  hardware_ = false;
  (void)useInstructions;
#endif
}

void Sha256::Compress(const unsigned char* block, std::size_t blocks) {
#ifdef KESTREL_SHA_EXTENSIONS
  if (hardware_) return CompressExtensions(state_, block, blocks);
#endif
  CompressPortable(state_, block, blocks);
}

void Sha256::Update(std::string_view bytes) {
  auto data = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t size = bytes.size();
  total_ += size;
  if (pendingSize_ > 0) {
    const std::size_t take = std::min(size, 64 - pendingSize_);
    std::memcpy(pending_ + pendingSize_, data, take);
    pendingSize_ += take, data += take, size -= take;
    if (pendingSize_ < 64) return;
    Compress(pending_, 1);
    pendingSize_ = 0;
  }
  Compress(data, size / 64);
  std::memcpy(pending_, data + size / 64 * 64, size % 64);
  pendingSize_ = size % 64;
}

std::string Sha256::HexDigest() {
  const std::uint64_t bits = total_ * 8;
  unsigned char tail[72] = {0x80};
  const std::size_t padding = (pendingSize_ < 56 ? 56 : 120) - pendingSize_;
  for (int i = 0; i < 8; ++i) tail[padding + i] = static_cast<unsigned char>(bits >> (56 - 8 * i));
  Update({reinterpret_cast<const char*>(tail), padding + 8});
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (const std::uint32_t word : state_)
    for (int shift = 28; shift >= 0; shift -= 4) hex += kHex[word >> shift & 15];
  return hex;
}

}  // namespace kestrel::compare
