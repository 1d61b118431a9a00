#include "files/locked_input.h"

#include <cstring>

#include "files/protected_layout.h"
#include "platform/secure_wipe.h"

namespace vantry {

LockedInput::LockedInput(const std::string& fileName) : m_reader(fileName) {}

LockedInput::~LockedInput() { platform::SecureWipe(m_buffer, sizeof(m_buffer)); }

std::size_t LockedInput::Read(void* out, std::size_t n) {
  auto* bytes = static_cast<unsigned char*>(out);
  std::size_t done = 0;
  while (done < n) {
    if (m_begin == m_end) {
      if (m_atEnd) {
        break;
      }
      // Large requests skip the copy through the buffer.
      if (n - done >= kBufferSize) {
        const std::size_t got = m_reader.ReadSome(bytes + done, n - done);
        m_atEnd = got == 0;
        done += got;
        continue;
      }
      m_begin = 0;
      m_end = m_reader.ReadSome(m_buffer, kBufferSize);
      m_atEnd = m_end == 0;
      continue;
    }
    const std::size_t part = m_end - m_begin < n - done ? m_end - m_begin : n - done;
    std::memcpy(bytes + done, m_buffer + m_begin, part);
    m_begin += part;
    done += part;
  }
  return done;
}

std::int32_t LockedInput::GetData(unsigned char* pOut, std::int32_t iDataLen) {
  const std::int32_t n = iDataLen < 0 ? kChunkSize : iDataLen;
  return static_cast<std::int32_t>(Read(pOut, static_cast<std::size_t>(n)));
}

}  // namespace vantry
