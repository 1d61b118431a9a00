#include "cipher/aes_ni/aes_ni.h"

#include <stdexcept>

#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64) || defined(_M_IX86)
#define VANTRY_AES_NI_X86 1
#include <emmintrin.h>
#include <wmmintrin.h>
#if defined(_MSC_VER) && !defined(__clang__)
#include <intrin.h>
// MSVC compiles the intrinsics without a per-function target.
#define VANTRY_AES_TARGET
#else
#include <cpuid.h>
// Lets these functions, and only these, use the AES and SSE2 instructions.
#define VANTRY_AES_TARGET __attribute__((target("aes,sse2")))
#endif
#else
#define VANTRY_AES_NI_X86 0
#endif

namespace vantry::aes_ni {

void ConvertRoundKeys(const std::uint32_t (*rows)[8], int rounds, unsigned char* keys) noexcept {
  for (int r = 0; r <= rounds; ++r) {
    for (int column = 0; column < 4; ++column) {
      const std::uint32_t word = rows[r][column];
      unsigned char* p = keys + 16 * r + 4 * column;
      p[0] = static_cast<unsigned char>(word >> 24);
      p[1] = static_cast<unsigned char>(word >> 16);
      p[2] = static_cast<unsigned char>(word >> 8);
      p[3] = static_cast<unsigned char>(word);
    }
  }
}

#if VANTRY_AES_NI_X86

[[noreturn]] static void ThrowBadRounds() {
  throw std::invalid_argument("aes_ni: the number of rounds must be 10, 12 or 14");
}

static bool DetectAesNi() noexcept {
  constexpr unsigned kEcxAes = 1u << 25;
  constexpr unsigned kEdxSse2 = 1u << 26;
#if defined(_MSC_VER) && !defined(__clang__)
  int regs[4] = {};
  __cpuid(regs, 0);
  if (regs[0] < 1) {
    return false;
  }
  __cpuid(regs, 1);
  const unsigned ecx = static_cast<unsigned>(regs[2]);
  const unsigned edx = static_cast<unsigned>(regs[3]);
#else
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) {
    return false;
  }
#endif
  return (ecx & kEcxAes) != 0 && (edx & kEdxSse2) != 0;
}

bool Available() noexcept {
  static const bool available = DetectAesNi();
  return available;
}

namespace {

// The round keys are read from memory at every round rather than held in locals: an AES
// instruction takes its key straight from memory at no extra cost when the key is in the L1
// cache, and no copy of the key schedule is left in the stack frame.
VANTRY_AES_TARGET inline __m128i Key(const unsigned char* keys, int r) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(keys + 16 * r));
}

VANTRY_AES_TARGET inline __m128i Load(const unsigned char* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

VANTRY_AES_TARGET inline void Store(unsigned char* p, __m128i v) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

// N blocks through the forward cipher, round by round across the blocks, so the N AESENC of
// one round are independent and overlap in the pipeline.
template <int R, int N>
VANTRY_AES_TARGET inline void EncryptN(const unsigned char* keys, __m128i (&b)[N]) {
  __m128i k = Key(keys, 0);
  for (int i = 0; i < N; ++i) {
    b[i] = _mm_xor_si128(b[i], k);
  }
  for (int r = 1; r < R; ++r) {
    k = Key(keys, r);
    for (int i = 0; i < N; ++i) {
      b[i] = _mm_aesenc_si128(b[i], k);
    }
  }
  k = Key(keys, R);
  for (int i = 0; i < N; ++i) {
    b[i] = _mm_aesenclast_si128(b[i], k);
  }
}

template <int R, int N>
VANTRY_AES_TARGET inline void DecryptN(const unsigned char* keys, __m128i (&b)[N]) {
  __m128i k = Key(keys, 0);
  for (int i = 0; i < N; ++i) {
    b[i] = _mm_xor_si128(b[i], k);
  }
  for (int r = 1; r < R; ++r) {
    k = Key(keys, r);
    for (int i = 0; i < N; ++i) {
      b[i] = _mm_aesdec_si128(b[i], k);
    }
  }
  k = Key(keys, R);
  for (int i = 0; i < N; ++i) {
    b[i] = _mm_aesdeclast_si128(b[i], k);
  }
}

template <int R>
VANTRY_AES_TARGET inline __m128i Encrypt1(const unsigned char* keys, __m128i block) {
  __m128i b[1] = {block};
  EncryptN<R, 1>(keys, b);
  return b[0];
}

template <int R>
VANTRY_AES_TARGET inline __m128i Decrypt1(const unsigned char* keys, __m128i block) {
  __m128i b[1] = {block};
  DecryptN<R, 1>(keys, b);
  return b[0];
}

// ECB: groups of N blocks, each block on its own.
template <int R, int N, bool kEncrypt>
VANTRY_AES_TARGET inline void EcbGroup(const unsigned char* keys, const unsigned char* in,
                                       unsigned char* out) {
  __m128i b[N];
  for (int i = 0; i < N; ++i) {
    b[i] = Load(in + 16 * i);
  }
  if (kEncrypt) {
    EncryptN<R, N>(keys, b);
  } else {
    DecryptN<R, N>(keys, b);
  }
  for (int i = 0; i < N; ++i) {
    Store(out + 16 * i, b[i]);
  }
}

template <int R, bool kEncrypt>
VANTRY_AES_TARGET void Ecb(const unsigned char* keys, const unsigned char* in, unsigned char* out,
                           std::size_t nblocks) {
  for (; nblocks >= 8; nblocks -= 8, in += 128, out += 128) {
    EcbGroup<R, 8, kEncrypt>(keys, in, out);
  }
  if (nblocks >= 4) {
    EcbGroup<R, 4, kEncrypt>(keys, in, out);
    nblocks -= 4, in += 64, out += 64;
  }
  for (; nblocks > 0; --nblocks, in += 16, out += 16) {
    EcbGroup<R, 1, kEncrypt>(keys, in, out);
  }
}

// CBC decryption of N blocks: P[i] = D(C[i]) ^ C[i-1], with C[-1] in *chain. All cipher blocks
// of the group stay in registers, so out may be in.
template <int R, int N>
VANTRY_AES_TARGET inline void DecryptCbcGroup(const unsigned char* keys, const unsigned char* in,
                                              unsigned char* out, __m128i* chain) {
  __m128i c[N];
  __m128i b[N];
  for (int i = 0; i < N; ++i) {
    c[i] = Load(in + 16 * i);
    b[i] = c[i];
  }
  DecryptN<R, N>(keys, b);
  b[0] = _mm_xor_si128(b[0], *chain);
  for (int i = 1; i < N; ++i) {
    b[i] = _mm_xor_si128(b[i], c[i - 1]);
  }
  *chain = c[N - 1];
  for (int i = 0; i < N; ++i) {
    Store(out + 16 * i, b[i]);
  }
}

template <int R>
VANTRY_AES_TARGET void DecryptCbcR(const unsigned char* keys, const unsigned char* in,
                                   unsigned char* out, std::size_t nblocks, unsigned char* chain) {
  __m128i previous = Load(chain);
  for (; nblocks >= 8; nblocks -= 8, in += 128, out += 128) {
    DecryptCbcGroup<R, 8>(keys, in, out, &previous);
  }
  if (nblocks >= 4) {
    DecryptCbcGroup<R, 4>(keys, in, out, &previous);
    nblocks -= 4, in += 64, out += 64;
  }
  for (; nblocks > 0; --nblocks, in += 16, out += 16) {
    DecryptCbcGroup<R, 1>(keys, in, out, &previous);
  }
  Store(chain, previous);
}

// CFB decryption of N blocks: P[i] = E(C[i-1]) ^ C[i], with C[-1] in *chain.
template <int R, int N>
VANTRY_AES_TARGET inline void DecryptCfbGroup(const unsigned char* keys, const unsigned char* in,
                                              unsigned char* out, __m128i* chain) {
  __m128i c[N];
  __m128i b[N];
  for (int i = 0; i < N; ++i) {
    c[i] = Load(in + 16 * i);
  }
  b[0] = *chain;
  for (int i = 1; i < N; ++i) {
    b[i] = c[i - 1];
  }
  EncryptN<R, N>(keys, b);
  for (int i = 0; i < N; ++i) {
    b[i] = _mm_xor_si128(b[i], c[i]);
  }
  *chain = c[N - 1];
  for (int i = 0; i < N; ++i) {
    Store(out + 16 * i, b[i]);
  }
}

template <int R>
VANTRY_AES_TARGET void DecryptCfbR(const unsigned char* keys, const unsigned char* in,
                                   unsigned char* out, std::size_t nblocks, unsigned char* chain) {
  __m128i previous = Load(chain);
  for (; nblocks >= 8; nblocks -= 8, in += 128, out += 128) {
    DecryptCfbGroup<R, 8>(keys, in, out, &previous);
  }
  if (nblocks >= 4) {
    DecryptCfbGroup<R, 4>(keys, in, out, &previous);
    nblocks -= 4, in += 64, out += 64;
  }
  for (; nblocks > 0; --nblocks, in += 16, out += 16) {
    DecryptCfbGroup<R, 1>(keys, in, out, &previous);
  }
  Store(chain, previous);
}

// The serial modes: one block after the other, the chain kept in a register between blocks.
template <int R>
VANTRY_AES_TARGET void EncryptCbcR(const unsigned char* keys, const unsigned char* in,
                                   unsigned char* out, std::size_t nblocks, unsigned char* chain) {
  __m128i previous = Load(chain);
  for (; nblocks > 0; --nblocks, in += 16, out += 16) {
    previous = Encrypt1<R>(keys, _mm_xor_si128(Load(in), previous));
    Store(out, previous);
  }
  Store(chain, previous);
}

template <int R>
VANTRY_AES_TARGET void EncryptCfbR(const unsigned char* keys, const unsigned char* in,
                                   unsigned char* out, std::size_t nblocks, unsigned char* chain) {
  __m128i previous = Load(chain);
  for (; nblocks > 0; --nblocks, in += 16, out += 16) {
    previous = _mm_xor_si128(Encrypt1<R>(keys, previous), Load(in));
    Store(out, previous);
  }
  Store(chain, previous);
}

template <int R>
VANTRY_AES_TARGET void EncryptBlockR(const unsigned char* keys, const unsigned char* in,
                                     unsigned char* out) {
  Store(out, Encrypt1<R>(keys, Load(in)));
}

template <int R>
VANTRY_AES_TARGET void DecryptBlockR(const unsigned char* keys, const unsigned char* in,
                                     unsigned char* out) {
  Store(out, Decrypt1<R>(keys, Load(in)));
}

}  // namespace

// The number of rounds picks a fully unrolled instance of each kernel.
#define VANTRY_AES_DISPATCH(rounds, kernel, ...) \
  switch (rounds) {                              \
    case 10:                                     \
      return kernel<10>(__VA_ARGS__);            \
    case 12:                                     \
      return kernel<12>(__VA_ARGS__);            \
    case 14:                                     \
      return kernel<14>(__VA_ARGS__);            \
    default:                                     \
      ThrowBadRounds();                          \
  }

template <int R>
static void EncryptEcbR(const unsigned char* keys, const unsigned char* in, unsigned char* out,
                        std::size_t nblocks) {
  Ecb<R, true>(keys, in, out, nblocks);
}

template <int R>
static void DecryptEcbR(const unsigned char* keys, const unsigned char* in, unsigned char* out,
                        std::size_t nblocks) {
  Ecb<R, false>(keys, in, out, nblocks);
}

void EncryptBlock(const unsigned char* encKeys, int rounds, const unsigned char* in,
                  unsigned char* out) {
  VANTRY_AES_DISPATCH(rounds, EncryptBlockR, encKeys, in, out)
}

void DecryptBlock(const unsigned char* decKeys, int rounds, const unsigned char* in,
                  unsigned char* out) {
  VANTRY_AES_DISPATCH(rounds, DecryptBlockR, decKeys, in, out)
}

void EncryptBlocks(const unsigned char* encKeys, int rounds, const unsigned char* in,
                   unsigned char* out, std::size_t nblocks) {
  VANTRY_AES_DISPATCH(rounds, EncryptEcbR, encKeys, in, out, nblocks)
}

void DecryptBlocks(const unsigned char* decKeys, int rounds, const unsigned char* in,
                   unsigned char* out, std::size_t nblocks) {
  VANTRY_AES_DISPATCH(rounds, DecryptEcbR, decKeys, in, out, nblocks)
}

void EncryptCbc(const unsigned char* encKeys, int rounds, const unsigned char* in,
                unsigned char* out, std::size_t nblocks, unsigned char* chain) {
  VANTRY_AES_DISPATCH(rounds, EncryptCbcR, encKeys, in, out, nblocks, chain)
}

void DecryptCbc(const unsigned char* decKeys, int rounds, const unsigned char* in,
                unsigned char* out, std::size_t nblocks, unsigned char* chain) {
  VANTRY_AES_DISPATCH(rounds, DecryptCbcR, decKeys, in, out, nblocks, chain)
}

void EncryptCfb(const unsigned char* encKeys, int rounds, const unsigned char* in,
                unsigned char* out, std::size_t nblocks, unsigned char* chain) {
  VANTRY_AES_DISPATCH(rounds, EncryptCfbR, encKeys, in, out, nblocks, chain)
}

void DecryptCfb(const unsigned char* encKeys, int rounds, const unsigned char* in,
                unsigned char* out, std::size_t nblocks, unsigned char* chain) {
  VANTRY_AES_DISPATCH(rounds, DecryptCfbR, encKeys, in, out, nblocks, chain)
}

#undef VANTRY_AES_DISPATCH

#else  // not x86: no AES instructions, so the kernels are never selected.

bool Available() noexcept { return false; }

[[noreturn]] static void Unavailable() {
  throw std::logic_error("aes_ni: the AES instructions do not exist on this processor");
}

void EncryptBlock(const unsigned char*, int, const unsigned char*, unsigned char*) {
  Unavailable();
}
void DecryptBlock(const unsigned char*, int, const unsigned char*, unsigned char*) {
  Unavailable();
}
void EncryptBlocks(const unsigned char*, int, const unsigned char*, unsigned char*, std::size_t) {
  Unavailable();
}
void DecryptBlocks(const unsigned char*, int, const unsigned char*, unsigned char*, std::size_t) {
  Unavailable();
}
void EncryptCbc(const unsigned char*, int, const unsigned char*, unsigned char*, std::size_t,
                unsigned char*) {
  Unavailable();
}
void DecryptCbc(const unsigned char*, int, const unsigned char*, unsigned char*, std::size_t,
                unsigned char*) {
  Unavailable();
}
void EncryptCfb(const unsigned char*, int, const unsigned char*, unsigned char*, std::size_t,
                unsigned char*) {
  Unavailable();
}
void DecryptCfb(const unsigned char*, int, const unsigned char*, unsigned char*, std::size_t,
                unsigned char*) {
  Unavailable();
}

#endif

}  // namespace vantry::aes_ni
