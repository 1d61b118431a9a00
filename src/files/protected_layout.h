// The protected file: a 32-byte key check digest, then the cipher text of the padded data.
// There is no magic number, version or length field; the digest alone tells whether a file
// belongs to the key and parameters in use.
//
// Every operation that writes or reads the format runs its data through the same fixed
// buffers: a 1024-byte double-buffer working area and two 384-byte chunks. 384 is a multiple of
// every block size (16, 24, 32), so only the last, short chunk of a stream needs padding, and
// the cipher text does not depend on how the data was cut.
#ifndef VANTRY_FILES_PROTECTED_LAYOUT_H_
#define VANTRY_FILES_PROTECTED_LAYOUT_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/secure_wipe.h"
#include "vantry/rijndael_cipher.h"

namespace vantry {

class BufferedFileOutput;
class CDataStream;
class LockedInput;

inline constexpr std::int32_t kProtectedHeaderSize = 32;
inline constexpr std::int32_t kWorkingBufferSize = 1024;
inline constexpr std::int32_t kChunkSize = 384;

// Working storage of one protected-file operation. The chunks hold plain text and the digests
// are derived from the key, so all of it is wiped when the operation ends, also when it ends by
// an exception.
struct ChunkBuffers {
  unsigned char working[kWorkingBufferSize] = {};
  unsigned char chunkIn[kChunkSize] = {};
  unsigned char chunkOut[kChunkSize] = {};
  unsigned char digest[kProtectedHeaderSize] = {};
  unsigned char header[kProtectedHeaderSize] = {};

  ChunkBuffers() = default;
  ~ChunkBuffers() { platform::SecureWipe(this, sizeof(*this)); }
  ChunkBuffers(const ChunkBuffers&) = delete;
  ChunkBuffers& operator=(const ChunkBuffers&) = delete;
};

// Compares two 32-byte digests in time independent of where they differ, so a forged header
// cannot be found byte by byte from how long a refusal takes.
bool DigestsEqual(const unsigned char* a, const unsigned char* b) noexcept;

// Computes the key check digest into buffers.digest, reads the stored header from input and
// compares them. Throws the "cannot be Correctly Decrypted!" error naming fileName when the file
// ends before a whole header or the header differs; nothing has been decrypted then.
void VerifyProtectedHeader(CRijndaelCipher& cipher, LockedInput& input, ChunkBuffers& buffers,
                           const std::string& fileName);

// Writes a whole protected file from a memory source: the key check digest, then, from a reset
// chain, the encrypted chunks. The caller commits the output.
void WriteProtectedFromMemory(CRijndaelCipher& cipher, CDataStream& source,
                              BufferedFileOutput& output);

// Feeds every chunk of source through Encrypt, padding the short last one, and hands each
// encrypted chunk to sink(bytes, count). The chain must have been reset by the caller.
template <class DoubleBuffer, class Sink>
void EncryptChunks(CRijndaelCipher& cipher, DoubleBuffer& source, ChunkBuffers& buffers,
                   Sink&& sink) {
  for (std::int32_t n = source.GetData(buffers.chunkIn, -1); n > 0;
       n = source.GetData(buffers.chunkIn, -1)) {
    if (n < kChunkSize) {
      n = cipher.PadData(buffers.chunkIn, n);
    }
    cipher.Encrypt(buffers.chunkIn, buffers.chunkOut, static_cast<std::size_t>(n));
    sink(buffers.chunkOut, n);
  }
}

}  // namespace vantry

#endif  // VANTRY_FILES_PROTECTED_LAYOUT_H_
