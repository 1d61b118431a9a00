// The library's readers and writers behind vantry/byte_io.h: named files through the platform's
// exclusive reader and atomic writer, the standard streams through the platform's byte I/O,
// bytes in memory and in a growing secret block.
#include "files/byte_streams.h"

#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <system_error>
#include <utility>

#include "platform/secure_wipe.h"
#include "platform/standard_streams.h"
#include "vantry/file_error.h"

namespace vantry {
namespace {

constexpr std::uint64_t kMaxBlock =
    static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());
// First growth of a block whose source gave no size (a pipe, a /proc file).
constexpr std::uint64_t kFirstGrowth = std::uint64_t{64} * 1024;

// Collects small writes into pieces of kCapacity bytes, so a caller that writes a few bytes
// at a time does not cost a system call each. The buffer may hold plain text: it is wiped
// when the writer goes, also when it is abandoned.
class PieceWriter : public ByteWriter {
 public:
  static constexpr std::size_t kCapacity = std::size_t{64} * 1024;

  PieceWriter() : m_buffer(new unsigned char[kCapacity]) {}
  ~PieceWriter() override { platform::SecureWipe(m_buffer.get(), kCapacity); }

  void Write(const void* data, std::size_t n) override {
    const auto* bytes = static_cast<const unsigned char*>(data);
    // A piece of a buffer's size or more goes out as it is, after what is held: copying it
    // through the buffer would cost a pass over every byte (a sealed file's segments follow
    // its header, so the buffer is never empty when they come).
    if (n >= kCapacity) {
      Flush();
      Deliver(bytes, n);
      return;
    }
    while (n > 0) {
      const std::size_t part = n < kCapacity - m_used ? n : kCapacity - m_used;
      std::memcpy(m_buffer.get() + m_used, bytes, part);
      m_used += part;
      bytes += part;
      n -= part;
      if (m_used == kCapacity) {
        Flush();
      }
    }
  }

  void Commit() override {
    Flush();
    Finish();
  }

 protected:
  virtual void Deliver(const unsigned char* data, std::size_t n) = 0;
  virtual void Finish() = 0;

 private:
  void Flush() {
    if (m_used > 0) {
      const std::size_t n = m_used;
      m_used = 0;
      Deliver(m_buffer.get(), n);
    }
  }

  std::unique_ptr<unsigned char[]> m_buffer;
  std::size_t m_used = 0;
};

class FileWriter final : public PieceWriter {
 public:
  FileWriter(const std::string& targetName, platform::OutputContents contents,
             bool allowInPlace = true)
      : m_writer(targetName, contents, allowInPlace) {}
  FileWriter(const std::string& targetName, const platform::WriterOptions& options)
      : m_writer(targetName, options) {}

 private:
  void Deliver(const unsigned char* data, std::size_t n) override { m_writer.Write(data, n); }
  void Finish() override { m_writer.Commit(); }

  platform::AtomicWriter m_writer;
};

class StandardOutputWriter final : public PieceWriter {
 private:
  void Deliver(const unsigned char* data, std::size_t n) override {
    platform::WriteStandardOutput(data, n);
  }
  void Finish() override {}
};

class StandardInputReader final : public ByteReader {
 public:
  std::size_t ReadSome(void* buffer, std::size_t n) override {
    return platform::ReadStandardInput(buffer, n);
  }
};

}  // namespace

ByteReader::~ByteReader() = default;

std::size_t ByteReader::ReadFull(void* buffer, std::size_t n) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < n) {
    const std::size_t got = ReadSome(bytes + done, n - done);
    if (got == 0) {
      break;
    }
    done += got;
  }
  return done;
}

ByteWriter::~ByteWriter() = default;

std::unique_ptr<ByteReader> OpenFileReader(const std::string& fileName) {
  return std::make_unique<LockedFileReader>(fileName);
}

std::unique_ptr<ByteReader> OpenStandardInputReader() {
  return std::make_unique<StandardInputReader>();
}

std::unique_ptr<ByteReader> OpenMemoryReader(const void* data, std::size_t size) {
  return std::make_unique<MemoryReader>(data, size);
}

std::unique_ptr<ByteWriter> OpenAtomicFileWriter(const std::string& targetName,
                                                 platform::OutputContents contents) {
  return std::make_unique<FileWriter>(targetName, contents);
}

std::unique_ptr<ByteWriter> OpenAtomicFileWriter(const std::string& targetName,
                                                 const platform::WriterOptions& options) {
  return std::make_unique<FileWriter>(targetName, options);
}

std::unique_ptr<ByteWriter> CreateFileWriter(const std::string& targetName, FileMode mode) {
  return CreateFileWriter(targetName, mode, InPlaceRewrite::kAllowed);
}

std::unique_ptr<ByteWriter> CreateFileWriter(const std::string& targetName, FileMode mode,
                                             InPlaceRewrite inPlace) {
  return std::make_unique<FileWriter>(targetName,
                                      mode == FileMode::kOwnerOnly
                                          ? platform::OutputContents::kPlainText
                                          : platform::OutputContents::kProtected,
                                      inPlace == InPlaceRewrite::kAllowed);
}

std::unique_ptr<ByteWriter> CreateNewFileWriter(const std::string& targetName, FileMode mode) {
  platform::WriterOptions options;
  options.contents = mode == FileMode::kOwnerOnly ? platform::OutputContents::kPlainText
                                                  : platform::OutputContents::kProtected;
  options.allowInPlace = false;
  options.keepExisting = true;
  return OpenAtomicFileWriter(targetName, options);
}

std::unique_ptr<ByteWriter> OpenStandardOutputWriter() {
  return std::make_unique<StandardOutputWriter>();
}

std::size_t MemoryReader::ReadSome(void* buffer, std::size_t n) {
  const std::size_t part = n < m_size - m_at ? n : m_size - m_at;
  if (part > 0) {
    std::memcpy(buffer, m_data + m_at, part);
  }
  m_at += part;
  return part;
}

BlockWriter::BlockWriter(std::int32_t expectedSize, std::string sourceName)
    : m_block(expectedSize), m_sourceName(std::move(sourceName)) {}

void BlockWriter::Write(const void* data, std::size_t n) {
  const std::uint64_t needed = static_cast<std::uint64_t>(m_used) + n;
  if (needed > kMaxBlock) {
    throw FileError(FileError::Cause::kSize, m_sourceName,
                    std::make_error_code(std::errc::file_too_large));
  }
  if (needed > static_cast<std::uint64_t>(m_block.size())) {
    std::uint64_t capacity = static_cast<std::uint64_t>(m_block.size()) * 2;
    capacity = capacity < kFirstGrowth ? kFirstGrowth : capacity;
    capacity = capacity < needed ? needed : capacity;
    capacity = capacity > kMaxBlock ? kMaxBlock : capacity;
    SecretBlock larger(static_cast<std::int32_t>(capacity));
    std::memcpy(larger.data(), m_block.data(), static_cast<std::size_t>(m_used));
    m_block = std::move(larger);
  }
  std::memcpy(m_block.data() + m_used, data, n);
  m_used = static_cast<std::int32_t>(needed);
}

void BlockWriter::ReadAll(ByteReader& input) {
  for (;;) {
    if (m_used < m_block.size()) {
      const std::size_t got = input.ReadSome(m_block.data() + m_used,
                                             static_cast<std::size_t>(m_block.size() - m_used));
      if (got == 0) {
        return;
      }
      m_used += static_cast<std::int32_t>(got);
      continue;
    }
    // The block is full: only a small probe shows whether the source goes on past its size.
    unsigned char probe[4096];
    const std::size_t got = input.ReadSome(probe, sizeof(probe));
    if (got == 0) {
      return;
    }
    try {
      Write(probe, got);
    } catch (...) {
      platform::SecureWipe(probe, sizeof(probe));
      throw;
    }
    platform::SecureWipe(probe, sizeof(probe));
  }
}

SecretBlock BlockWriter::Take() {
  m_block.Shrink(m_used);
  m_used = 0;
  return std::move(m_block);
}

}  // namespace vantry
