// The key texts: Bech32's published vectors (valid ones decode, and re-encode to the same
// text; each invalid one is refused), and a key that survives its text while one changed
// character, a cut or a key of the other kind is refused.
#include "sealed/recipient_text.h"

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "vantry/sealed.h"

namespace vantry::test {
namespace {

TEST(RecipientTextTest, Bech32VectorsDecodeOrAreRefused) {
  const struct {
    const char* text;
    bool valid;
  } cases[] = {
      {"A12UEL5L", true},
      {"a12uel5l", true},
      {"abcdef1qpzry9x8gf2tvdw0s3jn54khce6mua7lmqqqxw", true},
      {"split1checkupstagehandshakeupstreamerranterredcaperred2y9e3w", true},
      {"?1ezyfcl", true},
      {"\x7f"
       "1axkwrx",
       false},
      {"pzry9x0s0muk", false},                                   // no separator
      {"1pzry9x0s0muk", false},                                  // empty human-readable part
      {"x1b4n0q5v", false},                                      // invalid character
      {"li1dgmt3", false},                                       // checksum too short
      {"A1G7SGD8", false},                                       // checksum computed on upper case
      {"A12UEL5l", false},                                       // mixed case
      {"abcdef1qpzry9x8gf2tvdw0s3jn54khce6mua7lmqqqxx", false},  // one character changed
  };
  for (const auto& c : cases) {
    std::string part;
    std::vector<unsigned char> data;
    const bool decoded = sealed::DecodeBech32(c.text, part, data);
    EXPECT_EQ(decoded, c.valid) << c.text;
    if (decoded &&
        std::string(c.text).find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ") == std::string::npos) {
      EXPECT_EQ(sealed::EncodeBech32(part, data), c.text);
    }
  }
}

TEST(RecipientTextTest, KeysSurviveTheirTextAndDamagedTextsAreRefused) {
  Bytes key(32);
  for (std::size_t i = 0; i < key.size(); ++i) {
    key[i] = static_cast<unsigned char>(i * 37 + 5);
  }
  const std::string recipient = sealed::RecipientText(key.data());
  const std::string identity = sealed::IdentityText(key.data());
  EXPECT_EQ(recipient.rfind("vantry1", 0), 0u);
  EXPECT_EQ(identity.rfind("VANTRY-SECRET-KEY-1", 0), 0u);
  Bytes back(32);
  sealed::ParseRecipientText(recipient, back.data());
  EXPECT_EQ(back, key);
  sealed::ParseIdentityText(identity, back.data());
  EXPECT_EQ(back, key);
  std::string typo = recipient;
  typo[20] = typo[20] == 'q' ? 'p' : 'q';
  for (const std::string& bad : {typo, recipient.substr(0, recipient.size() - 1), identity}) {
    try {
      sealed::ParseRecipientText(bad, back.data());
      ADD_FAILURE() << bad;
    } catch (const SealedError& e) {
      EXPECT_EQ(e.kind(), SealedError::Kind::kInvalidKey);
      EXPECT_EQ(std::string(e.what()).find("not a recipient"), 0u) << e.what();
      EXPECT_EQ(std::string(e.what()).find(bad), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace vantry::test
