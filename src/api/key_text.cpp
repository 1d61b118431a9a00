#include "api/key_text.h"

#include <cstring>

namespace vantry {

void FillKeyBuffer(const char* text, std::size_t length,
                   unsigned char (&buffer)[kVantryKeyBufferSize]) {
  std::memset(buffer, 0, sizeof buffer);
  for (std::size_t i = 0; i < sizeof buffer && i < length && text[i] != '\0'; ++i) {
    buffer[i] = static_cast<unsigned char>(text[i]);
  }
}

}  // namespace vantry
