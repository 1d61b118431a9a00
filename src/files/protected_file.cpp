// EncryptToFile and DecryptFromFile: a caller's buffer to a protected file and back.
#include <algorithm>
#include <stdexcept>
#include <string>

#include "files/protected_core.h"
#include "files/whole_file.h"
#include "vantry/rijndael_cipher.h"

namespace vantry {

void EncryptToProtectedFile(CRijndaelCipher& cipher, const unsigned char* data, std::int32_t length,
                            const std::string& fileName, platform::OutputContents contents) {
  if (data == nullptr && length > 0) {
    throw std::invalid_argument("EncryptToFile: no data for a length of " + std::to_string(length) +
                                " bytes");
  }
  // A negative length delivers nothing: the file is the header alone.
  MemoryReader input(data, static_cast<std::size_t>(std::max<std::int32_t>(length, 0)));
  const auto output = OpenAtomicFileWriter(fileName, contents);
  EncryptProtected(cipher, input, *output);
  output->Commit();
}

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
