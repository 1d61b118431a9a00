// Secrets sealed by a TPM, against software TPMs (swtpm): each instance is another machine.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>

#include "platform/secure_wipe.h"
#include "platform/tpm.h"
#include "support/software_tpm.h"
#include "support/test_support.h"

namespace vantry::platform::tpm {
namespace {

using test::Bytes;
using test::SoftwareTpm;

constexpr std::uint32_t kPcr7And16 = (1u << 7) | (1u << 16);

Bytes Secret(unsigned char seed) {
  Bytes secret(kSecretSize);
  for (std::size_t i = 0; i < secret.size(); ++i) {
    secret[i] = static_cast<unsigned char>(seed * 31 + i);
  }
  return secret;
}

TEST(Tpm, UnsealsWhatItSealedAndLeavesNothingLoaded) {
  for (const std::uint32_t pcrs : {0u, kPcr7And16}) {
    SCOPED_TRACE(pcrs);
    const SoftwareTpm machine;
    const Bytes secret = Secret(static_cast<unsigned char>(pcrs));
    const Bytes blob = Seal(secret.data(), pcrs, machine.tcti());
    EXPECT_EQ(BlobPcrs(blob), pcrs);
    Bytes unsealed(kSecretSize);
    Unseal(blob, unsealed.data(), machine.tcti());
    EXPECT_EQ(unsealed, secret);
    EXPECT_EQ(machine.LoadedHandles(), 0u);
  }
}

// Every refusal: its kind, its message, and no object or session left behind in either TPM.
TEST(Tpm, RefusesEachWayWithItsOwnKindAndFlushesEverything) {
  struct Case {
    const char* name;
    std::uint32_t pcrs;
    // Spoils the sealed blob or machine A's state; returns the TCTI to unseal through.
    std::function<std::string(Bytes& blob, SoftwareTpm& a, SoftwareTpm& b)> harm;
    Refusal refusal;
    const char* message;
  };
  const Case cases[] = {
      {"another machine", 0, [](Bytes&, SoftwareTpm&, SoftwareTpm& b) { return b.tcti(); },
       Refusal::kOtherTpm, "the key was sealed by another machine's TPM"},
      {"boot state changed", kPcr7And16,
       [](Bytes&, SoftwareTpm& a, SoftwareTpm&) {
         a.ExtendPcr(16);
         return a.tcti();
       },
       Refusal::kPolicyMismatch, "this machine's boot state changed since the key was sealed"},
      {"no TPM", 0,
       [](Bytes&, SoftwareTpm& a, SoftwareTpm&) {
         a.Stop();
         return a.tcti();
       },
       Refusal::kUnavailable, "no TPM could be reached through \"swtpm:path="},
      {"lockout", 0,
       [](Bytes&, SoftwareTpm& a, SoftwareTpm&) {
         a.EnterLockout();
         return a.tcti();
       },
       Refusal::kLockout, "the TPM is in dictionary-attack lockout"},
      {"private area changed", 0,
       [](Bytes& blob, SoftwareTpm& a, SoftwareTpm&) {
         blob.back() ^= 1;
         return a.tcti();
       },
       Refusal::kDamaged, "the TPM key's data is damaged"},
      {"blob cut short", 0,
       [](Bytes& blob, SoftwareTpm& a, SoftwareTpm&) {
         blob.pop_back();
         return a.tcti();
       },
       Refusal::kDamaged, "the TPM key's data is damaged"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SoftwareTpm a;
    SoftwareTpm b;
    const Bytes secret = Secret(7);
    Bytes blob = Seal(secret.data(), c.pcrs, a.tcti());
    const std::string tcti = c.harm(blob, a, b);
    Bytes out(kSecretSize, 0xee);
    try {
      Unseal(blob, out.data(), tcti);
      ADD_FAILURE() << "unsealed";
    } catch (const TpmError& e) {
      EXPECT_EQ(e.refusal(), c.refusal);
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
    EXPECT_EQ(out, Bytes(kSecretSize, 0xee));
    if (c.refusal != Refusal::kUnavailable) {
      EXPECT_EQ(a.LoadedHandles(), 0u);
    }
    EXPECT_EQ(b.LoadedHandles(), 0u);
  }
}

// Searches this process's writable memory for the bytes masked ^ mask without ever forming
// them, so that the search finds only copies the code under test left.
__attribute__((no_sanitize_address)) std::size_t CopiesInMemory(const Bytes& masked,
                                                                const Bytes& mask) {
  std::ifstream maps("/proc/self/maps");
  std::size_t copies = 0;
  for (std::string line; std::getline(maps, line);) {
    std::istringstream fields(line);
    std::string range, perms, offset, device, inode, path;
    fields >> range >> perms >> offset >> device >> inode >> path;
    const std::uintptr_t start = std::stoull(range.substr(0, range.find('-')), nullptr, 16);
    const std::uintptr_t end = std::stoull(range.substr(range.find('-') + 1), nullptr, 16);
    if (perms.compare(0, 2, "rw") != 0 || end - start > (std::uintptr_t{1} << 30) ||
        path == "[vvar]" || path == "[vsyscall]") {
      continue;
    }
    const auto* p = reinterpret_cast<const volatile unsigned char*>(start);
    for (std::uintptr_t i = 0; i + masked.size() <= end - start; ++i) {
      std::size_t k = 0;
      while (k < masked.size() && (p[i + k] ^ mask[k]) == masked[k]) {
        ++k;
      }
      copies += k == masked.size();
    }
  }
  return copies;
}

// Neither sealing nor unsealing leaves a copy of the secret anywhere in the process: not in
// ESAPI's buffers, its results, nor the stack.
TEST(Tpm, LeavesNoCopyOfTheSecretInMemory) {
  const SoftwareTpm machine;
  const Bytes mask = Secret(1);
  Bytes masked(kSecretSize);
  Bytes blob;
  {
    unsigned char secret[kSecretSize];
    std::random_device device;
    for (std::size_t i = 0; i < kSecretSize; ++i) {
      secret[i] = static_cast<unsigned char>(device());
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
