#include "io/data_stream.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace vantry {

namespace {

constexpr std::int32_t kMemoryKind = 1;
constexpr std::int32_t kFileKind = 0;
constexpr std::int64_t kGrowthStep = 4096;
// Offsets, lengths and capacities of the memory kind are signed 32-bit: no block grows past this.
constexpr std::int64_t kMaxBlock = std::numeric_limits<std::int32_t>::max();

// itemSize * count, or false when the product does not fit a size_t. A wrapped product would
// look like a small, satisfiable request and copy the wrong amount.
bool ByteCount(std::size_t iItemSize, std::size_t iCount, std::size_t* pBytes) {
  if (iCount != 0 && iItemSize > std::numeric_limits<std::size_t>::max() / iCount) {
    return false;
  }
  *pBytes = iItemSize * iCount;
  return true;
}

// Capacity that holds iNeeded bytes, grown from iCapacity in whole 4096-byte steps so a sink fed
// by many small writes reallocates rarely. The last step is cut short where a whole one would
// leave the 32-bit range, because iNeeded itself still fits.
std::int64_t GrownCapacity(std::int64_t iCapacity, std::int64_t iNeeded) {
  const std::int64_t steps = (iNeeded - iCapacity + kGrowthStep - 1) / kGrowthStep;
  const std::int64_t grown = iCapacity + steps * kGrowthStep;
  return grown > kMaxBlock ? kMaxBlock : grown;
}

}  // namespace

CDataStream::~CDataStream() { Close(); }

void CDataStream::Attach(unsigned char* pBlock, std::int32_t iSize) {
  // A stream that owned a file or block releases it first instead of leaking it.
  Close();
  // A negative size would let a write "grow" the block from a negative capacity; an empty block
  // is the only sensible reading of it.
  const std::int32_t size = iSize < 0 ? 0 : iSize;
  m_pData = pBlock;
  m_iKind = kMemoryKind;
  m_iOffset = 0;
  m_iLength = size;
  m_iCapacity = size;
  m_bAttached = 1;
  m_iLastCount = 0;
  m_bReadOnly = false;
}

void CDataStream::Attach(const unsigned char* pBlock, std::int32_t iSize) {
  // The block is only ever read through this stream: m_bReadOnly keeps Write away from it.
  Attach(const_cast<unsigned char*>(pBlock), iSize);
  m_bReadOnly = true;
}

void CDataStream::AttachFile(std::FILE* pFile) {
  Close();
  m_pData = pFile;
  m_iKind = kFileKind;
  m_iOffset = 0;
  m_iLength = 0;
  m_iCapacity = 0;
  m_bAttached = 0;
  m_iLastCount = 0;
  m_bReadOnly = false;
}

std::size_t CDataStream::Read(void* pDst, std::size_t iItemSize, std::size_t iCount) {
  if (m_pData == nullptr || pDst == nullptr || (m_iKind != kFileKind && m_iKind != kMemoryKind)) {
    m_iLastCount = 0;
    return 0;
  }
  std::size_t bytes = 0;
  if (!ByteCount(iItemSize, iCount, &bytes) || bytes == 0) {
    m_iLastCount = 0;
    return 0;
  }
  if (m_iKind == kFileKind) {
    const std::size_t items = std::fread(pDst, iItemSize, iCount, static_cast<std::FILE*>(m_pData));
    // Kept for this kind too, so a double buffer over a file stream learns the true amount
    // instead of a count left over from an earlier read.
    m_iLastCount = static_cast<std::int32_t>(
        items > static_cast<std::size_t>(kMaxBlock) ? kMaxBlock : static_cast<std::int64_t>(items));
    return items;
  }
  if (m_iOffset > m_iLength) {
    m_iLastCount = 0;
    return 0;
  }
  const std::size_t left = static_cast<std::size_t>(m_iLength - m_iOffset);
  const std::size_t n = bytes > left ? left : bytes;
  if (n != 0) {
    std::memcpy(pDst, Data() + m_iOffset, n);
  }
  m_iOffset += static_cast<std::int32_t>(n);
  // The bytes of a trailing partial item are consumed but not counted.
  const std::size_t items = n / iItemSize;
  m_iLastCount = static_cast<std::int32_t>(items);
  return items;
}

std::size_t CDataStream::Write(const void* pSrc, std::size_t iItemSize, std::size_t iCount) {
  if (m_pData == nullptr || pSrc == nullptr) {
    return 0;
  }
  std::size_t bytes = 0;
  if (!ByteCount(iItemSize, iCount, &bytes) || bytes == 0) {
    return 0;
  }
  if (m_iKind == kFileKind) {
    return std::fwrite(pSrc, iItemSize, iCount, static_cast<std::FILE*>(m_pData));
  }
  if (m_iKind != kMemoryKind || m_bReadOnly) {
    return 0;
  }
  // The end of the write must stay addressable with a 32-bit offset; a request that does not is
  // refused whole rather than wrapped around into the block.
  if (bytes > static_cast<std::size_t>(kMaxBlock - m_iOffset)) {
    return 0;
  }
  const std::int64_t end = static_cast<std::int64_t>(m_iOffset) + static_cast<std::int64_t>(bytes);
  if (end > m_iCapacity) {
    const std::int64_t capacity = GrownCapacity(m_iCapacity, end);
    void* grown = std::realloc(m_pData, static_cast<std::size_t>(capacity));
    if (grown == nullptr) {
      // realloc left the old block in place: the stream stays exactly as it was.
      return 0;
    }
    m_pData = grown;
    m_iCapacity = static_cast<std::int32_t>(capacity);
  }
  std::memcpy(Data() + m_iOffset, pSrc, bytes);
  m_iOffset = static_cast<std::int32_t>(end);
  if (m_iOffset > m_iLength) {
    m_iLength = m_iOffset;
  }
  return iCount;
}

int CDataStream::AtEnd() const {
  if (m_pData == nullptr) {
    return -1;
  }
  if (m_iKind == kFileKind) {
    return std::feof(static_cast<std::FILE*>(m_pData)) != 0 ? 1 : 0;
  }
  if (m_iKind == kMemoryKind) {
    return m_iOffset >= m_iLength ? 1 : 0;
  }
  return -1;
}

int CDataStream::Close() {
  if (m_bAttached != 0) {
    // The block is the caller's, who frees it after the stream is gone.
    return -1;
  }
  if (m_pData == nullptr) {
    return 0;
  }
  if (m_iKind == kFileKind) {
    const int result = std::fclose(static_cast<std::FILE*>(m_pData));
    m_pData = nullptr;
    return result;
  }
  if (m_iKind == kMemoryKind) {
    std::free(m_pData);
    m_pData = nullptr;
    return 0;
  }
  return -1;
}

}  // namespace vantry
