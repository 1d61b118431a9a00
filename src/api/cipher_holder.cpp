#include "api/cipher_holder.h"

#include <cstring>

#include "api/secret_text.h"
#include "platform/secure_wipe.h"
#include "platform/vector_registers.h"

namespace vantry {
namespace {

// Wipes the key buffer however the keying ends.
class KeyBufferWiper {
 public:
  explicit KeyBufferWiper(unsigned char (&buffer)[kVantryKeyBufferSize]) : m_buffer(buffer) {}
  ~KeyBufferWiper() { platform::SecureWipe(m_buffer, sizeof m_buffer); }
  KeyBufferWiper(const KeyBufferWiper&) = delete;
  KeyBufferWiper& operator=(const KeyBufferWiper&) = delete;

 private:
  unsigned char (&m_buffer)[kVantryKeyBufferSize];
};

}  // namespace

void FillKeyBuffer(const std::string& keyText, unsigned char (&buffer)[kVantryKeyBufferSize]) {
  std::memset(buffer, 0, sizeof buffer);
  for (std::size_t i = 0; i < sizeof buffer && i < keyText.size() && keyText[i] != '\0'; ++i) {
    buffer[i] = static_cast<unsigned char>(keyText[i]);
  }
}

CCipherHolder::~CCipherHolder() = default;

CBlockCipher* CCipherHolder::GetCipher(const std::string& keyText) {
  if (!m_pCipher) {
    m_pCipher = std::make_unique<CRijndaelCipher>();
  }
  unsigned char keyBuffer[kVantryKeyBufferSize];
  KeyBufferWiper wiper(keyBuffer);
  FillKeyBuffer(keyText, keyBuffer);
  m_pCipher->SetKey(keyBuffer, kVantryKeyBufferSize, kVantryChainBlock, kVantryKeyLength,
                    kVantryBlockSize, MODE_ECB, PAD_ZERO);
  // The key text, its bytes and the schedule passed through vector registers; the first
  // lazily bound call of the save or load that follows would spill them onto the stack.
  platform::ClearVectorRegisters();
  return m_pCipher.get();
}

void CCipherHolder::SaveBuffer(const unsigned char* data, std::int32_t length, std::string keyText,
                               std::string fileName) {
  SecretTextWiper keyWiper(keyText);
  GetCipher(keyText)->EncryptToFile(data, length, std::move(fileName));
}

unsigned char* CCipherHolder::LoadBuffer(std::string fileName, std::int32_t* outLength,
                                         std::string keyText) {
  SecretTextWiper keyWiper(keyText);
  return GetCipher(keyText)->DecryptFromFile(std::move(fileName), outLength);
}

}  // namespace vantry
