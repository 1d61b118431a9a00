#include <cstring>
#include <limits>

#include "cipher/aes_ni/aes_ni.h"
#include "cipher/aes_ni/vaes.h"
#include "cipher/messages.h"
#include "platform/vector_registers.h"
#include "vantry/rijndael_cipher.h"

// The chaining modes carry m_abChain from one call to the next, so a stream may be fed in
// pieces of any whole number of blocks. In and out may be the same buffer in every mode: each
// cipher block that the chain still needs is copied before the output overwrites it.

namespace vantry {
namespace {

void XorBytes(unsigned char* dst, const unsigned char* src, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    dst[i] ^= src[i];
  }
}

void RequireWholeBlocks(std::size_t n, std::size_t blockSize) {
  if (n == 0 || n % blockSize != 0) {
    ThrowCipherError(CipherMessage::kIllegalBlockSize);
  }
}

}  // namespace

void CRijndaelCipher::Encrypt(const unsigned char* in, unsigned char* out, std::size_t n) {
  platform::VectorRegisterClearer registerClearer;  // the round keys stay in registers
  RequireKeyed();
  const auto blockSize = static_cast<std::size_t>(m_iBlockSize);
  RequireWholeBlocks(n, blockSize);

  if (UsesAesNi()) {
    // The kernels take whole runs of blocks: eight at a time in ECB, one after the other where
    // the chain makes each block wait for the one before.
    const std::size_t blocks = n / 16;
    switch (m_iMode) {
      case MODE_CBC:
        aes_ni::EncryptCbc(m_abAesNiEncKeys, m_iRounds, in, out, blocks, m_abChain);
        return;
      case MODE_CFB:
        aes_ni::EncryptCfb(m_abAesNiEncKeys, m_iRounds, in, out, blocks, m_abChain);
        return;
      default:
        if (m_eBlockPath == BlockPath::kAesNiVaes512) {
          vaes::EncryptBlocks512(m_abAesNiEncKeys, m_iRounds, in, out, blocks);
        } else if (m_eBlockPath == BlockPath::kAesNiVaes256) {
          vaes::EncryptBlocks256(m_abAesNiEncKeys, m_iRounds, in, out, blocks);
        } else {
          aes_ni::EncryptBlocks(m_abAesNiEncKeys, m_iRounds, in, out, blocks);
        }
        return;
    }
  }

  switch (m_iMode) {
    case MODE_CBC:
      // C = E(P ^ chain), and C is the next chain.
      for (std::size_t at = 0; at < n; at += blockSize) {
        XorBytes(m_abChain, in + at, blockSize);
        EncryptOneBlock(m_abChain, m_abChain);
        std::memcpy(out + at, m_abChain, blockSize);
      }
      break;
    case MODE_CFB:
      // C = E(chain) ^ P, and C is the next chain.
      for (std::size_t at = 0; at < n; at += blockSize) {
        EncryptOneBlock(m_abChain, m_abChain);
        XorBytes(m_abChain, in + at, blockSize);
        std::memcpy(out + at, m_abChain, blockSize);
      }
      break;
    default:  // MODE_ECB
      for (std::size_t at = 0; at < n; at += blockSize) {
        EncryptOneBlock(in + at, out + at);
      }
      break;
  }
}

void CRijndaelCipher::Decrypt(const unsigned char* in, unsigned char* out, std::size_t n) {
  platform::VectorRegisterClearer registerClearer;  // the round keys stay in registers
  RequireKeyed();
  const auto blockSize = static_cast<std::size_t>(m_iBlockSize);
  RequireWholeBlocks(n, blockSize);

  if (UsesAesNi()) {
    // Decryption needs no block's result for another in any mode: eight blocks at a time.
    const std::size_t blocks = n / 16;
    switch (m_iMode) {
      case MODE_CBC:
        aes_ni::DecryptCbc(m_abAesNiDecKeys, m_iRounds, in, out, blocks, m_abChain);
        return;
      case MODE_CFB:
        aes_ni::DecryptCfb(m_abAesNiEncKeys, m_iRounds, in, out, blocks, m_abChain);
        return;
      default:
        if (m_eBlockPath == BlockPath::kAesNiVaes512) {
          vaes::DecryptBlocks512(m_abAesNiDecKeys, m_iRounds, in, out, blocks);
        } else if (m_eBlockPath == BlockPath::kAesNiVaes256) {
          vaes::DecryptBlocks256(m_abAesNiDecKeys, m_iRounds, in, out, blocks);
        } else {
          aes_ni::DecryptBlocks(m_abAesNiDecKeys, m_iRounds, in, out, blocks);
        }
        return;
    }
  }

  unsigned char cipherBlock[32];
  switch (m_iMode) {
    case MODE_CBC:
      // P = D(C) ^ chain, and C is the next chain.
      for (std::size_t at = 0; at < n; at += blockSize) {
        std::memcpy(cipherBlock, in + at, blockSize);
        DecryptOneBlock(cipherBlock, out + at);
        XorBytes(out + at, m_abChain, blockSize);
        std::memcpy(m_abChain, cipherBlock, blockSize);
      }
      break;
    case MODE_CFB:
      // P = E(chain) ^ C: the forward transform serves both directions.
      for (std::size_t at = 0; at < n; at += blockSize) {
        std::memcpy(cipherBlock, in + at, blockSize);
        EncryptOneBlock(m_abChain, m_abChain);
        for (std::size_t i = 0; i < blockSize; ++i) {
          out[at + i] = static_cast<unsigned char>(m_abChain[i] ^ cipherBlock[i]);
        }
        std::memcpy(m_abChain, cipherBlock, blockSize);
      }
      break;
    default:  // MODE_ECB
      for (std::size_t at = 0; at < n; at += blockSize) {
        DecryptOneBlock(in + at, out + at);
      }
      break;
  }
}

void CRijndaelCipher::XorWithBlock(unsigned char* dst, const unsigned char* src) {
  RequireKeyed();
  XorBytes(dst, src, static_cast<std::size_t>(m_iBlockSize));
}

// Pads to the next block boundary only: data that already ends on one gets no padding block,
// and nothing records how much was added. Readers of a decrypted stream see the pad bytes.
std::int32_t CRijndaelCipher::PadData(unsigned char* buf, std::int32_t len) {
  RequireKeyed();
  // A negative length would make the remainder negative and the fill run before buf.
  if (len < 0) {
    ThrowCipherError(CipherMessage::kIllegalDataLength);
  }
  const std::int32_t remainder = len % m_iBlockSize;
  if (remainder == 0) {
    return len;
  }
  const std::int32_t fill = m_iBlockSize - remainder;
  if (len > std::numeric_limits<std::int32_t>::max() - fill) {
    ThrowCipherError(CipherMessage::kIllegalDataLength);
  }
  unsigned char value = 0x00;
  if (m_iPadding == PAD_SPACE) {
    value = 0x20;
  } else if (m_iPadding == PAD_COUNT) {
    value = static_cast<unsigned char>(fill);
  }
  std::memset(buf + len, value, static_cast<std::size_t>(fill));
  return len + fill;
}

}  // namespace vantry
