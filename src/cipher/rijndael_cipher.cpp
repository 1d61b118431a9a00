#include "vantry/rijndael_cipher.h"

#include <cstring>

#include "cipher/messages.h"
#include "platform/secure_wipe.h"

namespace vantry {
namespace {

template <typename T>
void Wipe(T& member) noexcept {
  platform::SecureWipe(&member, sizeof member);
}

}  // namespace

CRijndaelCipher::CRijndaelCipher() = default;

// Everything goes, not only the key: the round keys reveal the key, the chain blocks and the
// general path's scratch words hold plain text or key stream of the last block.
CRijndaelCipher::~CRijndaelCipher() {
  Wipe(m_iBlockSize);
  Wipe(m_iKeyLength);
  Wipe(m_iMode);
  Wipe(m_iPadding);
  Wipe(m_abKey);
  Wipe(m_aiEncRoundKeys);
  Wipe(m_aiDecRoundKeys);
  Wipe(m_iRounds);
  Wipe(m_abInitialChain);
  Wipe(m_abChain);
  Wipe(m_aiKeyWords);
  Wipe(m_aiTemp);
  Wipe(m_aiState);
  Wipe(m_aiEncSourceColumn);
  Wipe(m_aiDecSourceColumn);
  Wipe(m_abAesNiEncKeys);
  Wipe(m_abAesNiDecKeys);
  Wipe(m_eBlockPath);
  Wipe(m_bInitialized);
}

void CRijndaelCipher::RequireKeyed() const {
  if (!m_bInitialized) {
    ThrowCipherError(CipherMessage::kNotInitialized);
  }
}

bool CRijndaelCipher::UsesAesNi() const noexcept {
  return m_eBlockPath == BlockPath::kAesNi || m_eBlockPath == BlockPath::kAesNiVaes256 ||
         m_eBlockPath == BlockPath::kAesNiVaes512;
}

void CRijndaelCipher::ResetChainBlock() {
  RequireKeyed();
  std::memcpy(m_abChain, m_abInitialChain, static_cast<std::size_t>(m_iBlockSize));
}

}  // namespace vantry
