// LockedInput: the input of a protected-file operation, read through the one descriptor that
// holds the file exclusively (platform::ExclusiveReader), from the open to the end of the file.
//
// Nothing reopens the file by name, so a save that lands meanwhile can neither make the read
// fail nor make it read another file, and the lock is held for as long as the input is read.
// The file's size is never trusted to say where it ends: pipes and /proc files say 0, and a
// file can be read only to its end. Chunks come as CDoubleBuffering cuts a stream: the full
// chunk length while that many bytes remain, then the rest, then 0. A read error is a
// FileError(kRead) naming the file, never an early end. The read-ahead buffer may hold plain
// text and is wiped on destruction.
#ifndef VANTRY_FILES_LOCKED_INPUT_H_
#define VANTRY_FILES_LOCKED_INPUT_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/file.h"

namespace vantry {

class LockedInput {
 public:
  // Throws FileError(kOpen) as platform::ExclusiveReader does.
  explicit LockedInput(const std::string& fileName);
  ~LockedInput();
  LockedInput(const LockedInput&) = delete;
  LockedInput& operator=(const LockedInput&) = delete;

  // The size the file system gives (0 for pipes and most /proc files). Throws FileError(kSize).
  std::uint64_t Size() { return m_reader.Size(); }
  // Reads n bytes, fewer only when the file ends first. Throws FileError(kRead).
  std::size_t Read(void* out, std::size_t n);
  // The next chunk of iDataLen bytes (the protected layout's chunk length for -1), fewer only
  // for the last one, 0 at the end. Throws FileError(kRead).
  std::int32_t GetData(unsigned char* pOut, std::int32_t iDataLen);
  // Releases the lock. Throws FileError(kClose).
  void Close() { m_reader.Close(); }

 private:
  static constexpr std::size_t kBufferSize = 4096;

  platform::ExclusiveReader m_reader;
  unsigned char m_buffer[kBufferSize] = {};
  std::size_t m_begin = 0;
  std::size_t m_end = 0;
  bool m_atEnd = false;
};

}  // namespace vantry

#endif  // VANTRY_FILES_LOCKED_INPUT_H_
