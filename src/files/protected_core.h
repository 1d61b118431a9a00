// The one core of the protected file: one encrypt and one decrypt over a byte reader and a byte
// writer. Every operation that writes or reads the format runs through these two: the six
// protected-file operations of CRijndaelCipher (over memory, a locked file, the atomic writer),
// the entry points and the C interface (through those), EncryptStream/DecryptStream and the
// vantry tool (over files and the standard streams).
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

#include "files/secret_block.h"
#include "platform/file.h"
#include "vantry/rijndael_cipher.h"
#include "vantry/streams.h"

namespace vantry {

inline constexpr std::size_t kProtectedHeaderSize = 32;

// Writes the key check digest of cipher, then, from a reset chain, the cipher text of all that
// input holds, the last piece padded. Does not commit output. Throws the cipher's errors and
// the FileErrors of input and output.
void EncryptProtected(CRijndaelCipher& cipher, ByteReader& input, ByteWriter& output);

// The checks, in this order, each before output is first written: a header shorter than 32
// bytes or unlike the key check digest of cipher ("cannot be Correctly Decrypted!" naming
// inputName); for an input whose size is known (knownSize > 0), cipher text that is not whole
// blocks ("Illegal Block Size!"). Then the rest is decrypted to output, padding included; an
// input of unknown size whose cipher text is not whole blocks throws "Illegal Block Size!"
// before its last piece is written, and one of known size that did not have that size throws
// FileError(kRead, EIO) naming inputName once read. Does not commit output.
void DecryptProtected(CRijndaelCipher& cipher, ByteReader& input, std::uint64_t knownSize,
                      const std::string& inputName, ByteWriter& output);

// Bytes in memory, read as a file is: the caller keeps them alive.
class MemoryReader final : public ByteReader {
 public:
  MemoryReader(const void* data, std::size_t size)
      : m_data(static_cast<const unsigned char*>(data)), m_size(data == nullptr ? 0 : size) {}
  std::size_t ReadSome(void* buffer, std::size_t n) override;

 private:
  const unsigned char* m_data;
  std::size_t m_size;
  std::size_t m_at = 0;
};

// Collects what is written in a SecretBlock, growing it as needed; a block of 2 GiB or more is
// refused with FileError(kSize, EFBIG) naming sourceName. Commit does nothing.
class BlockWriter final : public ByteWriter {
 public:
  BlockWriter(std::int32_t expectedSize, std::string sourceName);
  void Write(const void* data, std::size_t n) override;
  void Commit() override {}
  // Reads input to its end straight into the block; when expectedSize was right, as it is for
  // a regular file, the block is never reallocated. Throws what input throws, and as Write.
  void ReadAll(ByteReader& input);
  // The block, exactly as long as what was written.
  SecretBlock Take();

 private:
  SecretBlock m_block;
  std::int32_t m_used = 0;
  std::string m_sourceName;
};

// The named file, read through the one descriptor that holds it exclusively
// (platform::ExclusiveReader), from the open to its end: its size only sizes what the caller
// expects (pipes and /proc files say 0).
class LockedFileReader final : public ByteReader {
 public:
  explicit LockedFileReader(const std::string& fileName) : m_reader(fileName) {}
  std::size_t ReadSome(void* buffer, std::size_t n) override {
    return m_reader.ReadSome(buffer, n);
  }
  // The size the file system gives. Throws FileError(kSize).
  std::uint64_t Size() { return m_reader.Size(); }
  // Releases the lock. Throws FileError(kClose).
  void Close() { m_reader.Close(); }

 private:
  platform::ExclusiveReader m_reader;
};

// The library's atomic writer behind a wiped 64 KiB buffer: small writes collect into pieces,
// and nothing reaches the target before Commit. Throws FileError(kCreate) naming the target.
std::unique_ptr<ByteWriter> OpenAtomicFileWriter(const std::string& targetName,
                                                 platform::OutputContents contents);

}  // namespace vantry

#endif  // VANTRY_FILES_PROTECTED_CORE_H_
