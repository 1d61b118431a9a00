// The library's own readers and writers, beside the public factories of byte_io.h: bytes in
// memory, a block of secret memory that grows as it is written, a file held exclusively, and
// the atomic file writer behind a buffer. They know nothing of any file format.
#ifndef VANTRY_FILES_BYTE_STREAMS_H_
#define VANTRY_FILES_BYTE_STREAMS_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "files/secret_block.h"
#include "platform/file.h"
#include "vantry/byte_io.h"

namespace vantry {

// Bytes in memory, read as a file is: the caller keeps them alive.
class MemoryReader final : public ByteReader {
 public:
  MemoryReader(const void* data, std::size_t size)
      : m_data(static_cast<const unsigned char*>(data)), m_size(data == nullptr ? 0 : size) {}
  std::size_t ReadSome(void* buffer, std::size_t n) override;

 private:
  const unsigned char* m_data;
  std::size_t m_size;
  std::size_t m_at = 0;
};

// Collects what is written in a SecretBlock, growing it as needed; a block of 2 GiB or more is
// refused with FileError(kSize, EFBIG) naming sourceName. Commit does nothing.
class BlockWriter final : public ByteWriter {
 public:
  BlockWriter(std::int32_t expectedSize, std::string sourceName);
  void Write(const void* data, std::size_t n) override;
  void Commit() override {}
  // Reads input to its end straight into the block; when expectedSize was right, as it is for
  // a regular file, the block is never reallocated. Throws what input throws, and as Write.
  void ReadAll(ByteReader& input);
  // The block, exactly as long as what was written.
  SecretBlock Take();

 private:
  SecretBlock m_block;
  std::int32_t m_used = 0;
  std::string m_sourceName;
};

// The named file, read through the one descriptor that holds it exclusively
// (platform::ExclusiveReader), from the open to its end: its size only sizes what the caller
// expects (pipes and /proc files say 0).
class LockedFileReader final : public ByteReader {
 public:
  explicit LockedFileReader(const std::string& fileName) : m_reader(fileName) {}
  std::size_t ReadSome(void* buffer, std::size_t n) override {
    return m_reader.ReadSome(buffer, n);
  }
  // The size the file system gives. Throws FileError(kSize).
  std::uint64_t Size() { return m_reader.Size(); }
  // Releases the lock. Throws FileError(kClose).
  void Close() { m_reader.Close(); }

 private:
  platform::ExclusiveReader m_reader;
};

// The library's atomic writer behind a wiped 64 KiB buffer: small writes collect into pieces,
// and nothing reaches the target before Commit. Throws FileError(kCreate) naming the target.
std::unique_ptr<ByteWriter> OpenAtomicFileWriter(const std::string& targetName,
                                                 platform::OutputContents contents);
// The same with the writer's every option (a new file only, with keepExisting).
std::unique_ptr<ByteWriter> OpenAtomicFileWriter(const std::string& targetName,
                                                 const platform::WriterOptions& options);

}  // namespace vantry

#endif  // VANTRY_FILES_BYTE_STREAMS_H_
