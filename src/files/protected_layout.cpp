#include "files/protected_layout.h"

#include "cipher/messages.h"
#include "files/buffered_file_output.h"
#include "files/locked_input.h"
#include "io/data_stream.h"
#include "io/mem_double_buffering.h"

namespace vantry {

bool DigestsEqual(const unsigned char* a, const unsigned char* b) noexcept {
  unsigned int difference = 0;
  for (std::int32_t i = 0; i < kProtectedHeaderSize; ++i) {
    difference |= static_cast<unsigned int>(a[i] ^ b[i]);
  }
  return difference == 0;
}

void VerifyProtectedHeader(CRijndaelCipher& cipher, LockedInput& input, ChunkBuffers& buffers,
                           const std::string& fileName) {
  cipher.GetKeyDigest(buffers.digest);
  const std::size_t got = input.Read(buffers.header, kProtectedHeaderSize);
  // A file too short for the header cannot be a protected file, whatever its bytes: comparing
  // the zero-filled rest would accept a truncated file whose digest happens to end in zeros.
  const bool whole = got == static_cast<std::size_t>(kProtectedHeaderSize);
  if (!DigestsEqual(buffers.header, buffers.digest) || !whole) {
    ThrowCannotDecrypt(fileName);
  }
}

void WriteProtectedFromMemory(CRijndaelCipher& cipher, CDataStream& source,
                              BufferedFileOutput& output) {
  ChunkBuffers buffers;
  cipher.GetKeyDigest(buffers.digest);
  output.Append(buffers.digest, sizeof(buffers.digest));
  cipher.ResetChainBlock();
  CMemDoubleBuffering chunks(&source, buffers.working, kWorkingBufferSize, kChunkSize);
  EncryptChunks(cipher, chunks, buffers,
                [&output](const unsigned char* cipherText, std::int32_t n) {
                  output.Append(cipherText, static_cast<std::size_t>(n));
                });
}

}  // namespace vantry
