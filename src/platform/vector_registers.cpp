#include "platform/vector_registers.h"

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#include <cpuid.h>
#define VANTRY_X86_REGISTERS 1
#endif

namespace vantry::platform {

#ifdef VANTRY_X86_REGISTERS
namespace {

enum class VectorWidth { kNone, kSse, kAvx, kAvx512 };

// XCR0 tells which register states the operating system saves and so lets programs use:
// bit 1 SSE, bit 2 the upper halves of ymm0-15, bits 5-7 the opmask registers and zmm.
unsigned long long ReadXcr0() {
  unsigned int low = 0;
  unsigned int high = 0;
  __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
  return (static_cast<unsigned long long>(high) << 32) | low;
}

VectorWidth DetectVectorWidth() {
  unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
  // A 32-bit processor may lack SSE2 (and its xmm registers) altogether.
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0 || (edx & (1u << 26)) == 0) {
    return VectorWidth::kNone;
  }
  const bool osxsave = (ecx & (1u << 27)) != 0;
  const bool avx = (ecx & (1u << 28)) != 0;
  if (!osxsave || !avx) {
    return VectorWidth::kSse;
  }
  const unsigned long long xcr0 = ReadXcr0();
  if ((xcr0 & 0x6) != 0x6) {
    return VectorWidth::kSse;
  }
  unsigned int leaf7ebx = 0;
  if (__get_cpuid_count(7, 0, &eax, &leaf7ebx, &ecx, &edx) != 0 && (leaf7ebx & (1u << 16)) != 0 &&
      (xcr0 & 0xE6) == 0xE6) {
    return VectorWidth::kAvx512;
  }
  return VectorWidth::kAvx;
}

const VectorWidth g_width = DetectVectorWidth();

// The registers are named in the clobber lists so the compiler keeps nothing of its own in
// them across the statements. Every vector register is caller-saved in the System V ABI; on
// 64-bit Windows xmm6-15 are callee-saved, and the clobbers make the compiler save and restore
// the caller's values around these functions, which is what that ABI requires.
#ifdef __x86_64__
#define VANTRY_LOW_XMM_CLOBBERS                                                            \
  "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7", "xmm8", "xmm9", "xmm10", \
      "xmm11", "xmm12", "xmm13", "xmm14", "xmm15"
#else
#define VANTRY_LOW_XMM_CLOBBERS "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7"
#endif

__attribute__((noinline, target("sse2"))) void ClearSse() noexcept {
  __asm__ volatile(
      "pxor %%xmm0, %%xmm0\n\tpxor %%xmm1, %%xmm1\n\tpxor %%xmm2, %%xmm2\n\t"
      "pxor %%xmm3, %%xmm3\n\tpxor %%xmm4, %%xmm4\n\tpxor %%xmm5, %%xmm5\n\t"
      "pxor %%xmm6, %%xmm6\n\tpxor %%xmm7, %%xmm7\n\t"
#ifdef __x86_64__
      "pxor %%xmm8, %%xmm8\n\tpxor %%xmm9, %%xmm9\n\tpxor %%xmm10, %%xmm10\n\t"
      "pxor %%xmm11, %%xmm11\n\tpxor %%xmm12, %%xmm12\n\tpxor %%xmm13, %%xmm13\n\t"
      "pxor %%xmm14, %%xmm14\n\tpxor %%xmm15, %%xmm15\n\t"
#endif
      ::
          : VANTRY_LOW_XMM_CLOBBERS);
}

// vzeroall zeroes ymm0-15 whole (zmm0-15 too where AVX-512 is on) and leaves the upper state
// clean, so no transition penalty follows in SSE code.
__attribute__((noinline, target("avx"))) void ClearAvx() noexcept {
  __asm__ volatile("vzeroall" ::: VANTRY_LOW_XMM_CLOBBERS);
}

#ifdef __x86_64__
// zmm16-31 exist only in 64-bit mode; vzeroall does not reach them. A VEX-encoded write to
// xmm16+ is impossible, so each is zeroed by an EVEX vpxord of the full width.
__attribute__((noinline, target("avx512f"))) void ClearAvx512Upper() noexcept {
  __asm__ volatile(
      "vpxord %%zmm16, %%zmm16, %%zmm16\n\tvpxord %%zmm17, %%zmm17, %%zmm17\n\t"
      "vpxord %%zmm18, %%zmm18, %%zmm18\n\tvpxord %%zmm19, %%zmm19, %%zmm19\n\t"
      "vpxord %%zmm20, %%zmm20, %%zmm20\n\tvpxord %%zmm21, %%zmm21, %%zmm21\n\t"
      "vpxord %%zmm22, %%zmm22, %%zmm22\n\tvpxord %%zmm23, %%zmm23, %%zmm23\n\t"
      "vpxord %%zmm24, %%zmm24, %%zmm24\n\tvpxord %%zmm25, %%zmm25, %%zmm25\n\t"
      "vpxord %%zmm26, %%zmm26, %%zmm26\n\tvpxord %%zmm27, %%zmm27, %%zmm27\n\t"
      "vpxord %%zmm28, %%zmm28, %%zmm28\n\tvpxord %%zmm29, %%zmm29, %%zmm29\n\t"
      "vpxord %%zmm30, %%zmm30, %%zmm30\n\tvpxord %%zmm31, %%zmm31, %%zmm31\n\t" ::
          : "xmm16", "xmm17", "xmm18", "xmm19", "xmm20", "xmm21", "xmm22", "xmm23", "xmm24",
            "xmm25", "xmm26", "xmm27", "xmm28", "xmm29", "xmm30", "xmm31");
}

// The resolver also saves the argument registers. Those that carry no argument of the next
// call still hold whatever the last code left in them, eight bytes of a key among others.
__attribute__((noinline)) void ClearScratchGeneralRegisters() noexcept {
  __asm__ volatile(
      "xorl %%ecx, %%ecx\n\txorl %%edx, %%edx\n\txorl %%esi, %%esi\n\txorl %%edi, %%edi\n\t"
      "xorl %%r8d, %%r8d\n\txorl %%r9d, %%r9d\n\txorl %%r10d, %%r10d\n\txorl %%r11d, %%r11d" ::
          : "rcx", "rdx", "rsi", "rdi", "r8", "r9", "r10", "r11");
}
#endif

}  // namespace

void ClearVectorRegisters() noexcept {
  switch (g_width) {
    case VectorWidth::kAvx512:
#ifdef __x86_64__
      ClearAvx512Upper();
#endif
      ClearAvx();
      break;
    case VectorWidth::kAvx:
      ClearAvx();
      break;
    case VectorWidth::kSse:
      ClearSse();
      break;
    case VectorWidth::kNone:
      break;
  }
#ifdef __x86_64__
  ClearScratchGeneralRegisters();
#endif
}

#else  // not x86 with a GNU-compatible compiler

void ClearVectorRegisters() noexcept {}

#endif

}  // namespace vantry::platform
