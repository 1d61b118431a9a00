// X25519 through the provider against RFC 7748's published exchange, both ways, and the
// refusal of a peer key of small order (whose shared secret is all zero).
#include <gtest/gtest.h>

#include "platform/sealing_crypto.h"
#include "support/test_support.h"

namespace vantry::test {
namespace {
namespace sc = platform::sealing;

TEST(SealingCryptoTest, X25519MatchesTheRfcExchange) {
  const Bytes alice = FromHex("77076d0a7318a57d3c16c17251b26645df4c2f87ebc0992ab177fba51db92c2a");
  const Bytes bob = FromHex("5dab087e624a8a4b79e17f8b83800ee66f3bb1292618b6fd1c2f8b27ff88e0eb");
  Bytes alicePublic(32), bobPublic(32), shared(32);
  sc::X25519Public(alice.data(), alicePublic.data());
  sc::X25519Public(bob.data(), bobPublic.data());
  EXPECT_EQ(ToHex(alicePublic), "8520f0098930a754748b7ddcb43ef75a0dbf3a0d26381af4eba4a98eaa9b4e6a");
  EXPECT_EQ(ToHex(bobPublic), "de9edb7d7b7dc1b4d35b61c2ece435373f8343c85b78674dadfc7e146f882b4f");
  const std::string expected = "4a5d9d5ba4ce2de1728e3bf480350f25e07e21c947d19e3376f09b3c1e161742";
  ASSERT_TRUE(sc::X25519Shared(alice.data(), bobPublic.data(), shared.data()));
  EXPECT_EQ(ToHex(shared), expected);
  ASSERT_TRUE(sc::X25519Shared(bob.data(), alicePublic.data(), shared.data()));
  EXPECT_EQ(ToHex(shared), expected);
  const Bytes smallOrder(32, 0);  // a point of small order: every multiple is zero
  EXPECT_FALSE(sc::X25519Shared(alice.data(), smallOrder.data(), shared.data()));
}

}  // namespace
}  // namespace vantry::test
