#include <algorithm>
#include <cstring>

#include "cipher/aes_ni/aes_ni.h"
#include "cipher/big_endian.h"
#include "cipher/block_path.h"
#include "cipher/messages.h"
#include "cipher/rijndael_tables.h"
#include "platform/secure_wipe.h"
#include "platform/vector_registers.h"
#include "vantry/rijndael_cipher.h"

namespace vantry {
namespace {

bool IsRijndaelSize(std::int32_t bytes) { return bytes == 16 || bytes == 24 || bytes == 32; }

std::uint32_t SubWord(std::uint32_t w) {
  using rijndael::S;
  return (std::uint32_t{S[w >> 24]} << 24) | (std::uint32_t{S[(w >> 16) & 0xFF]} << 16) |
         (std::uint32_t{S[(w >> 8) & 0xFF]} << 8) | std::uint32_t{S[w & 0xFF]};
}

std::uint32_t RotWord(std::uint32_t w) { return (w << 8) | (w >> 24); }

std::uint32_t InvMixColumn(std::uint32_t w) {
  using namespace rijndael;
  return U1[w >> 24] ^ U2[(w >> 16) & 0xFF] ^ U3[(w >> 8) & 0xFF] ^ U4[w & 0xFF];
}

// ShiftRows offsets of rows 0..3 for blocks of 4, 6 and 8 columns. A 32-byte block shifts rows
// 2 and 3 by 3 and 4, not 2 and 3: a wrong offset here would still decrypt what it encrypted, so
// only known-answer vectors of 32-byte blocks can catch it.
constexpr std::int32_t kShiftOffset[3][4] = {{0, 1, 2, 3}, {0, 1, 2, 3}, {0, 1, 3, 4}};

}  // namespace

void CRijndaelCipher::SetKey(const unsigned char* keyData, std::int32_t keyDataLength,
                             const unsigned char* chainBlock, std::int32_t keyLength,
                             std::int32_t blockSize, std::int32_t mode, std::int32_t padding) {
  platform::VectorRegisterClearer registerClearer;  // the expansion passes through registers
  // Every check before any change: a refused call leaves an earlier key fully in force.
  if (keyData == nullptr) {
    ThrowCipherError(CipherMessage::kNoKeyData);
  }
  if (keyDataLength < 1) {
    ThrowCipherError(CipherMessage::kKeyDataLength);
  }
  if (!IsRijndaelSize(keyLength)) {
    ThrowCipherError(CipherMessage::kIllegalKeyLength);
  }
  if (!IsRijndaelSize(blockSize)) {
    ThrowCipherError(CipherMessage::kIllegalBlockSize);
  }
  if (mode < MODE_ECB || mode > MODE_CFB) {
    ThrowCipherError(CipherMessage::kIllegalMode);
  }
  if (padding < PAD_ZERO || padding > PAD_COUNT) {
    ThrowCipherError(CipherMessage::kIllegalPadding);
  }

  // Both inputs are read into locals first: the caller may hand in bytes of this very object.
  unsigned char key[32] = {};
  for (std::int32_t i = 0; i < keyLength; ++i) {
    key[i] = keyData[i % keyDataLength];
  }
  unsigned char chain[32] = {};
  if (chainBlock != nullptr) {
    std::memcpy(chain, chainBlock, static_cast<std::size_t>(blockSize));
  }

  // Material of an earlier, larger key must not linger in the unused parts of the arrays.
  platform::SecureWipe(m_abKey, sizeof m_abKey);
  platform::SecureWipe(m_aiEncRoundKeys, sizeof m_aiEncRoundKeys);
  platform::SecureWipe(m_aiDecRoundKeys, sizeof m_aiDecRoundKeys);
  platform::SecureWipe(m_abInitialChain, sizeof m_abInitialChain);
  platform::SecureWipe(m_abChain, sizeof m_abChain);
  platform::SecureWipe(m_aiTemp, sizeof m_aiTemp);
  platform::SecureWipe(m_aiState, sizeof m_aiState);
  platform::SecureWipe(m_abAesNiEncKeys, sizeof m_abAesNiEncKeys);
  platform::SecureWipe(m_abAesNiDecKeys, sizeof m_abAesNiDecKeys);

  m_iMode = mode;
  m_iPadding = padding;
  m_iBlockSize = blockSize;
  std::memcpy(m_abInitialChain, chain, sizeof chain);
  std::memcpy(m_abChain, chain, sizeof chain);
  std::memcpy(m_abKey, key, sizeof key);
  m_iKeyLength = keyLength;
  m_iRounds = std::max(keyLength, blockSize) / 4 + 6;
  platform::SecureWipe(key, sizeof key);
  platform::SecureWipe(chain, sizeof chain);

  ExpandKey();
  ComputeSourceColumns();
  if (blockSize == 16 && AesNiPathSelected()) {
    aes_ni::ConvertRoundKeys(m_aiEncRoundKeys, m_iRounds, m_abAesNiEncKeys);
    aes_ni::ConvertRoundKeys(m_aiDecRoundKeys, m_iRounds, m_abAesNiDecKeys);
    switch (SelectedEcbKernel()) {
      case EcbKernel::kVaes512:
        m_eBlockPath = BlockPath::kAesNiVaes512;
        break;
      case EcbKernel::kVaes256:
        m_eBlockPath = BlockPath::kAesNiVaes256;
        break;
      case EcbKernel::kAesNi:
        m_eBlockPath = BlockPath::kAesNi;
        break;
    }
  } else {
    m_eBlockPath = blockSize == 16 ? BlockPath::kTable128 : BlockPath::kGeneral;
  }
  m_bInitialized = true;
}

// The Rijndael key schedule: KC key words expanded to (rounds + 1) * BC round-key words, laid
// out row by row (one row per round, one word per state column). Decryption uses the same
// words in reverse row order, with InvMixColumns applied to the inner rows, so that the
// inverse rounds can keep the table structure of the forward ones (the "equivalent inverse
// cipher").
void CRijndaelCipher::ExpandKey() {
  const std::int32_t keyColumns = m_iKeyLength / 4;
  const std::int32_t blockColumns = m_iBlockSize / 4;
  const std::int32_t wordCount = (m_iRounds + 1) * blockColumns;

  for (std::int32_t i = 0; i < keyColumns; ++i) {
    m_aiKeyWords[i] = LoadBigEndian32(m_abKey + 4 * i);
  }

  std::int32_t t = 0;
  auto distribute = [&] {
    for (std::int32_t i = 0; i < keyColumns && t < wordCount; ++i, ++t) {
      const std::int32_t row = t / blockColumns;
      const std::int32_t column = t % blockColumns;
      m_aiEncRoundKeys[row][column] = m_aiKeyWords[i];
      m_aiDecRoundKeys[m_iRounds - row][column] = m_aiKeyWords[i];
    }
  };

  distribute();
  for (std::int32_t r = 0; t < wordCount; ++r) {
    std::uint32_t* w = m_aiKeyWords;
    w[0] ^= SubWord(RotWord(w[keyColumns - 1])) ^ (std::uint32_t{rijndael::rcon[r]} << 24);
    if (keyColumns != 8) {
      for (std::int32_t i = 1; i < keyColumns; ++i) {
        w[i] ^= w[i - 1];
      }
    } else {
      // 256-bit keys take one extra SubWord halfway, without rotation or round constant.
      for (std::int32_t i = 1; i < 4; ++i) {
        w[i] ^= w[i - 1];
      }
      w[4] ^= SubWord(w[3]);
      for (std::int32_t i = 5; i < 8; ++i) {
        w[i] ^= w[i - 1];
      }
    }
    distribute();
  }

  for (std::int32_t row = 1; row < m_iRounds; ++row) {
    for (std::int32_t column = 0; column < blockColumns; ++column) {
      m_aiDecRoundKeys[row][column] = InvMixColumn(m_aiDecRoundKeys[row][column]);
    }
  }
  // The last expanded words are round-key material; nothing needs them after keying.
  platform::SecureWipe(m_aiKeyWords, sizeof m_aiKeyWords);
}

void CRijndaelCipher::ComputeSourceColumns() {
  const std::int32_t blockColumns = m_iBlockSize / 4;
  const std::int32_t sizeClass = blockColumns == 4 ? 0 : blockColumns == 6 ? 1 : 2;
  for (std::int32_t row = 1; row < 4; ++row) {
    const std::int32_t encShift = kShiftOffset[sizeClass][row];
    const std::int32_t decShift = blockColumns - encShift;
    for (std::int32_t column = 0; column < 8; ++column) {
      // Columns beyond BC are never read; pointing them at column 0 keeps every index in range.
      const bool used = column < blockColumns;
      m_aiEncSourceColumn[row - 1][column] = used ? (column + encShift) % blockColumns : 0;
      m_aiDecSourceColumn[row - 1][column] = used ? (column + decShift) % blockColumns : 0;
    }
  }
}

}  // namespace vantry
