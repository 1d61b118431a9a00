// How a key text becomes key bytes, for the one keying (keying.cpp) and its tests.
#ifndef VANTRY_API_KEY_TEXT_H_
#define VANTRY_API_KEY_TEXT_H_

#include <cstddef>
#include <string>

#include "vantry/keying.h"

namespace vantry {

// Fills the key buffer of the one keying (vantry/keying.h, KeySource::kText) from a key text the
// way a C string copy bounded to the buffer would: characters up to the first NUL or the end
// of the buffer, zero bytes after them. A text of 32 characters or more fills the buffer
// without a terminator. Files written by earlier hosts depend on exactly this, embedded NULs
// included.
void FillKeyBuffer(const char* text, std::size_t length,
                   unsigned char (&buffer)[kVantryKeyBufferSize]);
inline void FillKeyBuffer(const std::string& text, unsigned char (&buffer)[kVantryKeyBufferSize]) {
  FillKeyBuffer(text.data(), text.size(), buffer);
}

}  // namespace vantry

#endif  // VANTRY_API_KEY_TEXT_H_
