#include <stdexcept>

#include "vantry/rijndael_cipher.h"

namespace vantry {

void CRijndaelCipher::EncryptFileStream(const std::string&, const std::string&) {
  throw std::logic_error("not built yet");
}

void CRijndaelCipher::DecryptFileStream(const std::string&, const std::string&) {
  throw std::logic_error("not built yet");
}

}  // namespace vantry
