#include "files/secret_block.h"

#include <cstdlib>
#include <new>

#include "platform/memory_lock.h"
#include "platform/secure_wipe.h"

namespace vantry {

SecretBlock::SecretBlock(std::int32_t size) : m_pBlock(nullptr), m_iSize(size < 0 ? 0 : size) {
  // One byte at least, so that an empty file still has a block to attach a stream to and
  // Release never hands out a null pointer as a successful result.
  const std::size_t bytes = m_iSize > 0 ? static_cast<std::size_t>(m_iSize) : 1;
  // calloc: zero-filled, and for large blocks the heap can hand out pages that are zero already.
  m_pBlock = static_cast<unsigned char*>(std::calloc(bytes, 1));
  if (m_pBlock == nullptr) {
    throw std::bad_alloc();
  }
  m_iAllocated = bytes;
  platform::LockSecretMemory(m_pBlock, m_iAllocated);
}

SecretBlock::SecretBlock(SecretBlock&& other) noexcept
    : m_pBlock(other.m_pBlock), m_iSize(other.m_iSize), m_iAllocated(other.m_iAllocated) {
  other.m_pBlock = nullptr;
  other.m_iSize = 0;
  other.m_iAllocated = 0;
}

SecretBlock& SecretBlock::operator=(SecretBlock&& other) noexcept {
  if (this != &other) {
    if (m_pBlock != nullptr) {
      platform::SecureWipe(m_pBlock, static_cast<std::size_t>(m_iSize));
      platform::UnlockSecretMemory(m_pBlock, m_iAllocated);
      std::free(m_pBlock);
    }
    m_pBlock = other.m_pBlock;
    m_iSize = other.m_iSize;
    m_iAllocated = other.m_iAllocated;
    other.m_pBlock = nullptr;
    other.m_iSize = 0;
    other.m_iAllocated = 0;
  }
  return *this;
}

void SecretBlock::Shrink(std::int32_t size) noexcept {
  if (size >= 0 && size < m_iSize) {
    platform::SecureWipe(m_pBlock + size, static_cast<std::size_t>(m_iSize - size));
    m_iSize = size;
  }
}

SecretBlock::~SecretBlock() {
  if (m_pBlock != nullptr) {
    platform::SecureWipe(m_pBlock, static_cast<std::size_t>(m_iSize));
    platform::UnlockSecretMemory(m_pBlock, m_iAllocated);
    std::free(m_pBlock);
  }
}

unsigned char* SecretBlock::Release() noexcept {
  // The host's memory from here on: it frees it without unlocking.
  platform::UnlockSecretMemory(m_pBlock, m_iAllocated);
  m_iAllocated = 0;
  unsigned char* block = m_pBlock;
  m_pBlock = nullptr;
  m_iSize = 0;
  return block;
}

}  // namespace vantry
