// Test access to CRijndaelCipher's protected members and paths, and helpers shared by the
// cipher's tests.
#ifndef VANTRY_CIPHER_CIPHER_TEST_UTIL_H_
#define VANTRY_CIPHER_CIPHER_TEST_UTIL_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "cipher/aes_ni/aes_ni.h"
#include "cipher/block_path.h"
#include "support/aes_reference.h"
#include "support/messages.h"
#include "support/test_support.h"
#include "vantry/rijndael_cipher.h"

namespace vantry::test {

// Adds no members: objects of this class have the layout of a CRijndaelCipher.
class RijndaelProbe : public CRijndaelCipher {
 public:
  using CRijndaelCipher::DecryptBlockGeneral;
  using CRijndaelCipher::EncryptBlockGeneral;
  using CRijndaelCipher::UseGeneralBlockPath;
  using CRijndaelCipher::UsesAesNi;

  std::uint32_t EncRoundKey(int row, int column) const { return m_aiEncRoundKeys[row][column]; }
  std::uint32_t DecRoundKey(int row, int column) const { return m_aiDecRoundKeys[row][column]; }
  int Rounds() const { return m_iRounds; }
  int BlockSize() const { return m_iBlockSize; }
  int KeyLength() const { return m_iKeyLength; }
  int Mode() const { return m_iMode; }
  int Padding() const { return m_iPadding; }
  bool Initialized() const { return m_bInitialized; }
  Bytes Key() const { return Bytes(m_abKey, m_abKey + m_iKeyLength); }
  Bytes Chain() const { return Bytes(m_abChain, m_abChain + m_iBlockSize); }
  Bytes InitialChain() const { return Bytes(m_abInitialChain, m_abInitialChain + m_iBlockSize); }

  // Makes the inverse transform produce garbage, to show which operations never use it.
  void SpoilDecryptionRoundKeys() {
    std::memset(m_aiDecRoundKeys, 0x5A, sizeof m_aiDecRoundKeys);
    std::memset(m_abAesNiDecKeys, 0x5A, sizeof m_abAesNiDecKeys);
  }

  // Every data member's bytes, in order, without the vtable pointer and padding: equal for two
  // objects in the same state, whatever their class or storage.
  Bytes MemberBytes() const {
    Bytes out;
    auto add = [&out](const void* member, std::size_t size) {
      const auto* p = static_cast<const unsigned char*>(member);
      out.insert(out.end(), p, p + size);
    };
    add(&m_bInitialized, sizeof m_bInitialized);
    add(&m_iBlockSize, sizeof m_iBlockSize);
    add(&m_iKeyLength, sizeof m_iKeyLength);
    add(&m_iMode, sizeof m_iMode);
    add(&m_iPadding, sizeof m_iPadding);
    add(m_abKey, sizeof m_abKey);
    add(m_aiEncRoundKeys, sizeof m_aiEncRoundKeys);
    add(m_aiDecRoundKeys, sizeof m_aiDecRoundKeys);
    add(&m_iRounds, sizeof m_iRounds);
    add(m_abInitialChain, sizeof m_abInitialChain);
    add(m_abChain, sizeof m_abChain);
    add(m_aiKeyWords, sizeof m_aiKeyWords);
    add(m_aiTemp, sizeof m_aiTemp);
    add(m_aiState, sizeof m_aiState);
    add(m_aiEncSourceColumn, sizeof m_aiEncSourceColumn);
    add(m_aiDecSourceColumn, sizeof m_aiDecSourceColumn);
    add(m_abAesNiEncKeys, sizeof m_abAesNiEncKeys);
    add(m_abAesNiDecKeys, sizeof m_abAesNiDecKeys);
    return out;
  }

  // Byte ranges of the secret members, relative to the start of the object.
  struct Range {
    const char* name;
    std::size_t offset;
    std::size_t size;
  };
  std::vector<Range> SecretRanges() const {
    auto range = [this](const char* name, const void* member, std::size_t size) {
      return Range{name,
                   static_cast<std::size_t>(static_cast<const unsigned char*>(member) -
                                            reinterpret_cast<const unsigned char*>(this)),
                   size};
    };
    return {range("m_abKey", m_abKey, sizeof m_abKey),
            range("m_aiEncRoundKeys", m_aiEncRoundKeys, sizeof m_aiEncRoundKeys),
            range("m_aiDecRoundKeys", m_aiDecRoundKeys, sizeof m_aiDecRoundKeys),
            range("m_abInitialChain", m_abInitialChain, sizeof m_abInitialChain),
            range("m_abChain", m_abChain, sizeof m_abChain),
            range("m_aiKeyWords", m_aiKeyWords, sizeof m_aiKeyWords),
            range("m_aiTemp", m_aiTemp, sizeof m_aiTemp),
            range("m_aiState", m_aiState, sizeof m_aiState),
            range("m_abAesNiEncKeys", m_abAesNiEncKeys, sizeof m_abAesNiEncKeys),
            range("m_abAesNiDecKeys", m_abAesNiDecKeys, sizeof m_abAesNiDecKeys)};
  }
};

// The whole object representation, vtable pointer and padding included: for comparing one
// object before and after a call.
inline Bytes ObjectBytes(const CRijndaelCipher& cipher) {
  const auto* p = reinterpret_cast<const unsigned char*>(&cipher);
  return Bytes(p, p + sizeof cipher);
}

inline const int kRijndaelSizes[] = {16, 24, 32};

// The code a 16-byte block can run through: the AES instructions (where the processor has
// them), with ECB runs on the AES-NI kernels or on the vector AES kernels of either width, the
// unrolled lookup tables, the general path. SetKey picks one of the first four; the general
// one is reached through UseGeneralBlockPath. Wider blocks always take the general path. Every
// vector set runs through all of them, so each kernel is held against the same vectors.
enum class BlockPath16 { kAesNi, kVaes256, kVaes512, kUnrolled, kGeneral };
inline const BlockPath16 kBlockPaths16[] = {BlockPath16::kAesNi, BlockPath16::kVaes256,
                                            BlockPath16::kVaes512, BlockPath16::kUnrolled,
                                            BlockPath16::kGeneral};
// The ones that SetKey picks.
inline const BlockPath16 kKeyedPaths[] = {BlockPath16::kAesNi, BlockPath16::kVaes256,
                                          BlockPath16::kVaes512, BlockPath16::kUnrolled};

inline const char* NameOf(BlockPath16 path) {
  static const char* const kNames[] = {"AesNi", "Vaes256", "Vaes512", "Unrolled", "General"};
  return kNames[static_cast<int>(path)];
}

inline void PrintTo(BlockPath16 path, std::ostream* os) { *os << NameOf(path); }

inline EcbKernel KernelOf(BlockPath16 path) {
  return path == BlockPath16::kVaes512   ? EcbKernel::kVaes512
         : path == BlockPath16::kVaes256 ? EcbKernel::kVaes256
                                         : EcbKernel::kAesNi;
}

inline bool OnAesInstructions(BlockPath16 path) { return path < BlockPath16::kUnrolled; }

inline bool Runnable(BlockPath16 path) {
  return !OnAesInstructions(path) || EcbKernelRuns(KernelOf(path));
}

// While alive, SetKey sends 16-byte blocks down path: the AES instructions with the path's ECB
// kernel, or the tables as on a processor that has no AES instructions.
class ScopedKeyedPath {
 public:
  explicit ScopedKeyedPath(BlockPath16 path) {
    ForceTablePathForTesting(!OnAesInstructions(path));
    ForceEcbKernelForTesting(true, KernelOf(path));
  }
  ~ScopedKeyedPath() {
    ForceTablePathForTesting(false);
    ForceEcbKernelForTesting(false);
  }
  ScopedKeyedPath(const ScopedKeyedPath&) = delete;
  ScopedKeyedPath& operator=(const ScopedKeyedPath&) = delete;
};

// SetKey with 16-byte blocks sent down path. Returns false, keying nothing, when the
// processor cannot run it.
inline bool SetKeyOnPath(RijndaelProbe& cipher, BlockPath16 path, const unsigned char* keyData,
                         std::int32_t keyDataLength, const unsigned char* chainBlock,
                         std::int32_t keyLength, std::int32_t blockSize, std::int32_t mode,
                         std::int32_t padding) {
  if (!Runnable(path)) {
    return false;
  }
  {
    ScopedKeyedPath scope(path);
    cipher.SetKey(keyData, keyDataLength, chainBlock, keyLength, blockSize, mode, padding);
  }
  if (path == BlockPath16::kGeneral) {
    cipher.UseGeneralBlockPath();
  }
  return true;
}

// A fixture whose tests run once on each path SetKey picks (instantiate it with kKeyedPaths
// and KeyedPathName); the AES-NI runs are skipped on a processor without AES-NI.
class OnEachKeyedPath : public ::testing::TestWithParam<BlockPath16> {
 protected:
  void SetUp() override {
    if (!Runnable(GetParam())) {
      GTEST_SKIP() << "the processor has no AES instructions";
    }
    m_scope.emplace(GetParam());
  }
  void TearDown() override { m_scope.reset(); }

 private:
  std::optional<ScopedKeyedPath> m_scope;
};

inline std::string KeyedPathName(const ::testing::TestParamInfo<BlockPath16>& info) {
  return NameOf(info.param);
}

// The kernels' round keys from the textbook key expansion, in the cipher's layout (big-endian
// column words in rows; decryption rows in reverse order with InvMixColumns on the inner
// rows), so the AES-NI kernels can be checked on their own, independently of the cipher's key
// schedule.
struct ReferenceSchedule {
  int rounds = 0;
  std::uint32_t enc[15][8] = {};
  std::uint32_t dec[15][8] = {};
  unsigned char encKeys[aes_ni::kRoundKeyBytes] = {};
  unsigned char decKeys[aes_ni::kRoundKeyBytes] = {};
};

inline ReferenceSchedule MakeReferenceSchedule(const std::vector<unsigned char>& key) {
  const std::vector<std::uint32_t> w = ReferenceKeyExpansion(key);
  ReferenceSchedule s;
  s.rounds = static_cast<int>(w.size() / 4) - 1;
  for (std::size_t i = 0; i < w.size(); ++i) {
    const int row = static_cast<int>(i / 4);
    s.enc[row][i % 4] = w[i];
    s.dec[s.rounds - row][i % 4] = w[i];
  }
  for (int r = 1; r < s.rounds; ++r) {
    for (int c = 0; c < 4; ++c) {
      s.dec[r][c] = ReferenceInvMixColumn(s.dec[r][c]);
    }
  }
  aes_ni::ConvertRoundKeys(s.enc, s.rounds, s.encKeys);
  aes_ni::ConvertRoundKeys(s.dec, s.rounds, s.decKeys);
  return s;
}

// The three chaining modes the AES-NI kernels implement.
enum class Mode { kEcb, kCbc, kCfb };

// Runs the kernel of one direction and mode over a whole message.
inline Bytes RunKernel(const ReferenceSchedule& s, Mode mode, bool encrypt, const Bytes& iv,
                       const Bytes& in) {
  Bytes out(in.size());
  Bytes chain = iv;
  const std::size_t n = in.size() / 16;
  switch (mode) {
    case Mode::kEcb:
      encrypt ? aes_ni::EncryptBlocks(s.encKeys, s.rounds, in.data(), out.data(), n)
              : aes_ni::DecryptBlocks(s.decKeys, s.rounds, in.data(), out.data(), n);
      break;
    case Mode::kCbc:
      encrypt ? aes_ni::EncryptCbc(s.encKeys, s.rounds, in.data(), out.data(), n, chain.data())
              : aes_ni::DecryptCbc(s.decKeys, s.rounds, in.data(), out.data(), n, chain.data());
      break;
    case Mode::kCfb:
      encrypt ? aes_ni::EncryptCfb(s.encKeys, s.rounds, in.data(), out.data(), n, chain.data())
              : aes_ni::DecryptCfb(s.encKeys, s.rounds, in.data(), out.data(), n, chain.data());
      break;
  }
  return out;
}

}  // namespace vantry::test

#endif  // VANTRY_CIPHER_CIPHER_TEST_UTIL_H_
