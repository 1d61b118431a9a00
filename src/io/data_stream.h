// CDataStream: one read/write/end/close interface over an open stdio stream (kind 0) or a
// block of memory (kind 1) that grows in 4096-byte steps when written past its capacity.
//
// Operations report by their result only; nothing here throws. The library uses the memory
// kind, through Attach, as the source that a CMemDoubleBuffering cuts into chunks and as the
// sink that collects decrypted chunks.
#ifndef VANTRY_IO_DATA_STREAM_H_
#define VANTRY_IO_DATA_STREAM_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace vantry {

class CDataStream {
 public:
  CDataStream() = default;
  ~CDataStream();  // Close()
  CDataStream(const CDataStream&) = delete;
  CDataStream& operator=(const CDataStream&) = delete;

  // Memory kind over the caller's block of iSize bytes, all of it valid data from the start.
  // The block stays the caller's: Close leaves it alone. A write past iSize reallocates it with
  // std::realloc, so let writes go past the size only for a block from std::malloc.
  void Attach(unsigned char* pBlock, std::int32_t iSize);
  // The same over bytes the stream may only read: Write returns 0.
  void Attach(const unsigned char* pBlock, std::int32_t iSize);
  // Stdio kind over an open stream, which the stream now owns: Close closes it.
  void AttachFile(std::FILE* pFile);

  // Items of iItemSize bytes: returns the whole items delivered (or written). A request whose
  // byte count overflows, a memory write that would end past 2^31 - 1 or whose block cannot
  // grow, and a write to a read-only block return 0 and change nothing.
  std::size_t Read(void* pDst, std::size_t iItemSize, std::size_t iCount);
  std::size_t Write(const void* pSrc, std::size_t iItemSize, std::size_t iCount);
  // Non-zero at the end of the data; -1 when nothing is open.
  int AtEnd() const;
  // 0 on success, -1 when nothing is done (an attached block), or the stdio close result.
  int Close();
  // Items delivered by the last Read (of either kind; 0 after a refused one).
  std::int32_t LastCount() const { return m_iLastCount; }

  // The current block of the memory kind and its valid length (for the sink's owner).
  unsigned char* Data() const { return static_cast<unsigned char*>(m_pData); }
  std::int32_t Length() const { return m_iLength; }
  // Bytes the block can hold before the next write grows it.
  std::int32_t Capacity() const { return m_iCapacity; }

 private:
  void* m_pData = nullptr;
  std::int32_t m_iKind = -1;
  std::int32_t m_iOffset = 0;
  std::int32_t m_iLength = 0;
  std::int32_t m_iCapacity = 0;
  std::int32_t m_bAttached = 0;
  std::int32_t m_iLastCount = 0;
  bool m_bReadOnly = false;
};

}  // namespace vantry

#endif  // VANTRY_IO_DATA_STREAM_H_
