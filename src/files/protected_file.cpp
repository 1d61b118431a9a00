// EncryptToFile and DecryptFromFile: a caller's buffer to a protected file and back.
#include <stdexcept>
#include <string>

#include "files/whole_file.h"
#include "vantry/rijndael_cipher.h"

namespace vantry {

void CRijndaelCipher::EncryptToFile(const unsigned char* pData, std::int32_t iLength,
                                    std::string fileName) {
  EncryptToProtectedFile(*this, pData, iLength, fileName, platform::OutputContents::kProtected);
}

unsigned char* CRijndaelCipher::DecryptFromFile(std::string fileName, std::int32_t* pOutLength) {
  if (pOutLength == nullptr) {
    throw std::invalid_argument("DecryptFromFile: no place for the length of " + fileName);
  }
  // The working block is the result: handing it out instead of a copy halves the peak memory.
  SecretBlock block = DecryptProtectedFile(*this, fileName);
  *pOutLength = block.size();
  return block.Release();
}

}  // namespace vantry
