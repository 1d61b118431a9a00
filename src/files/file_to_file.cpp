#include <stdexcept>

#include "vantry/rijndael_cipher.h"

namespace vantry {

void CRijndaelCipher::EncryptFile(std::string, std::string) {
  throw std::logic_error("not built yet");
}

void CRijndaelCipher::DecryptFile(std::string, std::string) {
  throw std::logic_error("not built yet");
}

}  // namespace vantry
