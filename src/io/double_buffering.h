// CDoubleBuffering: cuts the bytes of an input file stream into chunks, from the stream's
// position at construction to its end, with the algorithm and results of CMemDoubleBuffering.
//
// Usage: CDoubleBuffering db(&stream, buffer, 1024, 384); then GetData(out, -1) until it
// returns 0. The stream and buffer must outlive the object; the stream is left open.
#ifndef VANTRY_IO_DOUBLE_BUFFERING_H_
#define VANTRY_IO_DOUBLE_BUFFERING_H_

#include <cstdint>
#include <fstream>

namespace vantry {

class CDoubleBuffering {
 public:
  // Throws, in this order: "CDoubleBuffering: m_iSize should be Even Number!",
  // "CDoubleBuffering: Referenced File not Opened or in Bad State!",
  // "CDoubleBuffering: Illegal Construction Data!". Loads the lower half at once.
  CDoubleBuffering(std::ifstream* pStream, unsigned char* pBuffer, std::int32_t iSize,
                   std::int32_t iDataLen);
  ~CDoubleBuffering();

  // As CMemDoubleBuffering::GetData.
  std::int32_t GetData(unsigned char* pOut, std::int32_t iDataLen);

 private:
  std::ifstream* m_pStream;
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

#endif  // VANTRY_IO_DOUBLE_BUFFERING_H_
