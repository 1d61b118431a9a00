#include "files/whole_file.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <system_error>
#include <utility>

#include "cipher/messages.h"
#include "files/locked_input.h"
#include "files/protected_layout.h"
#include "platform/secure_wipe.h"
#include "vantry/file_error.h"

namespace vantry {
namespace {

constexpr std::uint64_t kMaxInMemory =
    static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());
// First growth of a block whose file gave no size (a pipe, a /proc file).
constexpr std::uint64_t kFirstGrowth = std::uint64_t{64} * 1024;

[[noreturn]] void ThrowTooLarge(const std::string& fileName) {
  throw FileError(FileError::Cause::kSize, fileName,
                  std::make_error_code(std::errc::file_too_large));
}

// The size the file system gives, refused up front when it cannot be held; only a starting
// point for the block, since the file is read to its end whatever it says.
std::int32_t SizeForMemory(LockedInput& input, const std::string& fileName) {
  const std::uint64_t size = input.Size();
  if (size > kMaxInMemory) {
    ThrowTooLarge(fileName);
  }
  return static_cast<std::int32_t>(size);
}

// The file no longer has the size it had when it was probed. No system call failed, so there is
// no system code; the category says what happened instead of a bare "Input/output error".
class ChangedWhileReadCategory : public std::error_category {
 public:
  const char* name() const noexcept override { return "vantry.read"; }
  std::string message(int) const override {
    return "the file changed size while it was read (cut short or grown by another program)";
  }
};

[[noreturn]] void ThrowChangedWhileRead(const std::string& fileName) {
  static const ChangedWhileReadCategory category;
  throw FileError(FileError::Cause::kRead, fileName, std::error_code(1, category));
}

// Reads input to its end into block from offset used on, growing the block when the file goes
// on past it, and leaves the block exactly as long as what it holds. When the size was right,
// as it is for a regular file, the block is never reallocated: only a small probe shows the end.
void ReadToEnd(LockedInput& input, SecretBlock* block, std::int32_t used,
               const std::string& fileName) {
  for (;;) {
    if (used < block->size()) {
      used += static_cast<std::int32_t>(
          input.Read(block->data() + used, static_cast<std::size_t>(block->size() - used)));
      if (used < block->size()) {
        break;  // Read comes up short only at the end
      }
      continue;
    }
    unsigned char probe[4096];
    const std::size_t got = input.Read(probe, sizeof(probe));
    if (got == 0) {
      break;
    }
    const std::uint64_t needed = static_cast<std::uint64_t>(used) + got;
    if (needed > kMaxInMemory) {
      platform::SecureWipe(probe, sizeof(probe));
      ThrowTooLarge(fileName);
    }
    std::uint64_t capacity = static_cast<std::uint64_t>(block->size()) * 2;
    capacity = capacity < kFirstGrowth ? kFirstGrowth : capacity;
    capacity = capacity < needed ? needed : capacity;
    capacity = capacity > kMaxInMemory ? kMaxInMemory : capacity;
    SecretBlock larger(static_cast<std::int32_t>(capacity));
    std::memcpy(larger.data(), block->data(), static_cast<std::size_t>(used));
    std::memcpy(larger.data() + used, probe, got);
    platform::SecureWipe(probe, sizeof(probe));
    used += static_cast<std::int32_t>(got);
    *block = std::move(larger);
  }
  block->Shrink(used);
}

SecretBlock DecryptLocked(CRijndaelCipher& cipher, LockedInput& input, const std::string& fileName,
                          std::int32_t size) {
  ChunkBuffers buffers;
  VerifyProtectedHeader(cipher, input, buffers, fileName);
  // The block is the result: the cipher text is read in behind the header's place and
  // decrypted in place, each chunk written 32 bytes before where it was read, so a write
  // never reaches bytes not yet decrypted, and the last 32 bytes are zeroed at the end.
  SecretBlock block(size > kProtectedHeaderSize ? size : kProtectedHeaderSize);
  ReadToEnd(input, &block, kProtectedHeaderSize, fileName);
  // A file that gave its size must still have it; 0 is what pipes and /proc files give.
  if (size != 0 && block.size() != size) {
    ThrowChangedWhileRead(fileName);
  }
  input.Close();

  cipher.ResetChainBlock();
  const std::int32_t total = block.size();
  for (std::int32_t at = kProtectedHeaderSize; at < total;) {
    const std::int32_t n = total - at < kChunkSize ? total - at : kChunkSize;
    std::memcpy(buffers.chunkIn, block.data() + at, static_cast<std::size_t>(n));
    // "Illegal Block Size!" for a last chunk that is not whole blocks.
    cipher.Decrypt(buffers.chunkIn, buffers.chunkOut, static_cast<std::size_t>(n));
    std::memcpy(block.data() + at - kProtectedHeaderSize, buffers.chunkOut,
                static_cast<std::size_t>(n));
    at += n;
  }
  std::memset(block.data() + total - kProtectedHeaderSize, 0, kProtectedHeaderSize);
  return block;
}

}  // namespace

SecretBlock ReadPlainFile(const std::string& fileName) {
  LockedInput input(fileName);
  SecretBlock block(SizeForMemory(input, fileName));
  ReadToEnd(input, &block, 0, fileName);
  input.Close();
  return block;
}

SecretBlock DecryptProtectedFile(CRijndaelCipher& cipher, const std::string& fileName) {
  LockedInput input(fileName);
  return DecryptLocked(cipher, input, fileName, SizeForMemory(input, fileName));
}

SecretBlock DecryptProtectedFileOfSize(CRijndaelCipher& cipher, const std::string& fileName,
                                       std::int32_t size) {
  LockedInput input(fileName);
  return DecryptLocked(cipher, input, fileName, size);
}

}  // namespace vantry
