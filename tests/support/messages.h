// The library's messages as the tests expect them, and catching them.
#ifndef VANTRY_TESTS_SUPPORT_MESSAGES_H_
#define VANTRY_TESTS_SUPPORT_MESSAGES_H_

#include <functional>
#include <string>

namespace vantry::test {

inline constexpr const char* kNotInitializedText =
    "Sealkit ERROR: Encryption/Decryption Object not Initialized!";
inline constexpr const char* kIllegalBlockSizeText = "Illegal Block Size!";
inline constexpr const char* kIndistinctKeyMessage =
    "Sealkit ERROR: the key data holds a byte other than zero after a zero byte; the key check "
    "ends at the first zero byte and could not tell this key from others!";

// "Sealkit ERROR: File <name> cannot be Correctly Decrypted!"
std::string CannotDecrypt(const std::string& name);
// "Sealkit ERROR: Cannot open File <name>!", "... Cannot write File <name>!",
// "... The same File for Input and Output <name>!"
std::string CannotOpen(const std::string& name);
std::string CannotWrite(const std::string& name);
std::string SameFile(const std::string& name);

// Runs call and returns the message of the std::runtime_error it throws; fails the test when it
// throws nothing or something else (a FileError is a std::system_error, itself a
// std::runtime_error, so it counts).
std::string MessageOf(const std::function<void()>& call);

}  // namespace vantry::test

#endif  // VANTRY_TESTS_SUPPORT_MESSAGES_H_
