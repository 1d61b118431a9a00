// SecretBlock: a zero-filled block from std::malloc's heap that holds a whole file's plain text.
//
// The block is wiped before it is freed, so plain text does not linger in freed heap memory
// after a failure or after the operation is done with it. Release hands the block over to a
// caller who frees it with std::free (the buffer a load returns to the host).
#ifndef VANTRY_FILES_SECRET_BLOCK_H_
#define VANTRY_FILES_SECRET_BLOCK_H_

#include <cstddef>
#include <cstdint>

namespace vantry {

class SecretBlock {
 public:
  // size >= 0 bytes, all zero. Throws std::bad_alloc when the heap has no room.
  explicit SecretBlock(std::int32_t size);
  ~SecretBlock();  // wipes and frees the block unless it was released
  SecretBlock(const SecretBlock&) = delete;
  SecretBlock& operator=(const SecretBlock&) = delete;
  SecretBlock(SecretBlock&& other) noexcept;
  SecretBlock& operator=(SecretBlock&& other) noexcept;  // wipes and frees its own block first

  unsigned char* data() const { return m_pBlock; }
  std::int32_t size() const { return m_iSize; }

  // Makes the block size bytes long (0 <= size <= size()), wiping the bytes given up; the
  // allocation stays as it is.
  void Shrink(std::int32_t size) noexcept;

  // Gives up the block without wiping it; the caller now owns it.
  unsigned char* Release() noexcept;

 private:
  unsigned char* m_pBlock;
  std::int32_t m_iSize;
  std::size_t m_iAllocated = 0;  // locked in memory while held (see platform/memory_lock.h)
};

}  // namespace vantry

#endif  // VANTRY_FILES_SECRET_BLOCK_H_
