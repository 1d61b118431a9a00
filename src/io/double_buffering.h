// CDoubleBuffering: cuts the bytes of an input file stream into chunks, from the stream's
// position at construction to its end, with the algorithm and results of CMemDoubleBuffering.
//
// Usage: CDoubleBuffering db(&stream, buffer, 1024, 384); then GetData(out, -1) until it
// returns 0. The stream and buffer must outlive the object; the stream is left open.
#ifndef VANTRY_IO_DOUBLE_BUFFERING_H_
#define VANTRY_IO_DOUBLE_BUFFERING_H_

#include <cstdint>
#include <fstream>

#include "io/double_buffer_ring.h"

namespace vantry {
namespace detail {

// The ring's view of an input file stream. Its end shows only after a read came up short, not
// when the position merely reaches the end of the file; the ring's results are the same.
struct FileStreamSource {
  static constexpr const char* kOddSizeMessage = "CDoubleBuffering: m_iSize should be Even Number!";
  static constexpr const char* kConstructionMessage =
      "CDoubleBuffering: Illegal Construction Data!";

  // Throws "CDoubleBuffering: Referenced File not Opened or in Bad State!" for a missing or
  // closed stream or one whose bad flag is set. End-of-file and fail flags pass: such a stream
  // loads nothing and the first GetData returns 0.
  void CheckUsable() const;
  std::int32_t Load(unsigned char* pDst, std::int32_t iCount);
  bool AtEnd() const;

  std::ifstream* m_pStream;
};

extern template class CDoubleBufferRing<FileStreamSource>;

}  // namespace detail

class CDoubleBuffering : private detail::CDoubleBufferRing<detail::FileStreamSource> {
 public:
  // Throws, in this order: "CDoubleBuffering: m_iSize should be Even Number!",
  // "CDoubleBuffering: Referenced File not Opened or in Bad State!",
  // "CDoubleBuffering: Illegal Construction Data!". Loads the lower half at once.
  CDoubleBuffering(std::ifstream* pStream, unsigned char* pBuffer, std::int32_t iSize,
                   std::int32_t iDataLen);
  ~CDoubleBuffering();

  // As CMemDoubleBuffering::GetData.
  std::int32_t GetData(unsigned char* pOut, std::int32_t iDataLen);
};

}  // namespace vantry

#endif  // VANTRY_IO_DOUBLE_BUFFERING_H_
