#include "cipher/messages.h"

#include "vantry/cipher_error.h"

namespace vantry {
namespace {

constexpr const char* kMessageTable[] = {
    "Sealkit ERROR: Encryption/Decryption Object not Initialized!",
    "Sealkit ERROR: Illegal Operation Mode!",
    "Sealkit ERROR: Illegal Padding Mode!",
    "Sealkit ERROR: No Key DataSpecified!",
    "Sealkit ERROR: Key Data Length should be > 0!",
    "Illegal Block Size!",
    "Sealkit ERROR: Cannot open File ",
    "Sealkit ERROR: The same File for Input and Output ",
    "Sealkit ERROR: File ",
    " cannot be Correctly Decrypted!",
};
constexpr const char* kIllegalKeyLengthText = "Illegal Key Length!";
constexpr const char* kCannotWriteFileText = "Sealkit ERROR: Cannot write File ";
constexpr const char* kIllegalDataLengthText = "Sealkit ERROR: Illegal Data Length!";

using Kind = CipherError::Kind;

Kind KindOf(CipherMessage message) noexcept {
  switch (message) {
    case CipherMessage::kNotInitialized:
      return Kind::kNotInitialized;
    case CipherMessage::kIllegalMode:
      return Kind::kIllegalMode;
    case CipherMessage::kIllegalPadding:
      return Kind::kIllegalPadding;
    case CipherMessage::kNoKeyData:
      return Kind::kNoKeyData;
    case CipherMessage::kKeyDataLength:
      return Kind::kKeyDataLength;
    case CipherMessage::kIllegalBlockSize:
      return Kind::kIllegalBlockSize;
    case CipherMessage::kCannotOpenFile:
      return Kind::kCannotOpenFile;
    case CipherMessage::kSameFile:
      return Kind::kSameFile;
    case CipherMessage::kIllegalKeyLength:
      return Kind::kIllegalKeyLength;
    case CipherMessage::kCannotWriteFile:
      return Kind::kCannotWriteFile;
    case CipherMessage::kIllegalDataLength:
      return Kind::kIllegalDataLength;
    case CipherMessage::kFilePrefix:
    case CipherMessage::kCannotDecrypt:
      break;
  }
  return Kind::kWrongKey;
}

}  // namespace

CipherError::CipherError(Kind kind, const std::string& message)
    : std::runtime_error(message), m_kind(kind) {}

CipherError::~CipherError() = default;

const char* CipherMessageText(CipherMessage message) noexcept {
  if (message == CipherMessage::kIllegalKeyLength) {
    return kIllegalKeyLengthText;
  }
  if (message == CipherMessage::kCannotWriteFile) {
    return kCannotWriteFileText;
  }
  if (message == CipherMessage::kIllegalDataLength) {
    return kIllegalDataLengthText;
  }
  return kMessageTable[static_cast<int>(message)];
}

void ThrowCipherError(CipherMessage message) {
  throw CipherError(KindOf(message), CipherMessageText(message));
}

void ThrowCipherFileError(CipherMessage message, const std::string& name) {
  throw CipherError(KindOf(message), std::string(CipherMessageText(message)) + name + "!");
}

void ThrowCannotDecrypt(const std::string& name) {
  throw CipherError(Kind::kWrongKey, std::string(CipherMessageText(CipherMessage::kFilePrefix)) +
                                         name + CipherMessageText(CipherMessage::kCannotDecrypt));
}

}  // namespace vantry
