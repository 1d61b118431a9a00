// TPM slots in sealed files, on software TPMs (each instance another machine): every refusal
// with its kind and its message, and a recovery slot beside the TPM slot that still opens.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/sealing_crypto.h"
#include "sealed/sealer.h"
#include "sealed/unsealer.h"
#include "support/memory_streams.h"
#include "support/software_tpm.h"
#include "vantry/sealed.h"

namespace vantry::sealed {
namespace {

using test::Bytes;
using test::SoftwareTpm;
using Kind = SealedError::Kind;

constexpr std::uint32_t kPcr7 = 1u << 7;
const char kAdvice[] =
    "; open it through another of its slots (vantry slots notes.vts lists them)";

void UseTpm(const SoftwareTpm& tpm) { setenv("VANTRY_TPM_TCTI", tpm.tcti().c_str(), 1); }

Bytes SealWith(const std::vector<SealedKey>& keys, const Bytes& plain) {
  test::MemoryReader input(plain);
  test::MemoryWriter output;
  SealStreamWith(keys, input, output);
  return output.written;
}

TEST(TpmSlot, RefusesEachWayWithItsOwnKindAndMessageUnlessAnotherSlotOpens) {
  unsigned char identity[platform::sealing::kX25519Size];
  unsigned char recipient[platform::sealing::kX25519Size];
  platform::sealing::X25519Generate(identity, recipient);
  const SealedKey recovery = SealedKey::Recipient(recipient, sizeof recipient);
  const SealedKey recoveryIdentity = SealedKey::Identity(identity, sizeof identity);
  struct Case {
    const char* name;
    std::vector<SealedKey> sealKeys;
    std::vector<const SealedKey*> unsealKeys;
    // Changes machine A, or picks B, before the unseal.
    std::function<void(SoftwareTpm& a, SoftwareTpm& b)> harm;
    bool opens;
    Kind kind;
    std::string message;
  };
  const SealedKey tpm = SealedKey::Tpm();
  const Case cases[] = {
      {"another machine",
       {SealedKey::Tpm()},
       {&tpm},
       [](SoftwareTpm&, SoftwareTpm& b) { UseTpm(b); },
       false,
       Kind::kOtherAccount,
       std::string("notes.vts was sealed by another machine's TPM (or by this one before it was "
                   "cleared)") +
           kAdvice},
      {"boot state changed",
       {SealedKey::Tpm(kPcr7)},
       {&tpm},
       [](SoftwareTpm& a, SoftwareTpm&) { a.ExtendPcr(7); },
       false,
       Kind::kBootStateChanged,
       std::string("this machine's boot state changed since the file was sealed, so the TPM does "
                   "not open notes.vts") +
           kAdvice},
      {"lockout",
       {SealedKey::Tpm()},
       {&tpm},
       [](SoftwareTpm& a, SoftwareTpm&) { a.EnterLockout(); },
       false,
       Kind::kTpmLockout,
       "the TPM slot of notes.vts cannot be opened: the TPM is in dictionary-attack lockout"},
      {"no TPM",
       {SealedKey::Tpm()},
       {&tpm},
       [](SoftwareTpm& a, SoftwareTpm&) { a.Stop(); },
       false,
       Kind::kNotAvailable,
       "the TPM slot of notes.vts cannot be opened: no TPM could"},
      {"a recovery slot on another machine",
       {SealedKey::Tpm(), recovery},
       {&tpm, &recoveryIdentity},
       [](SoftwareTpm&, SoftwareTpm& b) { UseTpm(b); },
       true,
       Kind::kWrongKey,
       ""},
  };
  const Bytes plain = {'n', 'o', 't', 'e', 's'};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SoftwareTpm a;
    SoftwareTpm b;
    UseTpm(a);
    test::MemoryReader input(SealWith(c.sealKeys, plain));
    c.harm(a, b);
    test::MemoryWriter output;
    try {
      UnsealStreamWith(c.unsealKeys, input, "notes.vts", output);
      EXPECT_TRUE(c.opens);
      EXPECT_EQ(output.written, plain);
    } catch (const SealedError& e) {
      EXPECT_FALSE(c.opens) << e.what();
      EXPECT_EQ(e.kind(), c.kind);
      EXPECT_EQ(std::string(e.what()).find(c.message), 0u) << e.what();
      EXPECT_TRUE(output.written.empty());
    }
  }
  unsetenv("VANTRY_TPM_TCTI");
}

}  // namespace
}  // namespace vantry::sealed
