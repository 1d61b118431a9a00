// EncryptFile and DecryptFile: whole files through memory. Each reads its input to the end and
// closes it before the output is opened, so input and output may name the same file; the output
// replaces the target only once it is complete.
#include <cstddef>

#include "files/buffered_file_output.h"
#include "files/protected_layout.h"
#include "files/whole_file.h"
#include "io/data_stream.h"
#include "vantry/rijndael_cipher.h"

namespace vantry {

void CRijndaelCipher::EncryptFile(std::string inputName, std::string outputName) {
  SecretBlock plain = ReadPlainFile(inputName);
  CDataStream source;
  source.Attach(static_cast<const unsigned char*>(plain.data()), plain.size());
  BufferedFileOutput output(outputName);
  WriteProtectedFromMemory(*this, source, output);
  output.Commit();
}

void CRijndaelCipher::DecryptFile(std::string inputName, std::string outputName) {
  // Everything is decrypted before the output is opened: a wrong key or a damaged input
  // leaves no output behind.
  SecretBlock plain = DecryptProtectedFile(*this, inputName);
  BufferedFileOutput output(outputName, platform::OutputContents::kPlainText);
  output.Append(plain.data(), static_cast<std::size_t>(plain.size()));
  output.Commit();
}

}  // namespace vantry
