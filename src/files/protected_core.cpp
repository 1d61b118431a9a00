#include "files/protected_core.h"

#include <cstring>
#include <limits>
#include <string>
#include <system_error>
#include <utility>

#include "cipher/messages.h"
#include "platform/secure_wipe.h"
#include "vantry/file_error.h"

namespace vantry {
namespace {

constexpr std::size_t kChunkSize = 384;
constexpr std::size_t kPieceSize = 170 * kChunkSize;
// PadData extends the last piece by up to one block less one byte.
constexpr std::size_t kPadRoom = 32;
constexpr std::uint64_t kMaxBlock =
    static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());
// First growth of a block whose source gave no size (a pipe, a /proc file).
constexpr std::uint64_t kFirstGrowth = std::uint64_t{64} * 1024;

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

// Compares two digests in time independent of where they differ, so a forged header cannot be
// found byte by byte from how long a refusal takes.
bool DigestsEqual(const unsigned char* a, const unsigned char* b) noexcept {
  unsigned int difference = 0;
  for (std::size_t i = 0; i < kProtectedHeaderSize; ++i) {
    difference |= static_cast<unsigned int>(a[i] ^ b[i]);
  }
  return difference == 0;
}

// The block size of a keyed cipher: the length PadData makes of a single byte.
std::size_t BlockSizeOf(CRijndaelCipher& cipher) {
  unsigned char probe[kPadRoom + 1] = {};
  return static_cast<std::size_t>(cipher.PadData(probe, 1));
}

}  // namespace

void EncryptProtected(CRijndaelCipher& cipher, ByteReader& input, ByteWriter& output) {
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

void DecryptProtected(CRijndaelCipher& cipher, ByteReader& input, std::uint64_t knownSize,
                      const std::string& inputName, ByteWriter& output) {
  auto buffers = std::make_unique<PieceBuffers>();
  cipher.GetKeyDigest(buffers->digest);
  // A file too short for the header cannot be a protected file, whatever its bytes: comparing
  // a zero-filled rest would accept a truncated file whose digest happens to end in zeros.
  const std::size_t headerBytes = input.ReadFull(buffers->header, sizeof(buffers->header));
  if (headerBytes < sizeof(buffers->header) || !DigestsEqual(buffers->header, buffers->digest)) {
    ThrowCannotDecrypt(inputName);
  }
  // What a known size tells is checked before the output is touched: an output rewritten in
  // place (a folder that refuses temporaries) is then never cut for an input that was bad
  // from the start.
  if (knownSize > 0 && (knownSize - kProtectedHeaderSize) % BlockSizeOf(cipher) != 0) {
    ThrowCipherError(CipherMessage::kIllegalBlockSize);
  }
  cipher.ResetChainBlock();
  std::uint64_t total = kProtectedHeaderSize;
  for (;;) {
    const std::size_t got = input.ReadFull(buffers->in, kPieceSize);
    total += got;
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
  // A file that gave its size must still have it when read to its end.
  if (knownSize > 0 && total != knownSize) {
    ThrowChangedWhileRead(inputName);
  }
}

std::size_t MemoryReader::ReadSome(void* buffer, std::size_t n) {
  const std::size_t part = n < m_size - m_at ? n : m_size - m_at;
  if (part > 0) {
    std::memcpy(buffer, m_data + m_at, part);
  }
  m_at += part;
  return part;
}

BlockWriter::BlockWriter(std::int32_t expectedSize, std::string sourceName)
    : m_block(expectedSize), m_sourceName(std::move(sourceName)) {}

void BlockWriter::Write(const void* data, std::size_t n) {
  const std::uint64_t needed = static_cast<std::uint64_t>(m_used) + n;
  if (needed > kMaxBlock) {
    throw FileError(FileError::Cause::kSize, m_sourceName,
                    std::make_error_code(std::errc::file_too_large));
  }
  if (needed > static_cast<std::uint64_t>(m_block.size())) {
    std::uint64_t capacity = static_cast<std::uint64_t>(m_block.size()) * 2;
    capacity = capacity < kFirstGrowth ? kFirstGrowth : capacity;
    capacity = capacity < needed ? needed : capacity;
    capacity = capacity > kMaxBlock ? kMaxBlock : capacity;
    SecretBlock larger(static_cast<std::int32_t>(capacity));
    std::memcpy(larger.data(), m_block.data(), static_cast<std::size_t>(m_used));
    m_block = std::move(larger);
  }
  std::memcpy(m_block.data() + m_used, data, n);
  m_used = static_cast<std::int32_t>(needed);
}

void BlockWriter::ReadAll(ByteReader& input) {
  for (;;) {
    if (m_used < m_block.size()) {
      const std::size_t got = input.ReadSome(m_block.data() + m_used,
                                             static_cast<std::size_t>(m_block.size() - m_used));
      if (got == 0) {
        return;
      }
      m_used += static_cast<std::int32_t>(got);
      continue;
    }
    // The block is full: only a small probe shows whether the source goes on past its size.
    unsigned char probe[4096];
    const std::size_t got = input.ReadSome(probe, sizeof(probe));
    if (got == 0) {
      return;
    }
    try {
      Write(probe, got);
    } catch (...) {
      platform::SecureWipe(probe, sizeof(probe));
      throw;
    }
    platform::SecureWipe(probe, sizeof(probe));
  }
}

SecretBlock BlockWriter::Take() {
  m_block.Shrink(m_used);
  m_used = 0;
  return std::move(m_block);
}

}  // namespace vantry
