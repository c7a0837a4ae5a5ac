#include "formats/Sha256.h"

#include <cctype>

#include "formats/Hex.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define FD_SHA256_X86 1
#endif

namespace fd {
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

inline std::uint32_t Rotr(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

void Block(std::uint32_t state[8], const unsigned char* p) {
  std::uint32_t w[64];
  for (int i = 0; i < 16; ++i) {
    w[i] = static_cast<std::uint32_t>(p[4 * i]) << 24 | static_cast<std::uint32_t>(p[4 * i + 1]) << 16 |
           static_cast<std::uint32_t>(p[4 * i + 2]) << 8 | static_cast<std::uint32_t>(p[4 * i + 3]);
  }
  for (int i = 16; i < 64; ++i) {
    const std::uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
    const std::uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
    w[i] = w[i - 16] + s0 + w[i - 7] + s1;
  }
  std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
  for (int i = 0; i < 64; ++i) {
    const std::uint32_t t1 = h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) + kRound[i] + w[i];
    const std::uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
    h = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
  state[4] += e;
  state[5] += f;
  state[6] += g;
  state[7] += h;
}

void PortableBlocks(std::uint32_t state[8], const unsigned char* data, std::size_t blocks) {
  for (; blocks > 0; --blocks, data += 64) Block(state, data);
}

#ifdef FD_SHA256_X86
// The same compression with the SHA extensions, four rounds an instruction pair. The state is
// kept as the instructions want it (ABEF, CDGH) for the whole run of blocks.
__attribute__((target("sha,sse4.1,ssse3"))) void ShaNiBlocks(std::uint32_t state[8], const unsigned char* data,
                                                              std::size_t blocks) {
  const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
  __m128i tmp = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[0]));
  __m128i state1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[4]));
  tmp = _mm_shuffle_epi32(tmp, 0xB1);           // CDAB
  state1 = _mm_shuffle_epi32(state1, 0x1B);     // EFGH
  __m128i state0 = _mm_alignr_epi8(tmp, state1, 8);  // ABEF
  state1 = _mm_blend_epi16(state1, tmp, 0xF0);  // CDGH
  for (; blocks > 0; --blocks, data += 64) {
    const __m128i abefBefore = state0;
    const __m128i cdghBefore = state1;
    __m128i w[4];  // the message schedule, four words each: w[g % 4] holds W[4g .. 4g+3]
    for (int g = 0; g < 4; ++g) {
      w[g] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * g)), byteSwap);
    }
    for (int g = 0; g < 16; ++g) {
      __m128i wk = _mm_add_epi32(w[g & 3], _mm_loadu_si128(reinterpret_cast<const __m128i*>(&kRound[4 * g])));
      state1 = _mm_sha256rnds2_epu32(state1, state0, wk);
      wk = _mm_shuffle_epi32(wk, 0x0E);
      state0 = _mm_sha256rnds2_epu32(state0, state1, wk);
      if (g < 12) {
        // W[4g+16 .. 4g+19] from W[4g ..], W[4g+4 ..], W[4g+9 .. 4g+12] and W[4g+12 ..].
        __m128i next = _mm_sha256msg1_epu32(w[g & 3], w[(g + 1) & 3]);
        next = _mm_add_epi32(next, _mm_alignr_epi8(w[(g + 3) & 3], w[(g + 2) & 3], 4));
        w[g & 3] = _mm_sha256msg2_epu32(next, w[(g + 3) & 3]);
      }
    }
    state0 = _mm_add_epi32(state0, abefBefore);
    state1 = _mm_add_epi32(state1, cdghBefore);
  }
  tmp = _mm_shuffle_epi32(state0, 0x1B);        // FEBA
  state1 = _mm_shuffle_epi32(state1, 0xB1);     // DCHG
  state0 = _mm_blend_epi16(tmp, state1, 0xF0);  // DCBA
  state1 = _mm_alignr_epi8(state1, tmp, 8);     // ABEF
  _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[0]), state0);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[4]), state1);
}

bool CpuHasShaInstructions() {
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (__get_cpuid(1, &a, &b, &c, &d) == 0) return false;
  const bool ssse3 = (c & (1u << 9)) != 0, sse41 = (c & (1u << 19)) != 0;
  if (__get_cpuid_count(7, 0, &a, &b, &c, &d) == 0) return false;
  return ssse3 && sse41 && (b & (1u << 29)) != 0;
}
#endif

using BlocksFn = void (*)(std::uint32_t[8], const unsigned char*, std::size_t);

BlocksFn FastestBlocks() {
#ifdef FD_SHA256_X86
  static const BlocksFn chosen = CpuHasShaInstructions() ? ShaNiBlocks : PortableBlocks;
  return chosen;
#else
  return PortableBlocks;
#endif
}

Sha256Digest Sha256With(std::string_view bytes, BlocksFn blocks) {
  std::uint32_t state[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                            0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t whole = bytes.size() / 64;
  blocks(state, data, whole);
  data += whole * 64;
  const std::size_t left = bytes.size() - whole * 64;
  // The tail, the 0x80 mark and the length in bits, in one or two last blocks.
  unsigned char tail[128] = {};
  if (left > 0) std::memcpy(tail, data, left);
  tail[left] = 0x80;
  const std::size_t tailBlocks = left + 9 > 64 ? 2 : 1;
  const std::uint64_t bits = static_cast<std::uint64_t>(bytes.size()) * 8;
  for (int i = 0; i < 8; ++i) tail[tailBlocks * 64 - 1 - i] = static_cast<unsigned char>(bits >> (8 * i));
  blocks(state, tail, tailBlocks);
  Sha256Digest digest{};
  for (int i = 0; i < 8; ++i) {
    for (int j = 0; j < 4; ++j) digest[4 * i + j] = static_cast<std::uint8_t>(state[i] >> (24 - 8 * j));
  }
  return digest;
}

}  // namespace

Sha256Digest Sha256(std::string_view bytes) { return Sha256With(bytes, FastestBlocks()); }

Sha256Digest Sha256Portable(std::string_view bytes) { return Sha256With(bytes, PortableBlocks); }

bool Sha256UsesShaInstructions() { return FastestBlocks() != PortableBlocks; }

std::string Sha256Text(const Sha256Digest& digest) {
  std::string text = HexBytes(digest.data(), digest.size());
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace fd
