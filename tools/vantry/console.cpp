#include "console.h"

#include <stdexcept>

#include "secret.h"

namespace vantry::tool {
namespace {

class UnlockedReader final : public ByteReader {
 public:
  UnlockedReader(const std::string& name, platform::InputRole role) : m_input(name, role) {}
  std::size_t ReadSome(void* buffer, std::size_t n) override { return m_input.ReadSome(buffer, n); }

 private:
  platform::UnlockedInput m_input;
};

}  // namespace

std::unique_ptr<ByteReader> OpenUnlockedInput(const std::string& name, InputRole role) {
  return std::make_unique<UnlockedReader>(name, role);
}

std::string ReadHiddenLine(const std::string& prompt, std::size_t maxLength) {
  std::string line;
  line.reserve(maxLength);  // never reallocated: no unwiped copies of a partial key
  const platform::HiddenLineResult result = platform::ReadHiddenLine(prompt, maxLength, &line);
  switch (result) {
    case platform::HiddenLineResult::kRead:
      return line;
    case platform::HiddenLineResult::kNoTerminal:
      throw NoTerminal();
    case platform::HiddenLineResult::kTooLong:
      WipeString(line);
      throw std::runtime_error("the key typed is longer than " + std::to_string(maxLength) +
                               " characters");
    case platform::HiddenLineResult::kStopped:
      break;
  }
  WipeString(line);
  ThrowInterrupted();
}

}  // namespace vantry::tool
