#include "cipher/aes_ni/vaes.h"

#include <stdexcept>

#include "cipher/aes_ni/aes_ni.h"

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define VANTRY_VAES_X86 1
#include <cpuid.h>
#include <immintrin.h>
// Only these functions use the vector AES instructions and the wide registers.
#define VANTRY_VAES256_TARGET __attribute__((target("aes,vaes,avx2")))
#define VANTRY_VAES512_TARGET __attribute__((target("aes,vaes,avx512f")))
#else
#define VANTRY_VAES_X86 0
#endif

namespace vantry::vaes {

#if VANTRY_VAES_X86

namespace {

struct Support {
  bool vaes256 = false;
  bool vaes512 = false;
};

Support Detect() noexcept {
  Support support;
  if (!aes_ni::Available()) {
    return support;
  }
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) {
    return support;
  }
  const bool osxsave = (ecx & (1u << 27)) != 0;
  const bool avx = (ecx & (1u << 28)) != 0;
  if (!osxsave || !avx) {
    return support;
  }
  unsigned xcr0Low = 0, xcr0High = 0;
  __asm__ volatile("xgetbv" : "=a"(xcr0Low), "=d"(xcr0High) : "c"(0));
  // The operating system saves xmm and ymm state (bits 1, 2), and for AVX-512 the opmask and
  // both zmm halves (bits 5, 6, 7).
  const bool ymmState = (xcr0Low & 0x6u) == 0x6u;
  const bool zmmState = (xcr0Low & 0xE6u) == 0xE6u;
  unsigned leaf7ebx = 0, leaf7ecx = 0;
  if (__get_cpuid_count(7, 0, &eax, &leaf7ebx, &leaf7ecx, &edx) == 0) {
    return support;
  }
  const bool vaes = (leaf7ecx & (1u << 9)) != 0;
  const bool avx2 = (leaf7ebx & (1u << 5)) != 0;
  const bool avx512f = (leaf7ebx & (1u << 16)) != 0;
  support.vaes256 = vaes && avx2 && ymmState;
  support.vaes512 = vaes && avx512f && zmmState;
  return support;
}

const Support& Supported() noexcept {
  static const Support support = Detect();
  return support;
}

[[noreturn]] void ThrowBadRounds() {
  throw std::invalid_argument("vaes: the number of rounds must be 10, 12 or 14");
}

// The register type of one width, with its loads, stores, key broadcast and rounds.
struct Wide256 {
  using Reg = __m256i;
  static constexpr int kBlocks = 2;
  VANTRY_VAES256_TARGET static Reg Load(const unsigned char* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  }
  VANTRY_VAES256_TARGET static void Store(unsigned char* p, Reg v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
  }
  // The round key is read from memory at every round: no copy of the schedule stays in the
  // stack frame, and the broadcast costs nothing next to the rounds of a group.
  VANTRY_VAES256_TARGET static Reg Key(const unsigned char* keys, int r) {
    return _mm256_broadcastsi128_si256(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(keys + 16 * r)));
  }
  VANTRY_VAES256_TARGET static Reg Xor(Reg a, Reg b) { return _mm256_xor_si256(a, b); }
  VANTRY_VAES256_TARGET static Reg Enc(Reg a, Reg k) { return _mm256_aesenc_epi128(a, k); }
  VANTRY_VAES256_TARGET static Reg EncLast(Reg a, Reg k) { return _mm256_aesenclast_epi128(a, k); }
  VANTRY_VAES256_TARGET static Reg Dec(Reg a, Reg k) { return _mm256_aesdec_epi128(a, k); }
  VANTRY_VAES256_TARGET static Reg DecLast(Reg a, Reg k) { return _mm256_aesdeclast_epi128(a, k); }
};

struct Wide512 {
  using Reg = __m512i;
  static constexpr int kBlocks = 4;
  VANTRY_VAES512_TARGET static Reg Load(const unsigned char* p) { return _mm512_loadu_si512(p); }
  VANTRY_VAES512_TARGET static void Store(unsigned char* p, Reg v) { _mm512_storeu_si512(p, v); }
  VANTRY_VAES512_TARGET static Reg Key(const unsigned char* keys, int r) {
    // The masked form: the plain one starts from an undefined register, which GCC 12 warns of.
    return _mm512_maskz_broadcast_i32x4(
        0xFFFF, _mm_loadu_si128(reinterpret_cast<const __m128i*>(keys + 16 * r)));
  }
  VANTRY_VAES512_TARGET static Reg Xor(Reg a, Reg b) { return _mm512_xor_si512(a, b); }
  VANTRY_VAES512_TARGET static Reg Enc(Reg a, Reg k) { return _mm512_aesenc_epi128(a, k); }
  VANTRY_VAES512_TARGET static Reg EncLast(Reg a, Reg k) { return _mm512_aesenclast_epi128(a, k); }
  VANTRY_VAES512_TARGET static Reg Dec(Reg a, Reg k) { return _mm512_aesdec_epi128(a, k); }
  VANTRY_VAES512_TARGET static Reg DecLast(Reg a, Reg k) { return _mm512_aesdeclast_epi128(a, k); }
};

// The kernels of one width, compiled for that width's instruction set alone: a function may
// inline only code of its own target, and the 256-bit kernels must not use AVX-512.
//
// GroupN runs N registers of blocks through all R rounds, round by round across the registers,
// so the N round instructions of one round are independent and overlap in the pipeline. Ecb
// takes groups of eight registers, then one group of what is left in whole registers (so a
// short run such as a 384-byte chunk still overlaps its rounds), then the last odd blocks on
// AES-NI.
#define VANTRY_VAES_KERNELS(W, TARGET)                                                           \
  template <int R, int N, bool kEncrypt>                                                         \
  TARGET inline void Group##W(const unsigned char* keys, const unsigned char* in,                \
                              unsigned char* out) {                                              \
    W::Reg b[N];                                                                                 \
    for (int i = 0; i < N; ++i) {                                                                \
      b[i] = W::Xor(W::Load(in + 16 * W::kBlocks * i), W::Key(keys, 0));                         \
    }                                                                                            \
    for (int r = 1; r < R; ++r) {                                                                \
      const W::Reg k = W::Key(keys, r);                                                          \
      for (int i = 0; i < N; ++i) {                                                              \
        b[i] = kEncrypt ? W::Enc(b[i], k) : W::Dec(b[i], k);                                     \
      }                                                                                          \
    }                                                                                            \
    const W::Reg k = W::Key(keys, R);                                                            \
    for (int i = 0; i < N; ++i) {                                                                \
      W::Store(out + 16 * W::kBlocks * i, kEncrypt ? W::EncLast(b[i], k) : W::DecLast(b[i], k)); \
    }                                                                                            \
  }                                                                                              \
  template <int R, bool kEncrypt>                                                                \
  TARGET void Ecb##W(const unsigned char* keys, const unsigned char* in, unsigned char* out,     \
                     std::size_t nblocks) {                                                      \
    constexpr std::size_t kGroup = 8 * W::kBlocks;                                               \
    for (; nblocks >= kGroup; nblocks -= kGroup, in += 16 * kGroup, out += 16 * kGroup) {        \
      Group##W<R, 8, kEncrypt>(keys, in, out);                                                   \
    }                                                                                            \
    const std::size_t registers = nblocks / W::kBlocks;                                          \
    switch (registers) {                                                                         \
      case 7:                                                                                    \
        Group##W<R, 7, kEncrypt>(keys, in, out);                                                 \
        break;                                                                                   \
      case 6:                                                                                    \
        Group##W<R, 6, kEncrypt>(keys, in, out);                                                 \
        break;                                                                                   \
      case 5:                                                                                    \
        Group##W<R, 5, kEncrypt>(keys, in, out);                                                 \
        break;                                                                                   \
      case 4:                                                                                    \
        Group##W<R, 4, kEncrypt>(keys, in, out);                                                 \
        break;                                                                                   \
      case 3:                                                                                    \
        Group##W<R, 3, kEncrypt>(keys, in, out);                                                 \
        break;                                                                                   \
      case 2:                                                                                    \
        Group##W<R, 2, kEncrypt>(keys, in, out);                                                 \
        break;                                                                                   \
      case 1:                                                                                    \
        Group##W<R, 1, kEncrypt>(keys, in, out);                                                 \
        break;                                                                                   \
      default:                                                                                   \
        break;                                                                                   \
    }                                                                                            \
    const std::size_t done = registers * W::kBlocks;                                             \
    if (nblocks > done) {                                                                        \
      in += 16 * done;                                                                           \
      out += 16 * done;                                                                          \
      kEncrypt ? aes_ni::EncryptBlocks(keys, R, in, out, nblocks - done)                         \
               : aes_ni::DecryptBlocks(keys, R, in, out, nblocks - done);                        \
    }                                                                                            \
  }

VANTRY_VAES_KERNELS(Wide256, VANTRY_VAES256_TARGET)
VANTRY_VAES_KERNELS(Wide512, VANTRY_VAES512_TARGET)
#undef VANTRY_VAES_KERNELS

template <bool kEncrypt,
          void (*Kernel10)(const unsigned char*, const unsigned char*, unsigned char*, std::size_t),
          void (*Kernel12)(const unsigned char*, const unsigned char*, unsigned char*, std::size_t),
          void (*Kernel14)(const unsigned char*, const unsigned char*, unsigned char*, std::size_t)>
void Dispatch(const unsigned char* keys, int rounds, const unsigned char* in, unsigned char* out,
              std::size_t nblocks) {
  switch (rounds) {
    case 10:
      return Kernel10(keys, in, out, nblocks);
    case 12:
      return Kernel12(keys, in, out, nblocks);
    case 14:
      return Kernel14(keys, in, out, nblocks);
    default:
      ThrowBadRounds();
  }
}

}  // namespace

bool Available256() noexcept { return Supported().vaes256; }

bool Available512() noexcept { return Supported().vaes512; }

void EncryptBlocks256(const unsigned char* encKeys, int rounds, const unsigned char* in,
                      unsigned char* out, std::size_t nblocks) {
  Dispatch<true, EcbWide256<10, true>, EcbWide256<12, true>, EcbWide256<14, true>>(
      encKeys, rounds, in, out, nblocks);
}

void DecryptBlocks256(const unsigned char* decKeys, int rounds, const unsigned char* in,
                      unsigned char* out, std::size_t nblocks) {
  Dispatch<false, EcbWide256<10, false>, EcbWide256<12, false>, EcbWide256<14, false>>(
      decKeys, rounds, in, out, nblocks);
}

void EncryptBlocks512(const unsigned char* encKeys, int rounds, const unsigned char* in,
                      unsigned char* out, std::size_t nblocks) {
  Dispatch<true, EcbWide512<10, true>, EcbWide512<12, true>, EcbWide512<14, true>>(
      encKeys, rounds, in, out, nblocks);
}

void DecryptBlocks512(const unsigned char* decKeys, int rounds, const unsigned char* in,
                      unsigned char* out, std::size_t nblocks) {
  Dispatch<false, EcbWide512<10, false>, EcbWide512<12, false>, EcbWide512<14, false>>(
      decKeys, rounds, in, out, nblocks);
}

#else  // not x86 with a GNU-compatible compiler: never available, never called.

bool Available256() noexcept { return false; }
bool Available512() noexcept { return false; }

[[noreturn]] static void Unavailable() {
  throw std::logic_error("vaes: the vector AES instructions are not used on this target");
}

void EncryptBlocks256(const unsigned char*, int, const unsigned char*, unsigned char*,
                      std::size_t) {
  Unavailable();
}
void DecryptBlocks256(const unsigned char*, int, const unsigned char*, unsigned char*,
                      std::size_t) {
  Unavailable();
}
void EncryptBlocks512(const unsigned char*, int, const unsigned char*, unsigned char*,
                      std::size_t) {
  Unavailable();
}
void DecryptBlocks512(const unsigned char*, int, const unsigned char*, unsigned char*,
                      std::size_t) {
  Unavailable();
}

#endif

}  // namespace vantry::vaes
