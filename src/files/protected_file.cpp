#include <stdexcept>

#include "vantry/rijndael_cipher.h"

namespace vantry {

void CRijndaelCipher::EncryptToFile(const unsigned char*, std::int32_t, std::string) {
  throw std::logic_error("not built yet");
}

unsigned char* CRijndaelCipher::DecryptFromFile(std::string, std::int32_t*) {
  throw std::logic_error("not built yet");
}

}  // namespace vantry
