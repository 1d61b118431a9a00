#include "cipher/aes_ni/aes_ni.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ostream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "cipher/cipher_test_util.h"
#include "support/test_support.h"

namespace vantry::test {
namespace {

#define REQUIRE_AES_NI()                                     \
  if (!aes_ni::Available()) {                                \
    GTEST_SKIP() << "the processor has no AES instructions"; \
  }

// FIPS-197 Appendix A: the expansions of the three example keys; the first and the last round
// key of each.
struct ExpansionCase {
  const char* key;
  const char* lastRoundKey;
};
const ExpansionCase kExpansions[] = {
    {"2b7e151628aed2a6abf7158809cf4f3c", "d014f9a8c9ee2589e13f0cc8b6630ca6"},
    {"8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b", "e98ba06f448c773c8ecc720401002202"},
    {"603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4",
     "fe4890d1e6188d0b046df344706c631e"},
};

TEST(AesNiRoundKeys, ConvertedKeysHoldTheExpansionInBlockOrder) {
  for (const auto& c : kExpansions) {
    SCOPED_TRACE(c.key);
    const Bytes key = FromHex(c.key);
    const ReferenceSchedule s = MakeReferenceSchedule(key);
    const int r = s.rounds;
    // The first round keys are the cipher key itself.
    EXPECT_EQ(ToHex(s.encKeys, key.size()), c.key);
    EXPECT_EQ(ToHex(s.encKeys + 16 * r, 16), c.lastRoundKey);
    // The decryption keys start where encryption ends and end with the cipher key.
    EXPECT_EQ(ToHex(s.decKeys, 16), c.lastRoundKey);
    EXPECT_EQ(ToHex(s.decKeys + 16 * r, 16), ToHex(key.data(), 16));
  }
}

// The FIPS-197 examples and the NIST CAVP files run through these kernels once, as the AES-NI
// path of CRijndaelCipher (rijndael_block_test.cpp, rijndael_cavp_test.cpp); here: what only
// the kernels' own interface shows.
TEST(AesNiBlock, RefusesARoundCountOtherThan10_12_14) {
  REQUIRE_AES_NI();
  const ReferenceSchedule s = MakeReferenceSchedule(Bytes(16, 0));
  unsigned char block[16] = {};
  unsigned char chain[16] = {};
  for (int rounds : {0, 9, 11, 13, 15}) {
    EXPECT_THROW(aes_ni::EncryptBlock(s.encKeys, rounds, block, block), std::invalid_argument);
    EXPECT_THROW(aes_ni::DecryptBlock(s.decKeys, rounds, block, block), std::invalid_argument);
    EXPECT_THROW(aes_ni::EncryptBlocks(s.encKeys, rounds, block, block, 1), std::invalid_argument);
    EXPECT_THROW(aes_ni::DecryptBlocks(s.decKeys, rounds, block, block, 1), std::invalid_argument);
    EXPECT_THROW(aes_ni::EncryptCbc(s.encKeys, rounds, block, block, 1, chain),
                 std::invalid_argument);
    EXPECT_THROW(aes_ni::DecryptCbc(s.decKeys, rounds, block, block, 1, chain),
                 std::invalid_argument);
    EXPECT_THROW(aes_ni::EncryptCfb(s.encKeys, rounds, block, block, 1, chain),
                 std::invalid_argument);
    EXPECT_THROW(aes_ni::DecryptCfb(s.encKeys, rounds, block, block, 1, chain),
                 std::invalid_argument);
  }
}

// The grouped kernels against one block at a time, for block counts around the groups of
// eight and four, at every key length; in place and out of place; nothing written past the
// end; a message cut at any block boundary gives the same output as one call.
const std::size_t kBlockCounts[] = {0,  1,  2,  3,  4,  5,  7,  8,  9,  11, 12,
                                    13, 15, 16, 17, 23, 24, 25, 31, 32, 33, 64};
constexpr std::size_t kGuard = 32;
constexpr unsigned char kGuardByte = 0xa5;

// Composes a mode from the single-block kernels: the expected output of the grouped ones.
Bytes OneBlockAtATime(const ReferenceSchedule& s, Mode mode, bool encrypt, const Bytes& iv,
                      const Bytes& in) {
  Bytes out(in.size());
  Bytes chain = iv;
  for (std::size_t i = 0; i < in.size(); i += 16) {
    unsigned char t[16];
    const unsigned char* p = in.data() + i;
    unsigned char* q = out.data() + i;
    switch (mode) {
      case Mode::kEcb:
        encrypt ? aes_ni::EncryptBlock(s.encKeys, s.rounds, p, q)
                : aes_ni::DecryptBlock(s.decKeys, s.rounds, p, q);
        break;
      case Mode::kCbc:
        if (encrypt) {
          for (int j = 0; j < 16; ++j) t[j] = p[j] ^ chain[j];
          aes_ni::EncryptBlock(s.encKeys, s.rounds, t, q);
          std::memcpy(chain.data(), q, 16);
        } else {
          aes_ni::DecryptBlock(s.decKeys, s.rounds, p, t);
          for (int j = 0; j < 16; ++j) q[j] = t[j] ^ chain[j];
          std::memcpy(chain.data(), p, 16);
        }
        break;
      case Mode::kCfb:
        aes_ni::EncryptBlock(s.encKeys, s.rounds, chain.data(), t);
        for (int j = 0; j < 16; ++j) q[j] = t[j] ^ p[j];
        std::memcpy(chain.data(), encrypt ? q : p, 16);
        break;
    }
  }
  return out;
}

// Runs a kernel over in, into a buffer with guard bytes behind the output; returns the output
// and the chain block afterwards.
struct KernelRun {
  Bytes out;
  Bytes chain;
  bool guardIntact;
};

KernelRun RunWithGuard(const ReferenceSchedule& s, Mode mode, bool encrypt, const Bytes& iv,
                       const Bytes& in, bool inPlace) {
  Bytes buffer(in.size() + kGuard, kGuardByte);
  Bytes chain = iv;
  const unsigned char* src = in.data();
  if (inPlace) {
    std::copy(in.begin(), in.end(), buffer.begin());
    src = buffer.data();
  }
  const std::size_t n = in.size() / 16;
  unsigned char* dst = buffer.data();
  switch (mode) {
    case Mode::kEcb:
      encrypt ? aes_ni::EncryptBlocks(s.encKeys, s.rounds, src, dst, n)
              : aes_ni::DecryptBlocks(s.decKeys, s.rounds, src, dst, n);
      break;
    case Mode::kCbc:
      encrypt ? aes_ni::EncryptCbc(s.encKeys, s.rounds, src, dst, n, chain.data())
              : aes_ni::DecryptCbc(s.decKeys, s.rounds, src, dst, n, chain.data());
      break;
    case Mode::kCfb:
      encrypt ? aes_ni::EncryptCfb(s.encKeys, s.rounds, src, dst, n, chain.data())
              : aes_ni::DecryptCfb(s.encKeys, s.rounds, src, dst, n, chain.data());
      break;
  }
  KernelRun run;
  run.out.assign(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(in.size()));
  run.chain = chain;
  run.guardIntact = true;
  for (std::size_t i = in.size(); i < buffer.size(); ++i) {
    run.guardIntact = run.guardIntact && buffer[i] == kGuardByte;
  }
  return run;
}

struct ModeDirection {
  Mode mode;
  bool encrypt;
  const char* name;
};
const ModeDirection kModeDirections[] = {
    {Mode::kEcb, true, "ECB encrypt"}, {Mode::kEcb, false, "ECB decrypt"},
    {Mode::kCbc, true, "CBC encrypt"}, {Mode::kCbc, false, "CBC decrypt"},
    {Mode::kCfb, true, "CFB encrypt"}, {Mode::kCfb, false, "CFB decrypt"},
};

TEST(AesNiGroups, SameBytesAsOneBlockAtATime) {
  REQUIRE_AES_NI();
  std::mt19937_64 rng(2024);
  for (std::size_t keyLength : {16, 24, 32}) {
    const ReferenceSchedule s = MakeReferenceSchedule(RandomBytes(rng, keyLength));
    for (const auto& md : kModeDirections) {
      for (std::size_t blocks : kBlockCounts) {
        SCOPED_TRACE(std::string(md.name) + ", key " + std::to_string(keyLength) + ", " +
                     std::to_string(blocks) + " blocks");
        const Bytes iv = RandomBytes(rng, 16);
        const Bytes in = RandomBytes(rng, 16 * blocks);
        const Bytes expected = OneBlockAtATime(s, md.mode, md.encrypt, iv, in);
        // The chain block afterwards is the last cipher block (the IV when there was none).
        Bytes expectedChain = iv;
        if (blocks > 0 && md.mode != Mode::kEcb) {
          const Bytes& cipher = md.encrypt ? expected : in;
          expectedChain.assign(cipher.end() - 16, cipher.end());
        }
        for (bool inPlace : {false, true}) {
          SCOPED_TRACE(inPlace ? "in place" : "out of place");
          const KernelRun run = RunWithGuard(s, md.mode, md.encrypt, iv, in, inPlace);
          EXPECT_EQ(ToHex(run.out), ToHex(expected));
          EXPECT_TRUE(run.guardIntact);
          if (md.mode != Mode::kEcb) {
            EXPECT_EQ(ToHex(run.chain), ToHex(expectedChain));
          }
        }
      }
    }
  }
}

TEST(AesNiGroups, EncryptThenDecryptGivesTheMessageBack) {
  REQUIRE_AES_NI();
  std::mt19937_64 rng(7);
  for (std::size_t keyLength : {16, 24, 32}) {
    const ReferenceSchedule s = MakeReferenceSchedule(RandomBytes(rng, keyLength));
    for (Mode mode : {Mode::kEcb, Mode::kCbc, Mode::kCfb}) {
      for (std::size_t blocks : kBlockCounts) {
        SCOPED_TRACE(std::to_string(keyLength) + "/" + std::to_string(static_cast<int>(mode)) +
                     "/" + std::to_string(blocks));
        const Bytes iv = RandomBytes(rng, 16);
        const Bytes plain = RandomBytes(rng, 16 * blocks);
        const Bytes cipher = RunKernel(s, mode, true, iv, plain);
        EXPECT_EQ(ToHex(RunKernel(s, mode, false, iv, cipher)), ToHex(plain));
      }
    }
  }
}

TEST(AesNiGroups, AMessageCutAtAnyBlockGivesTheSameOutputAsOneCall) {
  REQUIRE_AES_NI();
  std::mt19937_64 rng(99);
  const ReferenceSchedule s = MakeReferenceSchedule(RandomBytes(rng, 16));
  const Bytes iv = RandomBytes(rng, 16);
  const Bytes in = RandomBytes(rng, 16 * 21);
  for (const auto& md : kModeDirections) {
    const Bytes whole = RunKernel(s, md.mode, md.encrypt, iv, in);
    for (std::size_t cut = 1; cut < 21; ++cut) {
      SCOPED_TRACE(std::string(md.name) + ", cut after block " + std::to_string(cut));
      const KernelRun first =
          RunWithGuard(s, md.mode, md.encrypt, iv, Bytes(in.begin(), in.begin() + 16 * cut), false);
      const KernelRun second = RunWithGuard(s, md.mode, md.encrypt, first.chain,
                                            Bytes(in.begin() + 16 * cut, in.end()), false);
      Bytes joined = first.out;
      joined.insert(joined.end(), second.out.begin(), second.out.end());
      EXPECT_EQ(ToHex(joined), ToHex(whole));
    }
  }
}

}  // namespace
}  // namespace vantry::test
