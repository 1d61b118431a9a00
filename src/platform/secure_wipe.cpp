// The parts of secret memory that are the same on every system; SecureWipe itself is the
// system's (posix/, windows/).
#include "platform/secure_wipe.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/memory_lock.h"

namespace vantry::platform {

void WipeString(std::string& s) noexcept {
  s.resize(s.capacity());
  SecureWipe(&s[0], s.size());
  s.clear();
}

bool EqualInConstantTime(const void* a, const void* b, std::size_t n) noexcept {
  // Volatile reads: the compiler may not stop at the first difference.
  const auto* x = static_cast<const volatile unsigned char*>(a);
  const auto* y = static_cast<const volatile unsigned char*>(b);
  unsigned char difference = 0;
  for (std::size_t i = 0; i < n; ++i) {
    difference = static_cast<unsigned char>(difference | (x[i] ^ y[i]));
  }
  return difference == 0;
}

SecretBuffer::~SecretBuffer() { Free(); }

void SecretBuffer::Free() noexcept {
  if (m_data != nullptr) {
    SecureWipe(m_data, m_capacity);
    UnlockSecretMemory(m_data, m_capacity);
    std::free(m_data);
  }
}

unsigned char* SecretBuffer::Reserve(std::size_t n) {
  if (m_capacity - m_size < n) {
    std::size_t capacity = m_capacity < 65536 ? 65536 : m_capacity;
    while (capacity - m_size < n) {
      if (capacity > static_cast<std::size_t>(-1) / 2) {
        throw std::bad_alloc();
      }
      capacity *= 2;
    }
    auto* larger = static_cast<unsigned char*>(std::malloc(capacity));
    if (larger == nullptr) {
      throw std::bad_alloc();
    }
    LockSecretMemory(larger, capacity);
    if (m_size > 0) {
      std::memcpy(larger, m_data, m_size);
    }
    Free();
    m_data = larger;
    m_capacity = capacity;
  }
  return m_data + m_size;
}

void SecretBuffer::Append(const void* data, std::size_t n) {
  if (n > 0) {
    std::memcpy(Reserve(n), data, n);
    Grow(n);
  }
}

unsigned char* SecretBuffer::Release() {
  if (m_data == nullptr) {
    Reserve(1);
  }
  UnlockSecretMemory(m_data, m_capacity);
  unsigned char* block = m_data;
  m_data = nullptr;
  m_size = 0;
  m_capacity = 0;
  return block;
}

}  // namespace vantry::platform
