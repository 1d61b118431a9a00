#include "io/double_buffering.h"

#include <stdexcept>

namespace vantry {
namespace detail {

void FileStreamSource::CheckUsable() const {
  if (m_pStream == nullptr || !m_pStream->is_open() || m_pStream->bad()) {
    throw std::runtime_error("CDoubleBuffering: Referenced File not Opened or in Bad State!");
  }
}

std::int32_t FileStreamSource::Load(unsigned char* pDst, std::int32_t iCount) {
  m_pStream->read(reinterpret_cast<char*>(pDst), static_cast<std::streamsize>(iCount));
  // gcount, not the stream state, says how much arrived: a short read raises end-of-file and
  // fail together, and a stream that is no longer good delivers nothing.
  return static_cast<std::int32_t>(m_pStream->gcount());
}

bool FileStreamSource::AtEnd() const { return m_pStream->eof(); }

template class CDoubleBufferRing<FileStreamSource>;

}  // namespace detail

CDoubleBuffering::CDoubleBuffering(std::ifstream* pStream, unsigned char* pBuffer,
                                   std::int32_t iSize, std::int32_t iDataLen)
    : CDoubleBufferRing(detail::FileStreamSource{pStream}, pBuffer, iSize, iDataLen) {}

CDoubleBuffering::~CDoubleBuffering() = default;

std::int32_t CDoubleBuffering::GetData(unsigned char* pOut, std::int32_t iDataLen) {
  return CDoubleBufferRing::GetData(pOut, iDataLen);
}

}  // namespace vantry
