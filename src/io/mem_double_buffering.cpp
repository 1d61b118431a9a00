#include "io/mem_double_buffering.h"

#include "io/data_stream.h"

namespace vantry {
namespace detail {

std::int32_t DataStreamSource::Load(unsigned char* pDst, std::int32_t iCount) {
  if (m_pSource == nullptr) {
    return 0;
  }
  m_pSource->Read(pDst, 1, static_cast<std::size_t>(iCount));
  // The amount comes from LastCount, which a stream without a block reports as 0.
  return m_pSource->LastCount();
}

bool DataStreamSource::AtEnd() const {
  // -1 (nothing open) counts as the end as well: such a stream has nothing more to give.
  return m_pSource == nullptr || m_pSource->AtEnd() != 0;
}

template class CDoubleBufferRing<DataStreamSource>;

}  // namespace detail

CMemDoubleBuffering::CMemDoubleBuffering(CDataStream* pSource, unsigned char* pBuffer,
                                         std::int32_t iSize, std::int32_t iDataLen)
    : CDoubleBufferRing(detail::DataStreamSource{pSource}, pBuffer, iSize, iDataLen) {}

CMemDoubleBuffering::~CMemDoubleBuffering() = default;

std::int32_t CMemDoubleBuffering::GetData(unsigned char* pOut, std::int32_t iDataLen) {
  return CDoubleBufferRing::GetData(pOut, iDataLen);
}

}  // namespace vantry
