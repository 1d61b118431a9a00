#include "cipher/messages.h"

#include <stdexcept>

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

}  // namespace

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
  throw std::runtime_error(CipherMessageText(message));
}

void ThrowCipherFileError(CipherMessage message, const std::string& name) {
  throw std::runtime_error(std::string(CipherMessageText(message)) + name + "!");
}

void ThrowCannotDecrypt(const std::string& name) {
  throw std::runtime_error(std::string(CipherMessageText(CipherMessage::kFilePrefix)) + name +
                           CipherMessageText(CipherMessage::kCannotDecrypt));
}

}  // namespace vantry
