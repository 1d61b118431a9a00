#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>

#include "cipher/cipher_test_util.h"
#include "support/test_support.h"

// The choice between the AES instructions and the lookup tables, and the promise that it is
// invisible: both give the same bytes and leave the same chain, whatever the mode, length and
// cut of the stream.

namespace vantry::test {
namespace {

const int kModes[] = {MODE_ECB, MODE_CBC, MODE_CFB};

TEST(RijndaelBlockPathTest, SetKeyPicksAesNiForSixteenByteBlocksWhereTheProcessorHasIt) {
  const Bytes key(32, 0x3c);
  for (int keyLength : kRijndaelSizes) {
    for (int blockSize : kRijndaelSizes) {
      const std::string where =
          "key " + std::to_string(keyLength) + " block " + std::to_string(blockSize);
      RijndaelProbe byDefault;
      byDefault.SetKey(key.data(), 32, nullptr, keyLength, blockSize, MODE_ECB, PAD_ZERO);
      EXPECT_EQ(byDefault.UsesAesNi(), blockSize == 16 && aes_ni::Available()) << where;

      RijndaelProbe forced;
      {
        ScopedKeyedPath tables(BlockPath16::kUnrolled);
        forced.SetKey(key.data(), 32, nullptr, keyLength, blockSize, MODE_ECB, PAD_ZERO);
      }
      // The switch decides at keying; lifting it does not move an object keyed under it.
      EXPECT_FALSE(forced.UsesAesNi()) << where;
      Bytes a(32, 0x11);
      Bytes b(32, 0x11);
      byDefault.EncryptBlock(a.data(), a.data());
      forced.EncryptBlock(b.data(), b.data());
      EXPECT_EQ(ToHex(a), ToHex(b)) << where;
    }
  }
}

TEST(RijndaelBlockPathTest, UseGeneralBlockPathLeavesTheAesInstructions) {
  const Bytes key(16, 0x5a);
  RijndaelProbe cipher;
  cipher.SetKey(key.data(), 16, nullptr, 16, 16, MODE_ECB, PAD_ZERO);
  cipher.UseGeneralBlockPath();
  EXPECT_FALSE(cipher.UsesAesNi());
}

// Feeds the same stream to both objects in the same random pieces, some in place, and holds
// every piece's output and the chain after it against each other.
void ExpectSameStream(RijndaelProbe& aesNi, RijndaelProbe& tables, const Bytes& in, bool encrypt,
                      std::mt19937_64& rng, const std::string& where) {
  Bytes outAesNi = in;
  Bytes outTables = in;
  for (std::size_t at = 0; at < in.size();) {
    const std::size_t n = std::min<std::size_t>((1 + rng() % 40) * 16, in.size() - at);
    const bool inPlace = (rng() & 1) != 0;
    const unsigned char* sourceAesNi = inPlace ? outAesNi.data() + at : in.data() + at;
    const unsigned char* sourceTables = inPlace ? outTables.data() + at : in.data() + at;
    if (encrypt) {
      aesNi.Encrypt(sourceAesNi, outAesNi.data() + at, n);
      tables.Encrypt(sourceTables, outTables.data() + at, n);
    } else {
      aesNi.Decrypt(sourceAesNi, outAesNi.data() + at, n);
      tables.Decrypt(sourceTables, outTables.data() + at, n);
    }
    ASSERT_EQ(ToHex(outAesNi.data() + at, n), ToHex(outTables.data() + at, n))
        << where << ", piece at " << at << " of " << n << (inPlace ? " in place" : "");
    ASSERT_EQ(ToHex(aesNi.Chain()), ToHex(tables.Chain())) << where << ", chain after " << at;
    at += n;
  }
}

TEST(RijndaelBlockPathTest, BothPathsGiveTheSameBytesInEveryModeAndLength) {
  if (!aes_ni::Available()) {
    GTEST_SKIP() << "the processor has no AES instructions";
  }
  // In blocks: around the kernels' groups of eight and four, the 384-byte chunk (24 blocks) and
  // the 1024-byte working buffer (64 blocks).
  const std::size_t kBlockCounts[] = {1,  2,  3,  4,  5,  7,  8,  9,  11, 12, 13, 15,
                                      16, 17, 23, 24, 25, 31, 32, 33, 63, 64, 65, 200};
  std::mt19937_64 rng(606);
  for (int keyLength : kRijndaelSizes) {
    for (int mode : kModes) {
      for (std::size_t blocks : kBlockCounts) {
        for (bool encrypt : {true, false}) {
          const std::string where = "key " + std::to_string(keyLength) + " mode " +
                                    std::to_string(mode) + " blocks " + std::to_string(blocks) +
                                    (encrypt ? " encrypt" : " decrypt");
          const Bytes keyData = RandomBytes(rng, static_cast<std::size_t>(keyLength));
          const Bytes chain = RandomBytes(rng, 16);
          RijndaelProbe aesNi;
          RijndaelProbe tables;
          SetKeyOnPath(aesNi, BlockPath16::kAesNi, keyData.data(), keyLength, chain.data(),
                       keyLength, 16, mode, PAD_ZERO);
          SetKeyOnPath(tables, BlockPath16::kUnrolled, keyData.data(), keyLength, chain.data(),
                       keyLength, 16, mode, PAD_ZERO);
          ASSERT_TRUE(aesNi.UsesAesNi());
          ASSERT_FALSE(tables.UsesAesNi());
          ExpectSameStream(aesNi, tables, RandomBytes(rng, 16 * blocks), encrypt, rng, where);
          // The chain carries on from where the first stream left it, and a reset restarts it.
          ExpectSameStream(aesNi, tables, RandomBytes(rng, 16 * blocks), encrypt, rng, where);
          aesNi.ResetChainBlock();
          tables.ResetChainBlock();
          ExpectSameStream(aesNi, tables, RandomBytes(rng, 16 * blocks), encrypt, rng, where);
        }
      }
    }
  }
}

TEST(RijndaelBlockPathTest, BothPathsGiveTheSameSingleBlocks) {
  if (!aes_ni::Available()) {
    GTEST_SKIP() << "the processor has no AES instructions";
  }
  std::mt19937_64 rng(607);
  for (int keyLength : kRijndaelSizes) {
    for (int trial = 0; trial < 100; ++trial) {
      const Bytes keyData = RandomBytes(rng, static_cast<std::size_t>(keyLength));
      RijndaelProbe aesNi;
      RijndaelProbe tables;
      SetKeyOnPath(aesNi, BlockPath16::kAesNi, keyData.data(), keyLength, nullptr, keyLength, 16,
                   MODE_ECB, PAD_ZERO);
      SetKeyOnPath(tables, BlockPath16::kUnrolled, keyData.data(), keyLength, nullptr, keyLength,
                   16, MODE_ECB, PAD_ZERO);
      const Bytes block = RandomBytes(rng, 16);
      unsigned char a[16];
      unsigned char b[16];
      aesNi.EncryptBlock(block.data(), a);
      tables.EncryptBlock(block.data(), b);
      ASSERT_EQ(ToHex(a, 16), ToHex(b, 16)) << keyLength << " " << trial;
      aesNi.DecryptBlock128(block.data(), a);
      tables.DecryptBlock128(block.data(), b);
      ASSERT_EQ(ToHex(a, 16), ToHex(b, 16)) << keyLength << " " << trial;
    }
  }
}

}  // namespace
}  // namespace vantry::test
