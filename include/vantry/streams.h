// Protected streams: a protected file streamed through a keyed cipher in fixed memory, between
// any reader and writer of byte_io.h (included here, so callers of either need only this).
//
// EncryptStream and DecryptStream give the bytes of EncryptFileStream and DecryptFileStream for
// the same cipher: the 32-byte key check digest, then the cipher text of the data padded to
// whole blocks. Keyed as the entry points key their cipher (AES-128, ECB, zero padding, see
// machine_key.h), EncryptStream writes the file of SaveVantryWithKey2, and DecryptStream
// followed by 32 zero bytes gives what LoadVantryWithKey2 returns.
#ifndef VANTRY_STREAMS_H_
#define VANTRY_STREAMS_H_

#include <cstdint>
#include <memory>
#include <string>

#include "vantry/byte_io.h"
#include "vantry/export.h"
#include "vantry/rijndael_cipher.h"

namespace vantry {

// Writes the key check digest of cipher, then the cipher text of everything input holds,
// the last piece padded by the cipher's padding mode. The chain is reset first. Memory is
// fixed. Does not commit output. Throws the cipher's errors ("Sealkit ERROR:
// Encryption/Decryption Object not Initialized!" for an unkeyed cipher) and the FileErrors of
// input and output.
VANTRY_API void EncryptStream(CRijndaelCipher& cipher, ByteReader& input, ByteWriter& output);

// The push side of EncryptStream, for plain text that arrives as writes (the output of another
// stream): writes the key check digest of cipher to output at once and resets the chain; the
// writer returned encrypts what it is given piece by piece in fixed memory, and its Commit pads
// the rest as EncryptStream pads its last piece, writes it and commits output. The same data
// gives the same bytes as EncryptStream. Abandoned, it wipes what it holds and leaves output
// uncommitted. cipher and output must outlive it.
VANTRY_API std::unique_ptr<ByteWriter> EncryptStream(CRijndaelCipher& cipher, ByteWriter& output);

// Reads the 32-byte header of input and compares it with the key check digest of cipher before
// anything is decrypted or written: a short or different header throws "Sealkit ERROR: File " +
// inputName + " cannot be Correctly Decrypted!". Then decrypts the rest to output, padding
// included (nothing is removed). Cipher text that is not whole blocks throws "Illegal Block
// Size!" before its last piece is written. Does not commit output.
VANTRY_API void DecryptStream(CRijndaelCipher& cipher, ByteReader& input,
                              const std::string& inputName, ByteWriter& output);

// DecryptStream for an input whose size is known before it is read (inputSize, that of a named
// regular file; 0 when unknown): cipher text that is not whole blocks is then refused before
// anything is written, as the library's own file operations refuse it, and an input that does
// not keep that size throws FileError(kRead) naming inputName once read.
VANTRY_API void DecryptStream(CRijndaelCipher& cipher, ByteReader& input, std::uint64_t inputSize,
                              const std::string& inputName, ByteWriter& output);

}  // namespace vantry

#endif  // VANTRY_STREAMS_H_
