// Key texts, key data and plain text held by the tool are wiped before their memory is
// released, so that neither a core file nor a later allocation finds them.
#ifndef VANTRY_TOOL_SECRET_H_
#define VANTRY_TOOL_SECRET_H_

#include <cstddef>
#include <string>
#include <vector>

#include "platform/secure_wipe.h"

namespace vantry::tool {

// The library's wiping (compiled into the tool from its one source, as the memory locking is).
using platform::SecureWipe;
using platform::WipeString;

// Wipes everything the vector's buffer holds, up to its capacity, and empties it.
void WipeBytes(std::vector<unsigned char>& bytes) noexcept;

// A growing block of bytes whose earlier blocks are wiped when it moves to a larger one, and
// whose last block is wiped on destruction: std::vector would leave copies behind on growth.
// Its blocks are locked in memory and left out of core files where the system allows.
class SecretBuffer {
 public:
  SecretBuffer() = default;
  ~SecretBuffer();
  SecretBuffer(const SecretBuffer&) = delete;
  SecretBuffer& operator=(const SecretBuffer&) = delete;

  // Room for at least n more bytes after size(); returns where they go.
  unsigned char* Reserve(std::size_t n);
  // Counts n bytes written at the place Reserve returned.
  void Grow(std::size_t n) { m_size += n; }

  const unsigned char* data() const { return m_data; }
  std::size_t size() const { return m_size; }

 private:
  unsigned char* m_data = nullptr;
  std::size_t m_size = 0;
  std::size_t m_capacity = 0;
};

}  // namespace vantry::tool

#endif  // VANTRY_TOOL_SECRET_H_
