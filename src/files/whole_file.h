// Whole files held in memory: the memory-backed operations (DecryptFromFile, EncryptFile,
// DecryptFile) keep one file in a block whose size is a signed 32-bit count, the length type
// of their callers. Each file is read through the one descriptor that holds it exclusively, to
// its end: the size the file system gives only sizes the block at first (a pipe or a /proc file
// gives 0 and is read all the same). A file of 2 GiB or more is refused, up front when its size
// says so, otherwise as soon as the read passes 2^31 - 1 bytes, instead of being cut short.
#ifndef VANTRY_FILES_WHOLE_FILE_H_
#define VANTRY_FILES_WHOLE_FILE_H_

#include <cstdint>
#include <string>

#include "files/secret_block.h"
#include "platform/file.h"
#include "vantry/rijndael_cipher.h"

namespace vantry {

// Writes length bytes at data as the protected file fileName through the atomic writer, as
// EncryptToFile does (which passes kProtected). kPlainText makes a new file owner-only: the
// library's saves under the machine key use it, since every local user can compute that key.
void EncryptToProtectedFile(CRijndaelCipher& cipher, const unsigned char* data, std::int32_t length,
                            const std::string& fileName, platform::OutputContents contents);

// Reads the plain file fileName, opened with no sharing, to its end into a new block of exactly
// what it held. Throws FileError: kOpen, kSize (also for 2 GiB or more), kRead, kClose.
SecretBlock ReadPlainFile(const std::string& fileName);

// Decrypts the protected file fileName through the one core (protected_core.h) into a block of
// the file's size S: the S - 32 decrypted bytes, padding included, then 32 zero bytes. Throws,
// in this order of discovery: FileError (kOpen, kSize) from the open and the size probe; the
// core's refusals (header, then a size that is not the header and whole blocks); FileError
// (kRead, kSize) from the read; FileError(kRead) when a file that gave its size did not have
// it; FileError(kClose).
SecretBlock DecryptProtectedFile(CRijndaelCipher& cipher, const std::string& fileName);

// The part of DecryptProtectedFile after the size probe, for a file whose size was found to be
// size (0: unknown, as for a pipe). When the file read to its end does not have that size it
// throws FileError(kRead). Tests call it with a size that is off to stand for a file that
// changed between the probe and the read (a size that is not whole blocks is refused first).
SecretBlock DecryptProtectedFileOfSize(CRijndaelCipher& cipher, const std::string& fileName,
                                       std::int32_t size);

}  // namespace vantry

#endif  // VANTRY_FILES_WHOLE_FILE_H_
