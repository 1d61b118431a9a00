#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "cipher/cipher_test_util.h"
#include "support/test_support.h"

namespace vantry::test {
namespace {

// Every test runs on each path SetKey picks for 16-byte blocks.
class RijndaelModesTest : public OnEachKeyedPath {};

const int kModes[] = {MODE_ECB, MODE_CBC, MODE_CFB};
const int kPaddings[] = {PAD_ZERO, PAD_SPACE, PAD_COUNT};

struct Keyed {
  Bytes key;
  Bytes chain;
};

Keyed RandomKeying(std::mt19937_64& rng) { return {RandomBytes(rng, 32), RandomBytes(rng, 32)}; }

void Key(RijndaelProbe& cipher, const Keyed& k, int keyLength, int blockSize, int mode,
         int padding = PAD_ZERO) {
  cipher.SetKey(k.key.data(), 32, k.chain.data(), keyLength, blockSize, mode, padding);
}

std::string Describe(int keyLength, int blockSize, int mode) {
  return "key " + std::to_string(keyLength) + " block " + std::to_string(blockSize) + " mode " +
         std::to_string(mode);
}

// Lengths around every boundary the callers meet: blocks, 384-byte chunks, the 1024-byte
// working buffer.
const std::size_t kLengths[] = {0,  1,  15,  16,  17,  23,  24,  25,  31,   32,   33,
                                47, 48, 383, 384, 385, 511, 512, 513, 1023, 1024, 1025};

// Whole blocks are accepted; a zero count or a partial block is refused before anything moves.
TEST_P(RijndaelModesTest, ByteCountsAroundBoundaries) {
  std::mt19937_64 rng(1);
  const Keyed k = RandomKeying(rng);
  for (int blockSize : kRijndaelSizes) {
    for (int mode : kModes) {
      for (std::size_t n : kLengths) {
        for (bool encrypt : {true, false}) {
          const std::string where = Describe(16, blockSize, mode) + " n " + std::to_string(n) +
                                    (encrypt ? " encrypt" : " decrypt");
          RijndaelProbe cipher;
          Key(cipher, k, 16, blockSize, mode);
          const Bytes in = RandomBytes(rng, n);
          Bytes out(n + 1, 0xEE);
          auto call = [&] {
            if (encrypt) {
              cipher.Encrypt(in.data(), out.data(), n);
            } else {
              cipher.Decrypt(in.data(), out.data(), n);
            }
          };
          if (n == 0 || n % blockSize != 0) {
            const Bytes before = ObjectBytes(cipher);
            EXPECT_EQ(MessageOf(call), kIllegalBlockSizeText) << where;
            EXPECT_EQ(out, Bytes(n + 1, 0xEE)) << where;
            EXPECT_EQ(ObjectBytes(cipher), before) << where;
          } else {
            call();
            EXPECT_EQ(out[n], 0xEE) << where << ": wrote past the end";
            RijndaelProbe inverse;
            Key(inverse, k, 16, blockSize, mode);
            Bytes back(n);
            if (encrypt) {
              inverse.Decrypt(out.data(), back.data(), n);
            } else {
              inverse.Encrypt(out.data(), back.data(), n);
            }
            EXPECT_EQ(back, in) << where;
          }
        }
      }
    }
  }
}

TEST_P(RijndaelModesTest, InPlaceEqualsSeparateBuffersInEveryMode) {
  std::mt19937_64 rng(3);
  for (int blockSize : kRijndaelSizes) {
    for (int mode : kModes) {
      const Keyed k = RandomKeying(rng);
      RijndaelProbe separate;
      RijndaelProbe inPlace;
      Key(separate, k, 24, blockSize, mode);
      Key(inPlace, k, 24, blockSize, mode);
      for (int call = 0; call < 3; ++call) {  // the chain carries over in both
        const Bytes plain = RandomBytes(rng, static_cast<std::size_t>(blockSize) * (1 + call));
        Bytes out(plain.size());
        separate.Encrypt(plain.data(), out.data(), plain.size());
        Bytes buffer = plain;
        inPlace.Encrypt(buffer.data(), buffer.data(), buffer.size());
        ASSERT_EQ(buffer, out) << Describe(24, blockSize, mode) << " encrypt call " << call;
      }
      Key(separate, k, 24, blockSize, mode);
      Key(inPlace, k, 24, blockSize, mode);
      for (int call = 0; call < 3; ++call) {
        const Bytes cipherText = RandomBytes(rng, static_cast<std::size_t>(blockSize) * 2);
        Bytes out(cipherText.size());
        separate.Decrypt(cipherText.data(), out.data(), cipherText.size());
        Bytes buffer = cipherText;
        inPlace.Decrypt(buffer.data(), buffer.data(), buffer.size());
        ASSERT_EQ(buffer, out) << Describe(24, blockSize, mode) << " decrypt call " << call;
      }
    }
  }
}

// The defining equations of the modes for the first block after keying.
TEST_P(RijndaelModesTest, FirstBlockFollowsTheModesDefinition) {
  std::mt19937_64 rng(4);
  for (int blockSize : kRijndaelSizes) {
    const Keyed k = RandomKeying(rng);
    const Bytes plain = RandomBytes(rng, blockSize);
    const Bytes iv(k.chain.begin(), k.chain.begin() + blockSize);
    RijndaelProbe block;
    Key(block, k, 16, blockSize, MODE_ECB);

    Bytes expected(blockSize);
    for (int i = 0; i < blockSize; ++i) {
      expected[i] = plain[i] ^ iv[i];
    }
    block.EncryptBlock(expected.data(), expected.data());  // CBC: E(P ^ IV)
    RijndaelProbe cbc;
    Key(cbc, k, 16, blockSize, MODE_CBC);
    Bytes out(blockSize);
    cbc.Encrypt(plain.data(), out.data(), out.size());
    EXPECT_EQ(out, expected) << "CBC block " << blockSize;

    block.EncryptBlock(iv.data(), expected.data());  // CFB: E(IV) ^ P
    for (int i = 0; i < blockSize; ++i) {
      expected[i] ^= plain[i];
    }
    RijndaelProbe cfb;
    Key(cfb, k, 16, blockSize, MODE_CFB);
    cfb.Encrypt(plain.data(), out.data(), out.size());
    EXPECT_EQ(out, expected) << "CFB block " << blockSize;
    EXPECT_EQ(cfb.Chain(), out) << "CFB chain is the cipher block";
  }
}

// CFB decrypts with the forward transform: spoiling the inverse round keys changes nothing.
TEST_P(RijndaelModesTest, CfbDecryptNeverUsesTheInverseTransform) {
  std::mt19937_64 rng(5);
  for (int blockSize : kRijndaelSizes) {
    const Keyed k = RandomKeying(rng);
    const Bytes plain = RandomBytes(rng, 4u * blockSize);
    RijndaelProbe encryptor;
    Key(encryptor, k, 32, blockSize, MODE_CFB);
    Bytes cipherText(plain.size());
    encryptor.Encrypt(plain.data(), cipherText.data(), plain.size());

    RijndaelProbe decryptor;
    Key(decryptor, k, 32, blockSize, MODE_CFB);
    decryptor.SpoilDecryptionRoundKeys();
    Bytes back(plain.size());
    decryptor.Decrypt(cipherText.data(), back.data(), back.size());
    EXPECT_EQ(back, plain) << blockSize;
  }
}

TEST_P(RijndaelModesTest, EcbGivesEqualBlocksForEqualBlocksAndLeavesTheChainAlone) {
  std::mt19937_64 rng(6);
  for (int blockSize : kRijndaelSizes) {
    const Keyed k = RandomKeying(rng);
    const Bytes one = RandomBytes(rng, blockSize);
    Bytes plain = one;
    plain.insert(plain.end(), one.begin(), one.end());
    plain.insert(plain.end(), one.begin(), one.end());
    RijndaelProbe cipher;
    Key(cipher, k, 16, blockSize, MODE_ECB);
    Bytes out(plain.size());
    cipher.Encrypt(plain.data(), out.data(), out.size());
    const Bytes first(out.begin(), out.begin() + blockSize);
    EXPECT_EQ(Bytes(out.begin() + blockSize, out.begin() + 2 * blockSize), first);
    EXPECT_EQ(Bytes(out.begin() + 2 * blockSize, out.end()), first);
    EXPECT_EQ(cipher.Chain(), cipher.InitialChain());

    Keyed otherChain = k;
    otherChain.chain = RandomBytes(rng, 32);
    RijndaelProbe other;
    Key(other, otherChain, 16, blockSize, MODE_ECB);
    Bytes otherOut(plain.size());
    other.Encrypt(plain.data(), otherOut.data(), otherOut.size());
    EXPECT_EQ(otherOut, out) << "the chain block plays no part in ECB";
  }
}

TEST_P(RijndaelModesTest, ResetChainBlockRestartsTheChain) {
  std::mt19937_64 rng(7);
  for (int blockSize : kRijndaelSizes) {
    for (int mode : kModes) {
      const Keyed k = RandomKeying(rng);
      const Bytes plain = RandomBytes(rng, 3u * blockSize);
      RijndaelProbe cipher;
      Key(cipher, k, 16, blockSize, mode);
      Bytes first(plain.size());
      Bytes second(plain.size());
      Bytes third(plain.size());
      cipher.Encrypt(plain.data(), first.data(), plain.size());
      cipher.Encrypt(plain.data(), second.data(), plain.size());
      cipher.ResetChainBlock();
      EXPECT_EQ(cipher.Chain(), cipher.InitialChain());
      cipher.Encrypt(plain.data(), third.data(), plain.size());
      EXPECT_EQ(third, first) << Describe(16, blockSize, mode);
      if (mode == MODE_ECB) {
        EXPECT_EQ(second, first) << Describe(16, blockSize, mode);
      } else {
        EXPECT_NE(second, first) << Describe(16, blockSize, mode) << ": the chain moved on";
      }
    }
  }
}

struct PadCase {
  int blockSize;
  int padding;
  std::int32_t len;
  std::int32_t expectedLength;
  int fillValue;  // of every byte from len to expectedLength
};

const PadCase kPadCases[] = {
    {16, PAD_ZERO, 20, 32, 0x00},    {16, PAD_SPACE, 20, 32, 0x20}, {16, PAD_COUNT, 20, 32, 0x0C},
    {16, PAD_COUNT, 32, 32, -1},     {16, PAD_SPACE, 32, 32, -1},   {16, PAD_ZERO, 0, 0, -1},
    {16, PAD_COUNT, 0, 0, -1},       {16, PAD_COUNT, 1, 16, 0x0F},  {16, PAD_COUNT, 15, 16, 0x01},
    {16, PAD_COUNT, 16, 16, -1},     {16, PAD_COUNT, 17, 32, 0x0F}, {24, PAD_COUNT, 23, 24, 0x01},
    {24, PAD_COUNT, 25, 48, 0x17},   {24, PAD_SPACE, 1, 24, 0x20},  {32, PAD_COUNT, 1, 32, 0x1F},
    {32, PAD_ZERO, 1, 32, 0x00},     {32, PAD_COUNT, 31, 32, 0x01}, {32, PAD_COUNT, 383, 384, 0x01},
    {16, PAD_COUNT, 383, 384, 0x01}, {24, PAD_ZERO, 384, 384, -1},  {16, PAD_SPACE, 385, 400, 0x20},
};

TEST_P(RijndaelModesTest, PadDataFillsUpToTheNextBlockBoundaryOnly) {
  const Bytes key(16, 0x33);
  for (const auto& c : kPadCases) {
    const std::string where = "block " + std::to_string(c.blockSize) + " padding " +
                              std::to_string(c.padding) + " len " + std::to_string(c.len);
    RijndaelProbe cipher;
    cipher.SetKey(key.data(), 16, nullptr, 16, c.blockSize, MODE_ECB, c.padding);
    Bytes buffer(static_cast<std::size_t>(c.len) + 64, 0xEE);
    const Bytes before = ObjectBytes(cipher);
    EXPECT_EQ(cipher.PadData(buffer.data(), c.len), c.expectedLength) << where;
    EXPECT_EQ(ObjectBytes(cipher), before) << where;
    for (std::int32_t i = c.len; i < c.expectedLength; ++i) {
      EXPECT_EQ(buffer[i], c.fillValue) << where << " at " << i;
    }
    for (std::size_t i = c.expectedLength; i < buffer.size(); ++i) {
      ASSERT_EQ(buffer[i], 0xEE) << where << ": wrote past the padding at " << i;
    }
  }
}

// Padded data survives a round trip in every mode, and decryption keeps the pad bytes.
TEST_P(RijndaelModesTest, PaddedDataRoundTripsWithItsPadBytes) {
  std::mt19937_64 rng(8);
  for (int blockSize : kRijndaelSizes) {
    for (int mode : kModes) {
      for (int padding : kPaddings) {
        for (std::size_t len : kLengths) {
          if (len == 0) {
            continue;  // nothing to pad, and Encrypt refuses an empty buffer
          }
          const Keyed k = RandomKeying(rng);
          const Bytes data = RandomBytes(rng, len);
          RijndaelProbe cipher;
          Key(cipher, k, 16, blockSize, mode, padding);
          Bytes buffer(len + blockSize);
          std::copy(data.begin(), data.end(), buffer.begin());
          const auto padded =
              static_cast<std::size_t>(cipher.PadData(buffer.data(), static_cast<int>(len)));
          ASSERT_EQ(padded % blockSize, 0u);
          ASSERT_LT(padded - len, static_cast<std::size_t>(blockSize));
          cipher.Encrypt(buffer.data(), buffer.data(), padded);
          cipher.ResetChainBlock();
          cipher.Decrypt(buffer.data(), buffer.data(), padded);
          EXPECT_TRUE(std::equal(data.begin(), data.end(), buffer.begin()))
              << Describe(16, blockSize, mode) << " len " << len;
          const int fill = static_cast<int>(padded - len);
          const int value = padding == PAD_ZERO ? 0 : padding == PAD_SPACE ? 0x20 : fill;
          for (std::size_t i = len; i < padded; ++i) {
            ASSERT_EQ(buffer[i], value) << Describe(16, blockSize, mode) << " len " << len;
          }
        }
      }
    }
  }
}

// A negative length would write before the buffer; a length whose padding would pass the
// largest 32-bit count cannot be returned. Both are refused without writing.
TEST_P(RijndaelModesTest, PadDataRefusesLengthsItCannotPad) {
  const std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  const struct {
    int blockSize;
    std::int32_t len;
  } cases[] = {{16, -1},   {16, -16},       {32, std::numeric_limits<std::int32_t>::min()},
               {16, kMax}, {32, kMax - 30}, {24, kMax - 5}};
  const Bytes key(16, 0x44);
  for (const auto& c : cases) {
    RijndaelProbe cipher;
    cipher.SetKey(key.data(), 16, nullptr, 16, c.blockSize, MODE_ECB, PAD_COUNT);
    unsigned char sentinel[1] = {0xEE};
    EXPECT_EQ(MessageOf([&] { cipher.PadData(sentinel, c.len); }),
              "Sealkit ERROR: Illegal Data Length!")
        << c.blockSize << " " << c.len;
    EXPECT_EQ(sentinel[0], 0xEE);
  }
  // The largest length that still fits: already a whole number of blocks, nothing to add.
  RijndaelProbe cipher;
  cipher.SetKey(key.data(), 16, nullptr, 16, 16, MODE_ECB, PAD_COUNT);
  EXPECT_EQ(cipher.PadData(nullptr, kMax - 15), kMax - 15);
}

TEST_P(RijndaelModesTest, XorWithBlockTouchesExactlyOneBlock) {
  for (int blockSize : kRijndaelSizes) {
    const Bytes key(16, 0x55);
    RijndaelProbe cipher;
    cipher.SetKey(key.data(), 16, nullptr, 16, blockSize, MODE_ECB, PAD_ZERO);
    Bytes dst(33, 0xF0);
    Bytes src(33);
    for (int i = 0; i < 33; ++i) {
      src[i] = static_cast<unsigned char>(i);
    }
    cipher.XorWithBlock(dst.data(), src.data());
    for (int i = 0; i < 33; ++i) {
      EXPECT_EQ(dst[i], i < blockSize ? (0xF0 ^ i) : 0xF0) << blockSize << " at " << i;
    }
  }
}

// Every keyed operation of the modes refuses an unkeyed object, before it looks at its
// arguments (a zero count would otherwise be the first complaint), and changes nothing.
TEST_P(RijndaelModesTest, UnkeyedObjectRefusesEveryOperation) {
  Bytes in(64, 0x11);
  Bytes out(64, 0xEE);
  const struct {
    const char* name;
    std::function<void(RijndaelProbe&)> call;
  } calls[] = {
      {"Encrypt", [&](RijndaelProbe& c) { c.Encrypt(in.data(), out.data(), 16); }},
      {"Encrypt n 0", [&](RijndaelProbe& c) { c.Encrypt(in.data(), out.data(), 0); }},
      {"Decrypt", [&](RijndaelProbe& c) { c.Decrypt(in.data(), out.data(), 32); }},
      {"Decrypt n 7", [&](RijndaelProbe& c) { c.Decrypt(in.data(), out.data(), 7); }},
      {"XorWithBlock", [&](RijndaelProbe& c) { c.XorWithBlock(out.data(), in.data()); }},
      {"PadData", [&](RijndaelProbe& c) { c.PadData(out.data(), 5); }},
      {"PadData negative", [&](RijndaelProbe& c) { c.PadData(out.data(), -5); }},
      {"ResetChainBlock", [&](RijndaelProbe& c) { c.ResetChainBlock(); }},
      {"GetKeyDigest", [&](RijndaelProbe& c) { c.GetKeyDigest(out.data()); }},
  };
  for (const auto& c : calls) {
    RijndaelProbe cipher;
    const Bytes before = ObjectBytes(cipher);
    EXPECT_EQ(MessageOf([&] { c.call(cipher); }), kNotInitializedText) << c.name;
    EXPECT_EQ(ObjectBytes(cipher), before) << c.name;
    EXPECT_EQ(out, Bytes(64, 0xEE)) << c.name;
  }
}

// Callers hold the cipher as a CBlockCipher and delete it through that pointer.
TEST_P(RijndaelModesTest, WorksThroughTheBlockCipherInterface) {
  std::mt19937_64 rng(9);
  const Keyed k = RandomKeying(rng);
  const Bytes plain = RandomBytes(rng, 64);
  auto* rijndael = new CRijndaelCipher;
  rijndael->SetKey(k.key.data(), 32, k.chain.data(), 16, 16, MODE_CBC, PAD_ZERO);
  std::unique_ptr<CBlockCipher> cipher(rijndael);

  RijndaelProbe direct;
  Key(direct, k, 16, 16, MODE_CBC);
  Bytes viaInterface(64);
  Bytes viaClass(64);
  cipher->Encrypt(plain.data(), viaInterface.data(), 64);
  direct.Encrypt(plain.data(), viaClass.data(), 64);
  EXPECT_EQ(viaInterface, viaClass);
  cipher->ResetChainBlock();
  Bytes back(64);
  cipher->Decrypt(viaInterface.data(), back.data(), 64);
  EXPECT_EQ(back, plain);
}

INSTANTIATE_TEST_SUITE_P(Paths, RijndaelModesTest, ::testing::ValuesIn(kKeyedPaths), KeyedPathName);

}  // namespace
}  // namespace vantry::test
