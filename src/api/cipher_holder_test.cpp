#include "api/cipher_holder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <ostream>
#include <stdexcept>
#include <string>

#include "api/key_text.h"
#include "support/test_support.h"

namespace vantry {
namespace {

using test::Bytes;
using test::FromHex;

// Reads the keyed state of a cipher through member pointers; the holder hands out only the
// abstract interface, and these fields are what every protected file depends on.
struct CipherFields : CRijndaelCipher {
  static constexpr auto kInitialized = &CipherFields::m_bInitialized;
  static constexpr auto kBlockSize = &CipherFields::m_iBlockSize;
  static constexpr auto kKeyLength = &CipherFields::m_iKeyLength;
  static constexpr auto kMode = &CipherFields::m_iMode;
  static constexpr auto kPadding = &CipherFields::m_iPadding;
  static constexpr auto kKey = &CipherFields::m_abKey;
  static constexpr auto kInitialChain = &CipherFields::m_abInitialChain;
  static constexpr auto kChain = &CipherFields::m_abChain;
};

CRijndaelCipher& Rijndael(CBlockCipher* cipher) {
  auto* rijndael = dynamic_cast<CRijndaelCipher*>(cipher);
  if (rijndael == nullptr) {
    throw std::logic_error("the holder's cipher is not a CRijndaelCipher");
  }
  return *rijndael;
}

Bytes KeyBuffer(const std::string& keyText) {
  unsigned char buffer[kVantryKeyBufferSize];
  std::memset(buffer, 0xA5, sizeof buffer);  // every byte must be written
  FillKeyBuffer(keyText, buffer);
  return Bytes(buffer, buffer + sizeof buffer);
}

Bytes Padded(const std::string& text, std::size_t size) {
  Bytes bytes(text.begin(), text.end());
  bytes.resize(size, 0);
  return bytes;
}

const std::string k32 = "0123456789abcdefghijklmnopqrstuv";

struct KeyBufferCase {
  std::string name;
  std::string keyText;
  Bytes expected;
};

// How GoogleTest shows the case in its output (the default would dump its bytes).
inline void PrintTo(const KeyBufferCase& c, std::ostream* os) { *os << c.name; }

class KeyBufferFill : public ::testing::TestWithParam<KeyBufferCase> {};

TEST_P(KeyBufferFill, BoundedCopyZeroFilled) {
  EXPECT_EQ(test::ToHex(KeyBuffer(GetParam().keyText)), test::ToHex(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, KeyBufferFill,
    ::testing::Values(KeyBufferCase{"Empty", "", Bytes(32, 0)},
                      KeyBufferCase{"One", "k", Padded("k", 32)},
                      KeyBufferCase{"Fifteen", k32.substr(0, 15), Padded(k32.substr(0, 15), 32)},
                      KeyBufferCase{"Sixteen", k32.substr(0, 16), Padded(k32.substr(0, 16), 32)},
                      KeyBufferCase{"Seventeen", k32.substr(0, 17), Padded(k32.substr(0, 17), 32)},
                      KeyBufferCase{"ThirtyOne", k32.substr(0, 31), Padded(k32.substr(0, 31), 32)},
                      KeyBufferCase{"ThirtyTwoNoTerminator", k32, Padded(k32, 32)},
                      KeyBufferCase{"LongerCutAt32", k32 + "WXYZ", Padded(k32, 32)},
                      KeyBufferCase{"EmbeddedNulEndsTheText", std::string("ab\0cd", 5),
                                    Padded("ab", 32)},
                      KeyBufferCase{"LeadingNulIsEmpty", std::string("\0abc", 4), Bytes(32, 0)},
                      KeyBufferCase{"HighBytesKept", "\xFF\x80", Padded("\xFF\x80", 32)}),
    [](const auto& info) { return info.param.name; });

TEST(CipherHolder, KeysWithTheFixedParametersAndChainBlock) {
  CCipherHolder holder;
  CRijndaelCipher& cipher = Rijndael(holder.GetCipher("correct horse battery staple"));
  EXPECT_TRUE(cipher.*CipherFields::kInitialized);
  EXPECT_EQ(cipher.*CipherFields::kKeyLength, 16);
  EXPECT_EQ(cipher.*CipherFields::kBlockSize, 16);
  EXPECT_EQ(cipher.*CipherFields::kMode, MODE_ECB);
  EXPECT_EQ(cipher.*CipherFields::kPadding, PAD_ZERO);
  EXPECT_EQ(test::ToHex(cipher.*CipherFields::kKey, 16),
            test::ToHex(Padded("correct horse ba", 16)));
  // The chain block is part of the key material of every file: these exact bytes.
  const Bytes chain = FromHex("7e1bc45209a83fd6612c95e04b78d317");
  EXPECT_EQ(test::ToHex(cipher.*CipherFields::kInitialChain, 16), test::ToHex(chain));
  EXPECT_EQ(test::ToHex(cipher.*CipherFields::kChain, 16), test::ToHex(chain));
  EXPECT_EQ(test::ToHex(kVantryChainBlock, 16), test::ToHex(chain));
}

TEST(CipherHolder, OneCipherPerHolderKeyedAgainOnEveryCall) {
  CCipherHolder holder;
  CBlockCipher* first = holder.GetCipher("first key text..");
  unsigned char firstDigest[32];
  first->GetKeyDigest(firstDigest);

  CBlockCipher* second = holder.GetCipher("second key text.");
  EXPECT_EQ(first, second);
  EXPECT_EQ(test::ToHex(Rijndael(second).*CipherFields::kKey, 16),
            test::ToHex(Padded("second key text.", 16)));
  unsigned char secondDigest[32];
  second->GetKeyDigest(secondDigest);
  EXPECT_NE(test::ToHex(firstDigest, 32), test::ToHex(secondDigest, 32));

  holder.GetCipher("first key text..");
  unsigned char againDigest[32];
  second->GetKeyDigest(againDigest);
  EXPECT_EQ(test::ToHex(firstDigest, 32), test::ToHex(againDigest, 32));
}

TEST(CipherHolder, KeyingAgainRestoresTheChainBlock) {
  CCipherHolder holder;
  CRijndaelCipher& cipher = Rijndael(holder.GetCipher("k"));
  const Bytes fixed(kVantryChainBlock, kVantryChainBlock + 16);
  // Move the working chain away from the fixed block, as a chaining mode would.
  for (unsigned char& b : cipher.*CipherFields::kChain) {
    b = 0;
  }
  holder.GetCipher("k");
  EXPECT_EQ(test::ToHex(cipher.*CipherFields::kChain, 16), test::ToHex(fixed));
}

}  // namespace
}  // namespace vantry
