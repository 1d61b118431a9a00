// Windows: the account's and machine's keys are wrapped by the data protection API. Each scope
// round-trips, and a changed blob is refused.
#include <gtest/gtest.h>

#include "sealed/sealed_test_util.h"

namespace vantry::test {
namespace {

TEST(SealedDataProtectionTest, EachScopeRoundTripsAndAForeignKeyIsAnotherAccounts) {
  const Bytes plain = Pattern(70000);
  for (const SealedKey& key : {SealedKey::AccountSecret(), SealedKey::MachineSecret()}) {
    const Bytes file = Sealed(key, plain);
    EXPECT_EQ(file[9], static_cast<unsigned char>(key.kind()));
    MemoryReader input(file);
    MemoryWriter output;
    UnsealStream(key, input, "f", output);
    EXPECT_EQ(output.written, plain);
    // The blob changed and the keyless digest made right again: it no longer unwraps.
    Bytes forged = file;
    const std::size_t blobSize = (std::size_t{forged[10]} << 8) | forged[11];
    forged[12 + blobSize / 2] ^= 1;
    const std::size_t digestAt = 12 + blobSize + 16 + 7 + 32;
    unsigned char digest[32];
    platform::sealing::Sha256(forged.data(), digestAt, digest);
    std::copy_n(digest, 8, forged.begin() + static_cast<std::ptrdiff_t>(digestAt));
    MemoryReader forgedInput(forged);
    MemoryWriter nothing;
    try {
      UnsealStream(key, forgedInput, "f", nothing);
      ADD_FAILURE() << "a changed blob unwrapped";
    } catch (const SealedError& e) {
      // Either the blob's own check refuses it, or (a byte it does not cover, such as its
      // description) the header MAC does.
      EXPECT_TRUE(e.kind() == SealedError::Kind::kOtherAccount ||
                  e.kind() == SealedError::Kind::kDamaged)
          << e.what();
    }
    EXPECT_TRUE(nothing.written.empty());
  }
}

}  // namespace
}  // namespace vantry::test
