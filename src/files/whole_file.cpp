#include "files/whole_file.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <system_error>

#include "files/byte_streams.h"
#include "files/protected_core.h"
#include "vantry/file_error.h"

namespace vantry {
namespace {

constexpr std::uint64_t kMaxInMemory =
    static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());

// The size the file system gives, refused up front when it cannot be held; only a starting
// point for the block, since the file is read to its end whatever it says.
std::int32_t SizeForMemory(LockedFileReader& input, const std::string& fileName) {
  const std::uint64_t size = input.Size();
  if (size > kMaxInMemory) {
    throw FileError(FileError::Cause::kSize, fileName,
                    std::make_error_code(std::errc::file_too_large));
  }
  return static_cast<std::int32_t>(size);
}

SecretBlock DecryptLocked(CRijndaelCipher& cipher, LockedFileReader& input,
                          const std::string& fileName, std::int32_t size) {
  // The block is the result: the decrypted bytes, then the header's 32 bytes as zeros, so it
  // has the file's size and is never reallocated when the size was right.
  BlockWriter block(size > static_cast<std::int32_t>(kProtectedHeaderSize)
                        ? size
                        : static_cast<std::int32_t>(kProtectedHeaderSize),
                    fileName);
  DecryptProtected(cipher, input, static_cast<std::uint64_t>(size), fileName, block);
  input.Close();
  const unsigned char zeros[kProtectedHeaderSize] = {};
  block.Write(zeros, sizeof(zeros));
  return block.Take();
}

}  // namespace

SecretBlock ReadPlainFile(const std::string& fileName) {
  LockedFileReader input(fileName);
  BlockWriter block(SizeForMemory(input, fileName), fileName);
  block.ReadAll(input);
  input.Close();
  return block.Take();
}

SecretBlock DecryptProtectedFile(CRijndaelCipher& cipher, const std::string& fileName) {
  LockedFileReader input(fileName);
  return DecryptLocked(cipher, input, fileName, SizeForMemory(input, fileName));
}

SecretBlock DecryptProtectedFileOfSize(CRijndaelCipher& cipher, const std::string& fileName,
                                       std::int32_t size) {
  LockedFileReader input(fileName);
  return DecryptLocked(cipher, input, fileName, size);
}

void EncryptToProtectedFile(CRijndaelCipher& cipher, const unsigned char* data, std::int32_t length,
                            const std::string& fileName, platform::OutputContents contents) {
  if (data == nullptr && length > 0) {
    throw std::invalid_argument("EncryptToFile: no data for a length of " + std::to_string(length) +
                                " bytes");
  }
  // A negative length delivers nothing: the file is the header alone.
  MemoryReader input(data, static_cast<std::size_t>(std::max<std::int32_t>(length, 0)));
  const auto output = OpenAtomicFileWriter(fileName, contents);
  EncryptProtected(cipher, input, *output);
  output->Commit();
}

}  // namespace vantry
