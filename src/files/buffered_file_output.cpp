#include "files/buffered_file_output.h"

#include <cstring>

#include "platform/secure_wipe.h"

namespace vantry {

BufferedFileOutput::BufferedFileOutput(const std::string& targetName,
                                       platform::OutputContents contents)
    : m_writer(targetName, contents), m_buffer(new unsigned char[kCapacity]) {}

BufferedFileOutput::~BufferedFileOutput() { platform::SecureWipe(m_buffer.get(), kCapacity); }

void BufferedFileOutput::Append(const void* data, std::size_t n) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  // A piece at least as large as the buffer gains nothing from a copy: pass it straight on.
  if (m_used == 0 && n >= kCapacity) {
    m_writer.Write(bytes, n);
    return;
  }
  while (n > 0) {
    const std::size_t room = kCapacity - m_used;
    const std::size_t part = n < room ? n : room;
    std::memcpy(m_buffer.get() + m_used, bytes, part);
    m_used += part;
    bytes += part;
    n -= part;
    if (m_used == kCapacity) {
      Flush();
    }
  }
}

void BufferedFileOutput::Commit() {
  Flush();
  m_writer.Commit();
}

void BufferedFileOutput::Flush() {
  if (m_used == 0) {
    return;
  }
  m_writer.Write(m_buffer.get(), m_used);
  m_used = 0;
}

}  // namespace vantry
