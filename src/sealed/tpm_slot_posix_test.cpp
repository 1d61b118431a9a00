// TPM slots in sealed files, on software TPMs (each instance another machine): each refusal
// with its kind and message, a recovery slot beside the TPM's that opens what the TPM refuses,
// and no object or session left in either TPM on any path.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/sealing_crypto.h"
#include "sealed/sealer.h"
#include "sealed/unsealer.h"
#include "support/memory_streams.h"
#include "support/software_tpm.h"

namespace vantry::sealed {
namespace {

using test::SoftwareTpm;
using Kind = SealedError::Kind;

const std::string kAdvice =
    "; open it through another of its slots (vantry slots notes.vts lists them)";

void UseTpm(const std::string& tcti) { setenv("VANTRY_TPM_TCTI", tcti.c_str(), 1); }
// What happens between seal (on A) and unseal.
void MoveToB(SoftwareTpm&, SoftwareTpm& b) { UseTpm(b.tcti()); }
void ChangePcr16(SoftwareTpm& a, SoftwareTpm&) { a.ExtendPcr(16); }
void LockOut(SoftwareTpm& a, SoftwareTpm&) { a.EnterLockout(); }
void LoseTpm(SoftwareTpm&, SoftwareTpm&) { UseTpm("swtpm:path=/no"); }

TEST(TpmSlot, RefusesEachWayWithItsOwnKindAndMessageUnlessAnotherSlotOpens) {
  unsigned char identity[platform::sealing::kX25519Size], recipient[sizeof identity];
  platform::sealing::X25519Generate(identity, recipient);
  const SealedKey recovery = SealedKey::Recipient(recipient, sizeof recipient);
  const SealedKey recoveryIdentity = SealedKey::Identity(identity, sizeof identity);
  const SealedKey tpm = SealedKey::Tpm();
  const struct {
    std::uint32_t pcrs;
    bool withRecovery;
    void (*harm)(SoftwareTpm& a, SoftwareTpm& b);
    Kind kind;
    std::string message;  // empty: the file opens
  } cases[] = {
      {0, false, MoveToB, Kind::kOtherAccount,
       "notes.vts was sealed by another machine's TPM (or by this one before it was cleared)" +
           kAdvice},
      {1u << 7 | 1u << 16, false, ChangePcr16, Kind::kBootStateChanged,
       "this machine's boot state changed since the file was sealed, so the TPM does not open "
       "notes.vts" +
           kAdvice},
      {0, false, LockOut, Kind::kTpmLockout,
       "the TPM slot of notes.vts cannot be opened: the TPM is in dictionary-attack lockout"},
      {0, false, LoseTpm, Kind::kNotAvailable,
       "the TPM slot of notes.vts cannot be opened: no TPM could be reached through "
       "\"swtpm:path=/no\""},
      {0, true, MoveToB, Kind::kWrongKey, ""},
  };
  const test::Bytes plain = {'n', 'o', 't', 'e', 's'};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    SoftwareTpm a, b;
    UseTpm(a.tcti());
    test::MemoryReader input(plain);
    test::MemoryWriter sealed, output;
    std::vector<SealedKey> sealKeys = {SealedKey::Tpm(c.pcrs)};
    std::vector<const SealedKey*> unsealKeys = {&tpm};
    if (c.withRecovery) {
      sealKeys.push_back(recovery);
      unsealKeys.push_back(&recoveryIdentity);
    }
    SealStreamWith(sealKeys, input, sealed);
    c.harm(a, b);
    test::MemoryReader file(sealed.written);
    try {
      UnsealStreamWith(unsealKeys, file, "notes.vts", output);
      EXPECT_EQ(c.message, "");
      EXPECT_EQ(output.written, plain);
    } catch (const SealedError& e) {
      EXPECT_EQ(e.kind(), c.kind);
      EXPECT_EQ(std::string(e.what()).find(c.message), 0u) << e.what();
      EXPECT_TRUE(output.written.empty());
    }
    EXPECT_EQ(a.LoadedHandles() + b.LoadedHandles(), 0u);
  }
  unsetenv("VANTRY_TPM_TCTI");
}

}  // namespace
}  // namespace vantry::sealed
