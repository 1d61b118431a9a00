// EncryptFileStream and DecryptFileStream: file to file with fixed memory, whatever the sizes.
//
// These two report every failure of their own as the cipher layer's runtime errors, which is
// what their callers match: a file error of the output becomes "Cannot open File" when the
// output cannot be created and "Cannot write File" when writing or putting it in place fails.
// The output replaces its target only after the last chunk, so a refused header, a damaged
// input or a full disk leaves an existing output as it was.
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <system_error>

#include "cipher/messages.h"
#include "files/buffered_file_output.h"
#include "files/protected_layout.h"
#include "io/double_buffering.h"
#include "platform/file.h"
#include "platform/secure_wipe.h"
#include "vantry/file_error.h"
#include "vantry/rijndael_cipher.h"

namespace vantry {
namespace {

// The stream's own read-ahead buffer, supplied here so that the plain text it holds is wiped
// with the rest of the call's storage.
struct InputStreamBuffer {
  char bytes[4096] = {};
  InputStreamBuffer() = default;
  ~InputStreamBuffer() { platform::SecureWipe(bytes, sizeof(bytes)); }
  InputStreamBuffer(const InputStreamBuffer&) = delete;
  InputStreamBuffer& operator=(const InputStreamBuffer&) = delete;
};

// Refuses two names for one file as well as two equal names: the output would otherwise empty
// (or, being written aside and renamed, replace) the very file that is still being read.
void RequireDistinctFiles(const std::string& inputName, const std::string& outputName) {
  if (inputName == outputName || platform::SameExistingFile(inputName, outputName)) {
    ThrowCipherFileError(CipherMessage::kSameFile, inputName);
  }
}

void OpenInput(std::ifstream& input, InputStreamBuffer& buffer, const std::string& inputName) {
  // Must precede open: a file buffer takes a buffer of the caller's only while it is closed.
  input.rdbuf()->pubsetbuf(buffer.bytes, sizeof(buffer.bytes));
  input.open(inputName, std::ios::in | std::ios::binary);
  // A folder opens on some systems and then reads as an empty file; it is no input.
  std::error_code ec;
  if (!input.is_open() || std::filesystem::is_directory(inputName, ec)) {
    ThrowCipherFileError(CipherMessage::kCannotOpenFile, inputName);
  }
}

// A read error ends the double buffer's data early; without this the output would be a
// truncated file reported as complete.
void RequireReadToEnd(const std::ifstream& input, const std::string& inputName) {
  if (input.bad()) {
    throw FileError(FileError::Cause::kRead, inputName, std::make_error_code(std::errc::io_error));
  }
}

class StreamOutput {
 public:
  explicit StreamOutput(const std::string& outputName) : m_name(outputName) {
    try {
      m_output.emplace(outputName);
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
  InputStreamBuffer inputBuffer;
  std::ifstream input;
  OpenInput(input, inputBuffer, inputName);
  StreamOutput output(outputName);

  ChunkBuffers buffers;
  GetKeyDigest(buffers.digest);
  output.Append(buffers.digest, sizeof(buffers.digest));
  ResetChainBlock();
  CDoubleBuffering chunks(&input, buffers.working, kWorkingBufferSize, kChunkSize);
  EncryptChunks(*this, chunks, buffers, [&output](const unsigned char* cipherText, std::int32_t n) {
    output.Append(cipherText, static_cast<std::size_t>(n));
  });
  RequireReadToEnd(input, inputName);
  input.close();
  output.Commit();
}

void CRijndaelCipher::DecryptFileStream(const std::string& inputName,
                                        const std::string& outputName) {
  if (!m_bInitialized) {
    ThrowCipherError(CipherMessage::kNotInitialized);
  }
  RequireDistinctFiles(inputName, outputName);
  InputStreamBuffer inputBuffer;
  std::ifstream input;
  OpenInput(input, inputBuffer, inputName);
  StreamOutput output(outputName);

  ChunkBuffers buffers;
  VerifyProtectedHeader(*this, input, buffers, inputName);
  ResetChainBlock();
  CDoubleBuffering chunks(&input, buffers.working, kWorkingBufferSize, kChunkSize);
  DecryptChunks(*this, chunks, buffers, [&output](const unsigned char* plain, std::int32_t n) {
    output.Append(plain, static_cast<std::size_t>(n));
  });
  RequireReadToEnd(input, inputName);
  input.close();
  output.Commit();
}

}  // namespace vantry
