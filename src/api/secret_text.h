// Key texts travel through the entry points as string copies that the library owns. They are
// secrets like the key bytes made from them, so every copy is wiped before its memory goes
// back to the allocator, also when an exception passes.
#ifndef VANTRY_API_SECRET_TEXT_H_
#define VANTRY_API_SECRET_TEXT_H_

#include <string>

#include "platform/secure_wipe.h"

namespace vantry {

// Wipes the characters of a string it watches when it goes out of scope.
class SecretTextWiper {
 public:
  explicit SecretTextWiper(std::string& text) : m_text(text) {}
  ~SecretTextWiper() { platform::WipeString(m_text); }
  SecretTextWiper(const SecretTextWiper&) = delete;
  SecretTextWiper& operator=(const SecretTextWiper&) = delete;

 private:
  std::string& m_text;
};

}  // namespace vantry

#endif  // VANTRY_API_SECRET_TEXT_H_
