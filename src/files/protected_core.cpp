#include "files/protected_core.h"

#include <cstring>
#include <limits>
#include <string>
#include <system_error>
#include <utility>

#include "cipher/messages.h"
#include "platform/secure_wipe.h"
#include "vantry/file_error.h"
#include "vantry/streams.h"

namespace vantry {
namespace {

constexpr std::size_t kChunkSize = 384;
constexpr std::size_t kPieceSize = 170 * kChunkSize;
// PadData extends the last piece by up to one block less one byte.
constexpr std::size_t kPadRoom = 32;

}  // namespace

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

namespace {

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

// The block size of a keyed cipher: the length PadData makes of a single byte.
std::size_t BlockSizeOf(CRijndaelCipher& cipher) {
  unsigned char probe[kPadRoom + 1] = {};
  return static_cast<std::size_t>(cipher.PadData(probe, 1));
}

}  // namespace

ProtectedEncryptor::ProtectedEncryptor(CRijndaelCipher& cipher, ByteWriter& output)
    : m_cipher(cipher), m_output(output), m_buffers(std::make_unique<PieceBuffers>()) {
  cipher.GetKeyDigest(m_buffers->digest);
  m_output.Write(m_buffers->digest, sizeof(m_buffers->digest));
  m_cipher.ResetChainBlock();
}

ProtectedEncryptor::~ProtectedEncryptor() = default;

void ProtectedEncryptor::EncryptHeld() {
  m_cipher.Encrypt(m_buffers->in, m_buffers->out, m_held);
  m_output.Write(m_buffers->out, m_held);
  m_held = 0;
}

void ProtectedEncryptor::Write(const void* data, std::size_t n) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (n > 0) {
    const std::size_t part = n < kPieceSize - m_held ? n : kPieceSize - m_held;
    std::memcpy(m_buffers->in + m_held, bytes, part);
    m_held += part;
    bytes += part;
    n -= part;
    if (m_held == kPieceSize) {
      EncryptHeld();
    }
  }
}

void ProtectedEncryptor::ReadAll(ByteReader& input) {
  for (;;) {
    const std::size_t wanted = kPieceSize - m_held;
    const std::size_t got = input.ReadFull(m_buffers->in + m_held, wanted);
    m_held += got;
    if (m_held == kPieceSize) {
      EncryptHeld();
    }
    if (got < wanted) {
      return;
    }
  }
}

void ProtectedEncryptor::Finish() {
  if (m_held > 0) {
    m_held = static_cast<std::size_t>(
        m_cipher.PadData(m_buffers->in, static_cast<std::int32_t>(m_held)));
    EncryptHeld();
  }
}

void ProtectedEncryptor::Commit() {
  Finish();
  m_output.Commit();
}

void EncryptProtected(CRijndaelCipher& cipher, ByteReader& input, ByteWriter& output) {
  ProtectedEncryptor encryptor(cipher, output);
  encryptor.ReadAll(input);
  encryptor.Finish();
}

namespace {

KeyCheck CheckKeyInto(CRijndaelCipher& cipher, ByteReader& input, PieceBuffers& buffers) {
  cipher.GetKeyDigest(buffers.digest);
  // A file too short for the header cannot be a protected file, whatever its bytes: comparing
  // a zero-filled rest would accept a truncated file whose digest happens to end in zeros.
  if (input.ReadFull(buffers.header, sizeof(buffers.header)) < sizeof(buffers.header)) {
    return KeyCheck::kTooShort;
  }
  // In time independent of where they differ, so a forged header cannot be found byte by byte
  // from how long a refusal takes.
  return platform::EqualInConstantTime(buffers.header, buffers.digest, kProtectedHeaderSize)
             ? KeyCheck::kMatches
             : KeyCheck::kDiffers;
}

}  // namespace

KeyCheck CheckProtectedKey(CRijndaelCipher& cipher, ByteReader& input) {
  return CheckKeyInto(cipher, input, *std::make_unique<PieceBuffers>());
}

void DecryptProtected(CRijndaelCipher& cipher, ByteReader& input, std::uint64_t knownSize,
                      const std::string& inputName, ByteWriter& output) {
  auto buffers = std::make_unique<PieceBuffers>();
  if (CheckKeyInto(cipher, input, *buffers) != KeyCheck::kMatches) {
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

void EncryptStream(CRijndaelCipher& cipher, ByteReader& input, ByteWriter& output) {
  EncryptProtected(cipher, input, output);
}

std::unique_ptr<ByteWriter> EncryptStream(CRijndaelCipher& cipher, ByteWriter& output) {
  return std::make_unique<ProtectedEncryptor>(cipher, output);
}

void DecryptStream(CRijndaelCipher& cipher, ByteReader& input, const std::string& inputName,
                   ByteWriter& output) {
  DecryptProtected(cipher, input, 0, inputName, output);
}

void DecryptStream(CRijndaelCipher& cipher, ByteReader& input, std::uint64_t inputSize,
                   const std::string& inputName, ByteWriter& output) {
  DecryptProtected(cipher, input, inputSize, inputName, output);
}

}  // namespace vantry
