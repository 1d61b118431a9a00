#include "api/cipher_holder.h"

#include "api/secret_text.h"
#include "files/whole_file.h"
#include "vantry/keying.h"

namespace vantry {

CCipherHolder::~CCipherHolder() = default;

CBlockCipher* CCipherHolder::GetCipher(const std::string& keyText) {
  if (!m_pCipher) {
    m_pCipher = std::make_unique<CRijndaelCipher>();
  }
  // KeyCipher clears the vector registers: the first lazily bound call of the save or load
  // that follows would otherwise spill the key's bytes onto the stack.
  KeyCipher(*m_pCipher, KeySource::kText, keyText.data(), keyText.size());
  return m_pCipher.get();
}

void CCipherHolder::SaveBuffer(const unsigned char* data, std::int32_t length, std::string keyText,
                               std::string fileName, bool machineKey) {
  SecretTextWiper keyWiper(keyText);
  CBlockCipher* cipher = GetCipher(keyText);
  if (!machineKey) {
    cipher->EncryptToFile(data, length, std::move(fileName));
    return;
  }
  EncryptToProtectedFile(*m_pCipher, data, length, fileName, platform::OutputContents::kPlainText);
}

unsigned char* CCipherHolder::LoadBuffer(std::string fileName, std::int32_t* outLength,
                                         std::string keyText) {
  SecretTextWiper keyWiper(keyText);
  return GetCipher(keyText)->DecryptFromFile(std::move(fileName), outLength);
}

}  // namespace vantry
