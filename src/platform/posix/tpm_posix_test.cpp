// Secrets sealed by a TPM, against a software TPM (swtpm). How each refusal reads, and that
// every path leaves nothing loaded, is the sealed files' TPM slot test; here: what only this
// layer sees, its damaged blobs and the secret's copies in memory.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <string>

#include "platform/secure_wipe.h"
#include "platform/tpm.h"
#include "support/software_tpm.h"

namespace vantry::platform::tpm {
namespace {

using Blob = std::vector<unsigned char>;

TEST(Tpm, RefusesADamagedBlobAsSuchAndLeavesNothingLoaded) {
  const test::SoftwareTpm machine;
  const unsigned char secret[kSecretSize] = {7};
  const Blob blob = Seal(secret, 1u << 7, machine.tcti());
  Blob changedPrivate = blob, cutShort = blob, otherFormat = blob, otherPcrs = blob;
  changedPrivate.back() ^= 1;
  cutShort.pop_back();
  otherFormat[0] = 2;
  otherPcrs[1] = 1;  // PCR 24
  for (const Blob& damaged : {changedPrivate, cutShort, otherFormat, otherPcrs}) {
    unsigned char out[kSecretSize] = {};
    try {
      Unseal(damaged, out, machine.tcti());
      ADD_FAILURE() << "unsealed";
    } catch (const TpmError& e) {
      EXPECT_EQ(e.refusal(), Refusal::kDamaged) << e.what();
    }
  }
  EXPECT_EQ(machine.LoadedHandles(), 0u);
}

// Copies of masked ^ mask in writable memory, found without forming those bytes, so that only
// copies the code under test left count.
__attribute__((no_sanitize_address)) std::size_t CopiesInMemory(const Blob& masked,
                                                                const Blob& mask) {
  std::ifstream maps("/proc/self/maps");
  std::size_t copies = 0;
  for (std::string line; std::getline(maps, line);) {
    unsigned long start = 0, end = 0;
    char perms[5] = {};
    std::sscanf(line.c_str(), "%lx-%lx %4s", &start, &end, perms);
    const auto* p = reinterpret_cast<const volatile unsigned char*>(start);
    for (std::size_t i = 0; perms[1] == 'w' && end - start < (1ul << 30) && i < end - start; ++i) {
      std::size_t k = 0;
      while (k < kSecretSize && i + k < end - start && (p[i + k] ^ mask[k]) == masked[k]) {
        ++k;
      }
      copies += k == kSecretSize;
    }
  }
  return copies;
}

TEST(Tpm, LeavesNoCopyOfTheSecretInMemory) {
  const test::SoftwareTpm machine;
  std::random_device device;
  Blob mask(kSecretSize), masked(kSecretSize), blob;
  {
    unsigned char secret[kSecretSize];
    for (std::size_t i = 0; i < kSecretSize; ++i) {
      secret[i] = static_cast<unsigned char>(device());
      mask[i] = static_cast<unsigned char>(device());
      masked[i] = secret[i] ^ mask[i];
    }
    blob = Seal(secret, 0, machine.tcti());
    SecureWipe(secret, sizeof secret);
  }
  unsigned char unsealed[kSecretSize];
  Unseal(blob, unsealed, machine.tcti());
  std::size_t same = 0;
  for (std::size_t i = 0; i < kSecretSize; ++i) {
    same += (unsealed[i] ^ mask[i]) == masked[i];
  }
  SecureWipe(unsealed, sizeof unsealed);
  EXPECT_EQ(same, kSecretSize);
  EXPECT_EQ(CopiesInMemory(masked, mask), 0u);
}

}  // namespace
}  // namespace vantry::platform::tpm
