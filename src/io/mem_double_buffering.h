// CMemDoubleBuffering: cuts the bytes of a memory CDataStream into chunks.
//
// Usage: CMemDoubleBuffering db(&source, buffer, 1024, 384); then GetData(out, -1) until it
// returns 0. Every call delivers min(n, bytes left); a call that delivers fewer than n has
// reached the end. The object owns neither the source nor the working buffer, which both must
// outlive it, and allocates nothing.
#ifndef VANTRY_IO_MEM_DOUBLE_BUFFERING_H_
#define VANTRY_IO_MEM_DOUBLE_BUFFERING_H_

#include <cstdint>

#include "io/double_buffer_ring.h"

namespace vantry {

class CDataStream;

namespace detail {

// The ring's view of a CDataStream. A null stream reads as an empty one.
struct DataStreamSource {
  static constexpr const char* kOddSizeMessage =
      "CMemDoubleBuffering: m_iSize should be Even Number!";
  static constexpr const char* kConstructionMessage =
      "CMemDoubleBuffering: Illegal Construction Data!";

  // The source itself is not validated: an unusable one simply yields nothing.
  void CheckUsable() const {}
  std::int32_t Load(unsigned char* pDst, std::int32_t iCount);
  bool AtEnd() const;

  CDataStream* m_pSource;
};

extern template class CDoubleBufferRing<DataStreamSource>;

}  // namespace detail

class CMemDoubleBuffering : private detail::CDoubleBufferRing<detail::DataStreamSource> {
 public:
  // iSize: even and at least 2; iDataLen: the default chunk, 1 to iSize / 2; pBuffer: iSize
  // bytes. Throws, in this order, "CMemDoubleBuffering: m_iSize should be Even Number!" and
  // "CMemDoubleBuffering: Illegal Construction Data!". Loads the lower half at once.
  CMemDoubleBuffering(CDataStream* pSource, unsigned char* pBuffer, std::int32_t iSize,
                      std::int32_t iDataLen);
  virtual ~CMemDoubleBuffering();

  // Copies up to iDataLen bytes (-1: the default chunk) into pOut and returns the count; 0 at
  // the end. Throws "CDoubleBuffering::GetData(): Illegal iDataLen!" for a length outside
  // 1 to iSize / 2, also after the end, and then changes nothing.
  std::int32_t GetData(unsigned char* pOut, std::int32_t iDataLen);
};

}  // namespace vantry

#endif  // VANTRY_IO_MEM_DOUBLE_BUFFERING_H_
