// EncryptStream and DecryptStream: a protected file through the cipher in pieces of fixed size.
//
// A piece is 170 chunks of 384 bytes: a multiple of every block size (16, 24, 32), so only the
// last, short piece is ever padded and the cipher text is the same as the 384-byte chunks of
// the file operations give, while the cipher and the writer are called a few times per 64 KiB
// instead of once per chunk.
#include <cstdint>
#include <memory>

#include "cipher/messages.h"
#include "files/protected_layout.h"
#include "platform/secure_wipe.h"
#include "vantry/streams.h"

namespace vantry {
namespace {

constexpr std::size_t kPieceSize = 170 * static_cast<std::size_t>(kChunkSize);
// PadData extends the last piece by up to one block less one byte.
constexpr std::size_t kPadRoom = 32;

// Plain text passes through both halves, and the digests derive from the key: all of it is
// wiped when the operation ends, however it ends.
struct PieceBuffers {
  unsigned char in[kPieceSize + kPadRoom] = {};
  unsigned char out[kPieceSize + kPadRoom] = {};
  unsigned char digest[kProtectedHeaderSize] = {};
  unsigned char header[kProtectedHeaderSize] = {};

  PieceBuffers() = default;
  ~PieceBuffers() { platform::SecureWipe(this, sizeof(*this)); }
  PieceBuffers(const PieceBuffers&) = delete;
  PieceBuffers& operator=(const PieceBuffers&) = delete;
};

}  // namespace

void EncryptStream(CRijndaelCipher& cipher, ByteReader& input, ByteWriter& output) {
  auto buffers = std::make_unique<PieceBuffers>();
  cipher.GetKeyDigest(buffers->digest);
  output.Write(buffers->digest, sizeof(buffers->digest));
  cipher.ResetChainBlock();
  for (;;) {
    const std::size_t got = input.ReadFull(buffers->in, kPieceSize);
    if (got == 0) {
      break;
    }
    std::int32_t n = static_cast<std::int32_t>(got);
    if (got < kPieceSize) {
      n = cipher.PadData(buffers->in, n);
    }
    cipher.Encrypt(buffers->in, buffers->out, static_cast<std::size_t>(n));
    output.Write(buffers->out, static_cast<std::size_t>(n));
    if (got < kPieceSize) {
      break;
    }
  }
}

void DecryptStream(CRijndaelCipher& cipher, ByteReader& input, const std::string& inputName,
                   ByteWriter& output) {
  auto buffers = std::make_unique<PieceBuffers>();
  cipher.GetKeyDigest(buffers->digest);
  const std::size_t headerBytes = input.ReadFull(buffers->header, sizeof(buffers->header));
  if (headerBytes < sizeof(buffers->header) || !DigestsEqual(buffers->header, buffers->digest)) {
    ThrowCannotDecrypt(inputName);
  }
  cipher.ResetChainBlock();
  for (;;) {
    const std::size_t got = input.ReadFull(buffers->in, kPieceSize);
    if (got == 0) {
      break;
    }
    // Decrypt refuses a piece that is not whole blocks before it writes anything.
    cipher.Decrypt(buffers->in, buffers->out, got);
    output.Write(buffers->out, got);
    if (got < kPieceSize) {
      break;
    }
  }
}

}  // namespace vantry
