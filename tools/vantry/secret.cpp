#include "secret.h"

#include <cstring>
#include <new>

#include "platform/memory_lock.h"

namespace vantry::tool {

void Wipe(void* p, std::size_t n) noexcept {
  volatile unsigned char* bytes = static_cast<volatile unsigned char*>(p);
  for (std::size_t i = 0; i < n; ++i) {
    bytes[i] = 0;
  }
}

void WipeString(std::string& s) noexcept {
  // Bytes between size and capacity may still hold an earlier, longer content.
  s.resize(s.capacity());
  Wipe(&s[0], s.size());
  s.clear();
}

void WipeBytes(std::vector<unsigned char>& bytes) noexcept {
  bytes.resize(bytes.capacity());
  Wipe(bytes.data(), bytes.size());
  bytes.clear();
}

SecretBuffer::~SecretBuffer() {
  Wipe(m_data, m_capacity);
  platform::UnlockSecretMemory(m_data, m_capacity);
  delete[] m_data;
}

unsigned char* SecretBuffer::Reserve(std::size_t n) {
  if (m_capacity - m_size < n) {
    std::size_t capacity = m_capacity < 65536 ? 65536 : m_capacity;
    while (capacity - m_size < n) {
      capacity *= 2;
    }
    auto* larger = new unsigned char[capacity];
    // Out of swap and core files while it holds plain text, where the system allows.
    platform::LockSecretMemory(larger, capacity);
    if (m_size > 0) {
      std::memcpy(larger, m_data, m_size);
    }
    Wipe(m_data, m_capacity);
    platform::UnlockSecretMemory(m_data, m_capacity);
    delete[] m_data;
    m_data = larger;
    m_capacity = capacity;
  }
  return m_data + m_size;
}

}  // namespace vantry::tool
