// EncryptFileStream and DecryptFileStream: file to file with fixed memory, whatever the sizes.
//
// These two report every failure of their own as the cipher layer's runtime errors, which is
// what their callers match: a file error of the output becomes "Cannot open File" when the
// output cannot be created and "Cannot write File" when writing or putting it in place fails.
// The input is read through the one descriptor that holds it exclusively, to its end (a read
// error is a FileError(kRead) naming it); the output replaces its target only after the last
// chunk, so a refused header, a damaged or failing input or a full disk leaves an existing
// output as it was. The plain-text output of DecryptFileStream is created for its owner alone.
#include <cstddef>
#include <optional>
#include <string>

#include "cipher/messages.h"
#include "files/buffered_file_output.h"
#include "files/locked_input.h"
#include "files/protected_layout.h"
#include "platform/file.h"
#include "vantry/file_error.h"
#include "vantry/rijndael_cipher.h"

namespace vantry {
namespace {

// Refuses two names for one file as well as two equal names: the output would otherwise empty
// (or, being written aside and renamed, replace) the very file that is still being read.
void RequireDistinctFiles(const std::string& inputName, const std::string& outputName) {
  if (inputName == outputName || platform::SameExistingFile(inputName, outputName)) {
    ThrowCipherFileError(CipherMessage::kSameFile, inputName);
  }
}

// The input is held exclusively and read through that one descriptor to its end; a file that
// cannot be opened or is held by someone else is named in the cipher layer's message.
void OpenInput(std::optional<LockedInput>& input, const std::string& inputName) {
  try {
    input.emplace(inputName);
  } catch (const FileError&) {
    ThrowCipherFileError(CipherMessage::kCannotOpenFile, inputName);
  }
}

class StreamOutput {
 public:
  StreamOutput(const std::string& outputName, platform::OutputContents contents)
      : m_name(outputName) {
    try {
      m_output.emplace(outputName, contents);
    } catch (const FileError&) {
      ThrowCipherFileError(CipherMessage::kCannotOpenFile, m_name);
    }
  }

  void Append(const unsigned char* data, std::size_t n) {
    try {
      m_output->Append(data, n);
    } catch (const FileError&) {
      ThrowCipherFileError(CipherMessage::kCannotWriteFile, m_name);
    }
  }

  void Commit() {
    try {
      m_output->Commit();
    } catch (const FileError&) {
      ThrowCipherFileError(CipherMessage::kCannotWriteFile, m_name);
    }
  }

 private:
  std::string m_name;
  std::optional<BufferedFileOutput> m_output;
};

}  // namespace

void CRijndaelCipher::EncryptFileStream(const std::string& inputName,
                                        const std::string& outputName) {
  if (!m_bInitialized) {
    ThrowCipherError(CipherMessage::kNotInitialized);
  }
  RequireDistinctFiles(inputName, outputName);
  std::optional<LockedInput> input;
  OpenInput(input, inputName);
  StreamOutput output(outputName, platform::OutputContents::kProtected);

  ChunkBuffers buffers;
  GetKeyDigest(buffers.digest);
  output.Append(buffers.digest, sizeof(buffers.digest));
  ResetChainBlock();
  EncryptChunks(*this, *input, buffers, [&output](const unsigned char* cipherText, std::int32_t n) {
    output.Append(cipherText, static_cast<std::size_t>(n));
  });
  input->Close();
  output.Commit();
}

void CRijndaelCipher::DecryptFileStream(const std::string& inputName,
                                        const std::string& outputName) {
  if (!m_bInitialized) {
    ThrowCipherError(CipherMessage::kNotInitialized);
  }
  RequireDistinctFiles(inputName, outputName);
  std::optional<LockedInput> input;
  OpenInput(input, inputName);
  StreamOutput output(outputName, platform::OutputContents::kPlainText);

  ChunkBuffers buffers;
  VerifyProtectedHeader(*this, *input, buffers, inputName);
  ResetChainBlock();
  DecryptChunks(*this, *input, buffers, [&output](const unsigned char* plain, std::int32_t n) {
    output.Append(plain, static_cast<std::size_t>(n));
  });
  input->Close();
  output.Commit();
}

}  // namespace vantry
