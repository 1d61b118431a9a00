// Protected streams: the library's readers and writers, for named files and for the standard
// streams, and the streaming of a protected file through a keyed cipher in fixed memory.
//
// A program that moves protected files through pipes (the vantry tool is one) uses these
// instead of files of its own: nothing is staged in scratch files, every named output goes
// through the same atomic writer as the library's own outputs, and memory stays fixed whatever
// the size of the data.
//
// EncryptStream and DecryptStream give the bytes of EncryptFileStream and DecryptFileStream for
// the same cipher: the 32-byte key check digest, then the cipher text of the data padded to
// whole blocks. Keyed as the entry points key their cipher (AES-128, ECB, zero padding, see
// machine_key.h), EncryptStream writes the file of SaveVantryWithKey2, and DecryptStream
// followed by 32 zero bytes gives what LoadVantryWithKey2 returns.
#ifndef VANTRY_STREAMS_H_
#define VANTRY_STREAMS_H_

#include <cstddef>
#include <memory>
#include <string>

#include "vantry/export.h"
#include "vantry/rijndael_cipher.h"

namespace vantry {

// A source of bytes that is read to its end: its size is never taken from the file system,
// which says 0 for pipes and for files such as those under /proc.
class VANTRY_API ByteReader {
 public:
  ByteReader() = default;
  virtual ~ByteReader();
  ByteReader(const ByteReader&) = delete;
  ByteReader& operator=(const ByteReader&) = delete;

  // Reads up to n bytes; returns how many, 0 only at the end (or when n is 0). Throws
  // FileError(kRead) naming the source.
  virtual std::size_t ReadSome(void* buffer, std::size_t n) = 0;

  // Reads until n bytes have come or the source ends; returns how many came.
  std::size_t ReadFull(void* buffer, std::size_t n);
};

// A destination of bytes. Nothing written counts until Commit: a writer destroyed without a
// successful Commit abandons its output (see the factories for what that leaves).
class VANTRY_API ByteWriter {
 public:
  ByteWriter() = default;
  virtual ~ByteWriter();
  ByteWriter(const ByteWriter&) = delete;
  ByteWriter& operator=(const ByteWriter&) = delete;

  // Takes all n bytes. Throws FileError(kWrite) naming the destination.
  virtual void Write(const void* data, std::size_t n) = 0;
  // Delivers everything written. Throws FileError (kWrite, kClose, kReplace).
  virtual void Commit() = 0;
};

// What a named output will hold. Plain text is created readable by its owner alone; a
// protected file follows the process's umask like any other new file.
enum class OutputKind { kProtected, kPlainText };

// The named file, opened for reading with no sharing (an exclusive lock on POSIX, share mode 0
// on Windows). Throws FileError(kOpen) naming it.
VANTRY_API std::unique_ptr<ByteReader> OpenFileReader(const std::string& fileName);

// Standard input, as bytes. Errors name it "standard input". A read interrupted by a signal
// whose handler was installed without SA_RESTART throws FileError(kRead) with EINTR instead of
// waiting on, so that a program can stop on a signal while its input stalls.
VANTRY_API std::unique_ptr<ByteReader> OpenStandardInputReader();

// The size bytes at data, read as a file is; the caller keeps them alive while the reader is
// used.
VANTRY_API std::unique_ptr<ByteReader> OpenMemoryReader(const void* data, std::size_t size);

// The library's atomic writer: the target is opened exclusively and written through a
// temporary file beside it, which replaces the target only on Commit, after the data is on
// disk. Abandoned, it removes its temporary file and leaves an existing target exactly as it
// was. Throws FileError(kCreate) naming the target.
VANTRY_API std::unique_ptr<ByteWriter> CreateFileWriter(const std::string& targetName,
                                                        OutputKind kind);

// Whether a writer may fall back to rewriting an existing target in place when the target's
// folder refuses a temporary file (POSIX; see README, "Failures and what stays on disk"):
// a failure part way then leaves the target cut, so a program that asks its user first passes
// kRefused, and the writer fails with FileError(kCreate) and the system's code instead.
enum class InPlaceRewrite { kAllowed, kRefused };

// CreateFileWriter with the choice above (the two-argument form allows it).
VANTRY_API std::unique_ptr<ByteWriter> CreateFileWriter(const std::string& targetName,
                                                        OutputKind kind, InPlaceRewrite inPlace);

// Standard output, as bytes. A stream cannot be taken back: what was passed on before a
// failure stays passed on; abandoned, the writer drops (and wipes) only what it still buffers.
// Errors name it "standard output"; a closed pipe is FileError(kWrite) with EPIPE (the caller
// should ignore SIGPIPE) and an interrupted write behaves as an interrupted read above.
VANTRY_API std::unique_ptr<ByteWriter> OpenStandardOutputWriter();

// Writes the key check digest of cipher, then the cipher text of everything input holds,
// the last piece padded by the cipher's padding mode. The chain is reset first. Memory is
// fixed. Does not commit output. Throws the cipher's errors ("Sealkit ERROR:
// Encryption/Decryption Object not Initialized!" for an unkeyed cipher) and the FileErrors of
// input and output.
VANTRY_API void EncryptStream(CRijndaelCipher& cipher, ByteReader& input, ByteWriter& output);

// Reads the 32-byte header of input and compares it with the key check digest of cipher before
// anything is decrypted or written: a short or different header throws "Sealkit ERROR: File " +
// inputName + " cannot be Correctly Decrypted!". Then decrypts the rest to output, padding
// included (nothing is removed). Cipher text that is not whole blocks throws "Illegal Block
// Size!" before its last piece is written. Does not commit output.
VANTRY_API void DecryptStream(CRijndaelCipher& cipher, ByteReader& input,
                              const std::string& inputName, ByteWriter& output);

}  // namespace vantry

#endif  // VANTRY_STREAMS_H_
