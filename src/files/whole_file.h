// Whole files held in memory: the memory-backed operations (DecryptFromFile, EncryptFile,
// DecryptFile) keep one file in a block whose size is a signed 32-bit count, the length type
// of their callers. A file of 2 GiB or more is refused up front, before anything is allocated,
// instead of being cut short by a truncated size.
#ifndef VANTRY_FILES_WHOLE_FILE_H_
#define VANTRY_FILES_WHOLE_FILE_H_

#include <cstdint>
#include <string>

#include "files/secret_block.h"
#include "vantry/rijndael_cipher.h"

namespace vantry {

// Reads the plain file fileName, opened with no sharing, into a new block of its size.
// Throws FileError: kOpen, kSize (also for 2 GiB or more), kRead, kClose.
SecretBlock ReadPlainFile(const std::string& fileName);

// Decrypts the protected file fileName into a zero-filled block of the file's size S: the
// S - 32 decrypted bytes, padding included, then 32 zero bytes. Throws, in this order of
// discovery: FileError (kOpen, kSize, kClose) from the size probe; the "cannot be Correctly
// Decrypted!" error for a file shorter than the header or with another key's digest;
// "Illegal Block Size!" for cipher text that is not whole blocks; FileError(kRead) when the
// file changed size after the probe.
SecretBlock DecryptProtectedFile(CRijndaelCipher& cipher, const std::string& fileName);

// The part of DecryptProtectedFile after the size probe, for a file whose size was found to be
// size (>= 32). When the file no longer has that size it throws FileError(kRead) and never
// writes past the block. Tests call it with a size that is off to stand for a file that
// changed between the probe and the read.
SecretBlock DecryptProtectedFileOfSize(CRijndaelCipher& cipher, const std::string& fileName,
                                       std::int32_t size);

}  // namespace vantry

#endif  // VANTRY_FILES_WHOLE_FILE_H_
