// CMemDoubleBuffering: cuts the bytes of a memory CDataStream into chunks.
//
// Usage: CMemDoubleBuffering db(&source, buffer, 1024, 384); then GetData(out, -1) until it
// returns 0. Every call delivers min(n, bytes left); a call that delivers fewer than n has
// reached the end. The object owns neither the source nor the working buffer, which both must
// outlive it, and allocates nothing.
#ifndef VANTRY_IO_MEM_DOUBLE_BUFFERING_H_
#define VANTRY_IO_MEM_DOUBLE_BUFFERING_H_

#include <cstdint>

namespace vantry {

class CDataStream;

class CMemDoubleBuffering {
 public:
  // iSize: even and at least 2; iDataLen: the default chunk, 1 to iSize / 2. Throws, in this
  // order, "CMemDoubleBuffering: m_iSize should be Even Number!" and
  // "CMemDoubleBuffering: Illegal Construction Data!". Loads the lower half at once.
  CMemDoubleBuffering(CDataStream* pSource, unsigned char* pBuffer, std::int32_t iSize,
                      std::int32_t iDataLen);
  virtual ~CMemDoubleBuffering();

  // Copies up to iDataLen bytes (-1: the default chunk) into pOut and returns the count; 0 at
  // the end. Throws "CDoubleBuffering::GetData(): Illegal iDataLen!" for a length outside
  // 1 to iSize / 2, also after the end.
  std::int32_t GetData(unsigned char* pOut, std::int32_t iDataLen);

 private:
  CDataStream* m_pSource;
  std::int32_t m_iSize;
  std::int32_t m_iHalfSize;
  std::int32_t m_iDataLen;
  std::int32_t m_iPos;
  std::int32_t m_iEnd;
  std::int32_t m_iUpperHalf;
  unsigned char* m_pBuffer;
  bool m_bEnd;
};

}  // namespace vantry

#endif  // VANTRY_IO_MEM_DOUBLE_BUFFERING_H_
