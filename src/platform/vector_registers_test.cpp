#include "platform/vector_registers.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <cpuid.h>

namespace vantry::platform {
namespace {

using Lane = std::array<unsigned char, 16>;

const Lane kSecret = {'v', 'e', 'c', 't', 'o', 'r', ' ', 's', 'e', 'c', 'r', 'e', 't', '!', '!', 1};

// Each probe loads the secret into one register, calls ClearVectorRegisters and reads the
// register back. The register is caller-saved, so the compiler keeps nothing of its own in it
// across the call and puts nothing there between the statements.
__attribute__((noinline)) Lane Xmm1AfterClearing() {
  Lane out{};
  __asm__ volatile("movdqu (%0), %%xmm1" : : "r"(kSecret.data()) : "xmm1");
  ClearVectorRegisters();
  __asm__ volatile("movdqu %%xmm1, (%0)" : : "r"(out.data()) : "memory");
  return out;
}

bool HasUsableAvx512() {
  unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0 || (ecx & (1u << 27)) == 0) {
    return false;
  }
  unsigned int low = 0, high = 0;
  __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
  return __get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) != 0 && (ebx & (1u << 16)) != 0 &&
         (low & 0xE6) == 0xE6;
}

// The register glibc's EVEX string functions leave copies in, and nothing else overwrites.
__attribute__((noinline, target("avx512f"))) Lane Xmm31AfterClearing() {
  Lane out{};
  __asm__ volatile("vmovdqu64 (%0), %%xmm31" : : "r"(kSecret.data()) : "xmm31");
  ClearVectorRegisters();
  __asm__ volatile("vmovdqu64 %%xmm31, (%0)" : : "r"(out.data()) : "memory");
  return out;
}

TEST(ClearVectorRegisters, ZeroesALowVectorRegister) { EXPECT_EQ(Xmm1AfterClearing(), Lane{}); }

TEST(ClearVectorRegisters, ZeroesTheUpperAvx512Registers) {
  if (!HasUsableAvx512()) {
    GTEST_SKIP() << "this processor or system has no AVX-512";
  }
  EXPECT_EQ(Xmm31AfterClearing(), Lane{});
}

}  // namespace
}  // namespace vantry::platform
#endif
