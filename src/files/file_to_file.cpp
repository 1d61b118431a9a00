// EncryptFile and DecryptFile: whole files through memory. Each reads its input to the end and
// closes it before the output is opened, so input and output may name the same file; the output
// replaces the target only once it is complete.
#include <cstddef>

#include "files/byte_streams.h"
#include "files/protected_core.h"
#include "files/whole_file.h"
#include "vantry/rijndael_cipher.h"

namespace vantry {

void CRijndaelCipher::EncryptFile(std::string inputName, std::string outputName) {
  SecretBlock plain = ReadPlainFile(inputName);
  MemoryReader input(plain.data(), static_cast<std::size_t>(plain.size()));
  const auto output = OpenAtomicFileWriter(outputName, platform::OutputContents::kProtected);
  EncryptProtected(*this, input, *output);
  output->Commit();
}

void CRijndaelCipher::DecryptFile(std::string inputName, std::string outputName) {
  // Everything is decrypted before the output is opened: a wrong key or a damaged input
  // leaves no output behind.
  SecretBlock plain = DecryptProtectedFile(*this, inputName);
  const auto output = OpenAtomicFileWriter(outputName, platform::OutputContents::kPlainText);
  output->Write(plain.data(), static_cast<std::size_t>(plain.size()));
  output->Commit();
}

}  // namespace vantry
