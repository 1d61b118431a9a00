// EncryptFileStream and DecryptFileStream: file to file with fixed memory, whatever the sizes.
//
// These two report every failure of their own as the cipher layer's runtime errors, which is
// what their callers match: a file error of the output becomes "Cannot open File" when the
// output cannot be created and "Cannot write File" when writing or putting it in place fails.
// The input is read through the one descriptor that holds it exclusively, to its end (a read
// error is a FileError(kRead) naming it); the output replaces its target only after the last
// chunk, so a refused header, a damaged or failing input or a full disk leaves an existing
// output as it was. The plain-text output of DecryptFileStream is created for its owner alone.
#include <cstdint>
#include <memory>
#include <string>

#include "cipher/messages.h"
#include "files/byte_streams.h"
#include "files/protected_core.h"
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
// cannot be opened or sized, or is held by someone else, is named in the cipher layer's message.
struct StreamInput {
  explicit StreamInput(const std::string& inputName) try : reader(inputName), size(reader.Size()) {
  } catch (const FileError&) {
    ThrowCipherFileError(CipherMessage::kCannotOpenFile, inputName);
  }
  LockedFileReader reader;
  std::uint64_t size;
};

// The library's atomic writer, with its file errors told in the cipher layer's words.
class StreamOutput final : public ByteWriter {
 public:
  StreamOutput(const std::string& outputName, platform::OutputContents contents)
      : m_name(outputName) {
    try {
      m_output = OpenAtomicFileWriter(outputName, contents);
    } catch (const FileError&) {
      ThrowCipherFileError(CipherMessage::kCannotOpenFile, m_name);
    }
  }

  void Write(const void* data, std::size_t n) override {
    try {
      m_output->Write(data, n);
    } catch (const FileError&) {
      ThrowCipherFileError(CipherMessage::kCannotWriteFile, m_name);
    }
  }

  void Commit() override {
    try {
      m_output->Commit();
    } catch (const FileError&) {
      ThrowCipherFileError(CipherMessage::kCannotWriteFile, m_name);
    }
  }

 private:
  std::string m_name;
  std::unique_ptr<ByteWriter> m_output;
};

}  // namespace

// Both run through the library's one protected-file core (protected_core.h), as the vantry tool
// does for its standard streams too.
void CRijndaelCipher::EncryptFileStream(const std::string& inputName,
                                        const std::string& outputName) {
  if (!m_bInitialized) {
    ThrowCipherError(CipherMessage::kNotInitialized);
  }
  RequireDistinctFiles(inputName, outputName);
  StreamInput input(inputName);
  StreamOutput output(outputName, platform::OutputContents::kProtected);
  EncryptProtected(*this, input.reader, output);
  output.Commit();
}

void CRijndaelCipher::DecryptFileStream(const std::string& inputName,
                                        const std::string& outputName) {
  if (!m_bInitialized) {
    ThrowCipherError(CipherMessage::kNotInitialized);
  }
  RequireDistinctFiles(inputName, outputName);
  StreamInput input(inputName);
  StreamOutput output(outputName, platform::OutputContents::kPlainText);
  DecryptProtected(*this, input.reader, input.size, inputName, output);
  output.Commit();
}

}  // namespace vantry
