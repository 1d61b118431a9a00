#include "secret.h"

#include <cstring>
#include <new>

#include "platform/memory_lock.h"

namespace vantry::tool {

void WipeBytes(std::vector<unsigned char>& bytes) noexcept {
  bytes.resize(bytes.capacity());
  SecureWipe(bytes.data(), bytes.size());
  bytes.clear();
}

SecretBuffer::~SecretBuffer() {
  SecureWipe(m_data, m_capacity);
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
    SecureWipe(m_data, m_capacity);
    platform::UnlockSecretMemory(m_data, m_capacity);
    delete[] m_data;
    m_data = larger;
    m_capacity = capacity;
  }
  return m_data + m_size;
}

}  // namespace vantry::tool
