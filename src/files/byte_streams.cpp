// The library's readers and writers behind vantry/streams.h: named files through the platform's
// exclusive reader and atomic writer, the standard streams through the platform's byte I/O,
// bytes in memory; and the public face of the one protected-file core.
#include <cstring>
#include <memory>
#include <string>

#include "files/protected_core.h"
#include "platform/file.h"
#include "platform/secure_wipe.h"
#include "platform/standard_streams.h"
#include "vantry/streams.h"

namespace vantry {
namespace {

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
    if (m_used == 0 && n >= kCapacity) {
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

std::unique_ptr<ByteWriter> CreateFileWriter(const std::string& targetName, OutputKind kind) {
  return CreateFileWriter(targetName, kind, InPlaceRewrite::kAllowed);
}

std::unique_ptr<ByteWriter> CreateFileWriter(const std::string& targetName, OutputKind kind,
                                             InPlaceRewrite inPlace) {
  return std::make_unique<FileWriter>(targetName,
                                      kind == OutputKind::kPlainText
                                          ? platform::OutputContents::kPlainText
                                          : platform::OutputContents::kProtected,
                                      inPlace == InPlaceRewrite::kAllowed);
}

std::unique_ptr<ByteWriter> OpenStandardOutputWriter() {
  return std::make_unique<StandardOutputWriter>();
}

void EncryptStream(CRijndaelCipher& cipher, ByteReader& input, ByteWriter& output) {
  EncryptProtected(cipher, input, output);
}

void DecryptStream(CRijndaelCipher& cipher, ByteReader& input, const std::string& inputName,
                   ByteWriter& output) {
  DecryptProtected(cipher, input, 0, inputName, output);
}

}  // namespace vantry
