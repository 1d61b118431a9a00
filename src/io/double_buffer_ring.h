// CDoubleBufferRing: the chunking algorithm behind CMemDoubleBuffering and CDoubleBuffering,
// written once over a source adapter. The two classes differ only in where bytes come from, how
// the end of the data shows, one construction test and the texts of their messages.
//
// A Source provides:
//   static constexpr const char* kOddSizeMessage;        thrown for an odd working-buffer size
//   static constexpr const char* kConstructionMessage;   thrown for a bad size, chunk or buffer
//   void CheckUsable() const;              throws when the source cannot be read at all
//   std::int32_t Load(unsigned char* pDst, std::int32_t iCount);   bytes stored at pDst
//   bool AtEnd() const;                    true once the source has reported its end
//
// The working buffer is a ring of two halves loaded alternately, so a load into one half never
// overwrites bytes not yet handed out.
#ifndef VANTRY_IO_DOUBLE_BUFFER_RING_H_
#define VANTRY_IO_DOUBLE_BUFFER_RING_H_

#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace vantry {
namespace detail {

inline constexpr const char* kIllegalDataLenMessage =
    "CDoubleBuffering::GetData(): Illegal iDataLen!";

template <class Source>
class CDoubleBufferRing {
 protected:
  // Checks, in this order: even size, a usable source, 1 <= chunk <= size / 2 with a buffer to
  // load into. Then loads the lower half.
  CDoubleBufferRing(Source source, unsigned char* pBuffer, std::int32_t iSize,
                    std::int32_t iDataLen)
      : m_source(source),
        m_iSize(iSize),
        m_iHalfSize(iSize / 2),
        m_iDataLen(iDataLen),
        m_iPos(0),
        m_iEnd(0),
        m_iUpperHalf(0),
        m_pBuffer(pBuffer),
        m_bEnd(false),
        m_bSourceDry(false) {
    if (iSize % 2 != 0) {
      throw std::runtime_error(Source::kOddSizeMessage);
    }
    m_source.CheckUsable();
    if (iDataLen < 1 || m_iHalfSize < iDataLen || pBuffer == nullptr) {
      throw std::runtime_error(Source::kConstructionMessage);
    }
    m_iEnd = LoadHalf(m_pBuffer);
  }
  ~CDoubleBufferRing() = default;
  CDoubleBufferRing(const CDoubleBufferRing&) = delete;
  CDoubleBufferRing& operator=(const CDoubleBufferRing&) = delete;

  // Copies min(n, bytes left) bytes to pOut, n being iDataLen or, for -1, the default chunk.
  std::int32_t GetData(unsigned char* pOut, std::int32_t iDataLen);

  Source m_source;

 private:
  // Loads up to half the buffer at pDst and returns the bytes that arrived. A load that comes up
  // short is taken as the end of the source, whether or not the source says so: the ring relies
  // on every load but the last filling its half, and trusting a source that stalls without
  // reporting its end would hand out stale buffer bytes or overwrite undelivered ones.
  std::int32_t LoadHalf(unsigned char* pDst) {
    std::int32_t loaded = m_source.Load(pDst, m_iHalfSize);
    if (loaded < 0) {
      loaded = 0;
    } else if (loaded > m_iHalfSize) {
      loaded = m_iHalfSize;
    }
    if (loaded < m_iHalfSize) {
      m_bSourceDry = true;
    }
    return loaded;
  }
  bool SourceAtEnd() const { return m_bSourceDry || m_source.AtEnd(); }

  // Hands out the last undelivered bytes of the current half and ends the sequence.
  std::int32_t Finish(unsigned char* pOut) {
    const std::int32_t left = m_iEnd - m_iPos;
    m_bEnd = true;
    if (left > 0) {
      std::memcpy(pOut, m_pBuffer + m_iPos, static_cast<std::size_t>(left));
    }
    return left;
  }

  std::int32_t m_iSize;
  std::int32_t m_iHalfSize;
  std::int32_t m_iDataLen;
  std::int32_t m_iPos;
  std::int32_t m_iEnd;
  std::int32_t m_iUpperHalf;
  unsigned char* m_pBuffer;
  bool m_bEnd;
  bool m_bSourceDry;
};

template <class Source>
std::int32_t CDoubleBufferRing<Source>::GetData(unsigned char* pOut, std::int32_t iDataLen) {
  const std::int32_t n = iDataLen == -1 ? m_iDataLen : iDataLen;
  // Checked before the end so a caller's bad length shows even on a finished sequence.
  if (n < 1 || n > m_iHalfSize) {
    throw std::runtime_error(kIllegalDataLenMessage);
  }
  if (m_bEnd) {
    return 0;
  }
  // 64-bit: with a working buffer near 2 GiB, m_iPos + n passes the 32-bit range.
  const std::int64_t target = static_cast<std::int64_t>(m_iPos) + n;
  // A request that ends exactly at m_iEnd still takes the loading road below: the half is only
  // swapped when everything in it has been asked for.
  if (target < m_iEnd) {
    std::memcpy(pOut, m_pBuffer + m_iPos, static_cast<std::size_t>(n));
    m_iPos = static_cast<std::int32_t>(target);
    return n;
  }
  if (SourceAtEnd()) {
    return Finish(pOut);
  }
  if (m_iUpperHalf == 0) {
    // The lower half was loaded in full (a short load ends the source), so the upper half
    // starts at m_iEnd == m_iHalfSize and the position moves into it.
    m_iEnd += LoadHalf(m_pBuffer + m_iEnd);
    if (target > m_iEnd) {
      return Finish(pOut);
    }
    std::memcpy(pOut, m_pBuffer + m_iPos, static_cast<std::size_t>(n));
    m_iPos = static_cast<std::int32_t>(target);
    m_iUpperHalf = 1;
    return n;
  }
  // Upper half current and loaded in full: the undelivered bytes are its tail, followed by the
  // lower half once reloaded. The tail is measured to m_iEnd, which equals m_iSize here.
  const std::int32_t tail = m_iEnd - m_iPos;
  const std::int32_t loaded = LoadHalf(m_pBuffer);
  const std::int32_t wrap = n - tail;
  std::memcpy(pOut, m_pBuffer + m_iPos, static_cast<std::size_t>(tail));
  if (wrap > loaded) {
    m_bEnd = true;
    m_iEnd = loaded;
    if (loaded > 0) {
      std::memcpy(pOut + tail, m_pBuffer, static_cast<std::size_t>(loaded));
    }
    return tail + loaded;
  }
  if (wrap > 0) {
    std::memcpy(pOut + tail, m_pBuffer, static_cast<std::size_t>(wrap));
  }
  m_iEnd = loaded;
  m_iPos = wrap;
  m_iUpperHalf = 0;
  return n;
}

}  // namespace detail
}  // namespace vantry

#endif  // VANTRY_IO_DOUBLE_BUFFER_RING_H_
