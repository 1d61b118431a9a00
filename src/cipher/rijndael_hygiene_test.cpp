#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "cipher/cipher_test_util.h"
#include "support/test_support.h"

// After a cipher object is destroyed, none of its secrets may be left in the memory it
// occupied: the object is built in a buffer the test owns, used, destroyed, and the buffer
// searched.

namespace vantry::test {
namespace {

// Both paths SetKey picks for 16-byte blocks keep secrets of their own.
class RijndaelHygieneTest : public OnEachKeyedPath {};

struct Secrets {
  Bytes key;
  Bytes chain;
  Bytes initialChain;
  std::vector<std::uint32_t> roundKeyWords;  // every non-zero word of both schedules
  std::vector<RijndaelProbe::Range> ranges;
};

Secrets Collect(const RijndaelProbe& cipher) {
  Secrets s{cipher.Key(), cipher.Chain(), cipher.InitialChain(), {}, cipher.SecretRanges()};
  for (int row = 0; row < 15; ++row) {
    for (int column = 0; column < 8; ++column) {
      for (std::uint32_t w : {cipher.EncRoundKey(row, column), cipher.DecRoundKey(row, column)}) {
        if (w != 0) {
          s.roundKeyWords.push_back(w);
        }
      }
    }
  }
  return s;
}

bool Contains(const unsigned char* haystack, std::size_t size, const Bytes& needle) {
  return std::search(haystack, haystack + size, needle.begin(), needle.end()) != haystack + size;
}

Bytes WordBytes(std::uint32_t w, bool bigEndian) {
  Bytes b(4);
  for (int i = 0; i < 4; ++i) {
    b[i] = static_cast<unsigned char>(bigEndian ? w >> (24 - 8 * i) : w >> (8 * i));
  }
  return b;
}

void ExpectNothingLeft(const unsigned char* storage, std::size_t size, const Secrets& s,
                       const std::string& where) {
  for (const auto& range : s.ranges) {
    const unsigned char* begin = storage + range.offset;
    EXPECT_TRUE(std::all_of(begin, begin + range.size, [](unsigned char b) { return b == 0; }))
        << where << ": " << range.name << " not wiped";
  }
  EXPECT_FALSE(Contains(storage, size, s.key)) << where << ": key bytes left";
  EXPECT_FALSE(Contains(storage, size, s.chain)) << where << ": chain block left";
  EXPECT_FALSE(Contains(storage, size, s.initialChain)) << where << ": initial chain left";
  int wordsLeft = 0;
  for (std::uint32_t w : s.roundKeyWords) {
    wordsLeft += Contains(storage, size, WordBytes(w, true)) ? 1 : 0;
    wordsLeft += Contains(storage, size, WordBytes(w, false)) ? 1 : 0;
  }
  EXPECT_EQ(wordsLeft, 0) << where << ": round-key words left";
}

struct Use {
  const char* name;
  int keyLength;
  int blockSize;
  int mode;
};

TEST_P(RijndaelHygieneTest, DestroyedObjectLeavesNoSecretInItsMemory) {
  const Use uses[] = {
      {"AES-128 ECB", 16, 16, MODE_ECB},
      {"AES-256 CBC", 32, 16, MODE_CBC},
      {"Rijndael 32/32 CFB, general path", 32, 32, MODE_CFB},
      {"Rijndael 24/24 CBC", 24, 24, MODE_CBC},
  };
  std::mt19937_64 rng(31);
  for (const auto& use : uses) {
    alignas(RijndaelProbe) unsigned char storage[sizeof(RijndaelProbe)];
    std::memset(storage, 0, sizeof storage);
    auto* cipher = new (storage) RijndaelProbe;
    const Bytes key = RandomBytes(rng, 32);
    const Bytes chain = RandomBytes(rng, 32);
    cipher->SetKey(key.data(), 32, chain.data(), use.keyLength, use.blockSize, use.mode, PAD_COUNT);
    Bytes data = RandomBytes(rng, 96);
    cipher->Encrypt(data.data(), data.data(), data.size());
    unsigned char block[32];
    cipher->EncryptBlockGeneral(data.data(), block);  // leaves the general path's scratch full
    unsigned char digest[32];
    cipher->GetKeyDigest(digest);
    const Secrets secrets = Collect(*cipher);
    ASSERT_FALSE(secrets.roundKeyWords.empty());

    cipher->~RijndaelProbe();
    ExpectNothingLeft(storage, sizeof storage, secrets, use.name);
  }
}

// Re-keying must not leave the earlier key behind for the destructor to miss or for the object
// to carry: not the tail of a larger key, and not the AES-NI round keys of a 16-byte block
// when the new key is for a wider one.
TEST_P(RijndaelHygieneTest, RekeyedObjectLeavesNeitherKey) {
  const struct {
    int keyLength;
    int blockSize;
  } rekeyings[][2] = {{{32, 32}, {16, 16}}, {{32, 16}, {16, 32}}, {{24, 16}, {16, 16}}};
  std::mt19937_64 rng(32);
  for (const auto& pair : rekeyings) {
    const std::string where =
        std::to_string(pair[0].keyLength) + "/" + std::to_string(pair[0].blockSize) + " then " +
        std::to_string(pair[1].keyLength) + "/" + std::to_string(pair[1].blockSize);
    alignas(RijndaelProbe) unsigned char storage[sizeof(RijndaelProbe)];
    std::memset(storage, 0, sizeof storage);
    auto* cipher = new (storage) RijndaelProbe;
    const Bytes bigKey = RandomBytes(rng, 32);
    const Bytes smallKey = RandomBytes(rng, 16);
    const Bytes bigChain = RandomBytes(rng, 32);
    const Bytes smallChain = RandomBytes(rng, static_cast<std::size_t>(pair[1].blockSize));
    cipher->SetKey(bigKey.data(), 32, bigChain.data(), pair[0].keyLength, pair[0].blockSize,
                   MODE_CBC, PAD_ZERO);
    const Secrets first = Collect(*cipher);
    cipher->SetKey(smallKey.data(), 16, smallChain.data(), pair[1].keyLength, pair[1].blockSize,
                   MODE_ECB, PAD_ZERO);

    int wordsOfFirstKeyLeft = 0;
    for (std::uint32_t w : first.roundKeyWords) {
      wordsOfFirstKeyLeft += Contains(storage, sizeof storage, WordBytes(w, true)) ? 1 : 0;
    }
    EXPECT_EQ(wordsOfFirstKeyLeft, 0) << where << ", while keyed with the second key";
    EXPECT_FALSE(Contains(storage, sizeof storage, Bytes(bigKey.begin() + 16, bigKey.end())))
        << where;
    EXPECT_FALSE(Contains(storage, sizeof storage, Bytes(bigChain.begin() + 16, bigChain.end())))
        << where;

    const Secrets second = Collect(*cipher);
    cipher->~RijndaelProbe();
    ExpectNothingLeft(storage, sizeof storage, first, where + ", first key");
    ExpectNothingLeft(storage, sizeof storage, second, where + ", second key");
  }
}

INSTANTIATE_TEST_SUITE_P(Paths, RijndaelHygieneTest, ::testing::ValuesIn(kKeyedPaths),
                         KeyedPathName);

}  // namespace
}  // namespace vantry::test
