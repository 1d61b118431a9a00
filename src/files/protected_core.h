// The one core of the protected file: one encrypt and one decrypt over a byte reader and a byte
// writer. Every operation that writes or reads the format runs through these two: the six
// protected-file operations of CRijndaelCipher (over memory, a locked file, the atomic writer),
// the entry points and the C interface (through those), EncryptStream/DecryptStream and the
// vantry tool (over files and the standard streams; its rekey pushes plain text into the
// encryptor, its verify runs the key check alone).
//
// A protected file is a 32-byte key check digest, then the cipher text of the padded data. The
// data goes through the cipher in pieces of 170 chunks of 384 bytes: 384 is a multiple of every
// block size (16, 24, 32), so only the last, short piece is ever padded and the cipher text does
// not depend on how the data was cut.
#ifndef VANTRY_FILES_PROTECTED_CORE_H_
#define VANTRY_FILES_PROTECTED_CORE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "vantry/byte_io.h"
#include "vantry/rijndael_cipher.h"

namespace vantry {

inline constexpr std::size_t kProtectedHeaderSize = 32;

struct PieceBuffers;

// The encryptor, push side: constructed, it writes the key check digest of cipher to output and
// resets the chain; what it is given is encrypted in whole pieces as they fill, and Finish pads
// and encrypts the short rest. Its buffers, which hold plain text, are wiped when it goes.
class ProtectedEncryptor final : public ByteWriter {
 public:
  ProtectedEncryptor(CRijndaelCipher& cipher, ByteWriter& output);
  ~ProtectedEncryptor() override;

  void Write(const void* data, std::size_t n) override;
  // Finish, then commits output.
  void Commit() override;
  // Reads input to its end straight into the piece buffer.
  void ReadAll(ByteReader& input);
  // Pads the rest by the cipher's padding mode and writes its cipher text; output is not
  // committed. A rest of 0 bytes adds nothing, so the cipher text does not depend on whether
  // the data ended on a piece.
  void Finish();

 private:
  void EncryptHeld();

  CRijndaelCipher& m_cipher;
  ByteWriter& m_output;
  std::unique_ptr<PieceBuffers> m_buffers;
  std::size_t m_held = 0;
};

// Writes the key check digest of cipher, then, from a reset chain, the cipher text of all that
// input holds, the last piece padded. Does not commit output. Throws the cipher's errors and
// the FileErrors of input and output.
void EncryptProtected(CRijndaelCipher& cipher, ByteReader& input, ByteWriter& output);

// The key check: reads the 32-byte header of input and compares it with the key check digest
// of cipher, every byte whatever the first difference. Reads nothing past the header.
enum class KeyCheck { kMatches, kDiffers, kTooShort };
KeyCheck CheckProtectedKey(CRijndaelCipher& cipher, ByteReader& input);

// The checks, in this order, each before output is first written: a header shorter than 32
// bytes or unlike the key check digest of cipher ("cannot be Correctly Decrypted!" naming
// inputName); for an input whose size is known (knownSize > 0), cipher text that is not whole
// blocks ("Illegal Block Size!"). Then the rest is decrypted to output, padding included; an
// input of unknown size whose cipher text is not whole blocks throws "Illegal Block Size!"
// before its last piece is written, and one of known size that did not have that size throws
// FileError(kRead, EIO) naming inputName once read. Does not commit output.
void DecryptProtected(CRijndaelCipher& cipher, ByteReader& input, std::uint64_t knownSize,
                      const std::string& inputName, ByteWriter& output);

}  // namespace vantry

#endif  // VANTRY_FILES_PROTECTED_CORE_H_
