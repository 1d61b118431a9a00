#include "files/whole_file.h"

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <limits>
#include <system_error>

#include "cipher/messages.h"
#include "files/protected_layout.h"
#include "io/data_stream.h"
#include "io/double_buffering.h"
#include "platform/file.h"
#include "vantry/file_error.h"

namespace vantry {
namespace {

std::int32_t SizeForMemory(platform::ExclusiveReader& reader, const std::string& fileName) {
  const std::uint64_t size = reader.Size();
  if (size > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
    throw FileError(FileError::Cause::kSize, fileName,
                    std::make_error_code(std::errc::file_too_large));
  }
  return static_cast<std::int32_t>(size);
}

// The file no longer has the size it had when the block was sized for it.
[[noreturn]] void ThrowChangedWhileRead(const std::string& fileName) {
  throw FileError(FileError::Cause::kRead, fileName, std::make_error_code(std::errc::io_error));
}

}  // namespace

SecretBlock ReadPlainFile(const std::string& fileName) {
  platform::ExclusiveReader reader(fileName);
  SecretBlock block(SizeForMemory(reader, fileName));
  if (block.size() > 0) {
    reader.ReadExactly(block.data(), static_cast<std::size_t>(block.size()));
  }
  reader.Close();
  return block;
}

SecretBlock DecryptProtectedFile(CRijndaelCipher& cipher, const std::string& fileName) {
  std::int32_t size = 0;
  {
    platform::ExclusiveReader probe(fileName);
    size = SizeForMemory(probe, fileName);
    probe.Close();
  }
  if (size < kProtectedHeaderSize) {
    ThrowCannotDecrypt(fileName);
  }
  return DecryptProtectedFileOfSize(cipher, fileName, size);
}

SecretBlock DecryptProtectedFileOfSize(CRijndaelCipher& cipher, const std::string& fileName,
                                       std::int32_t size) {
  SecretBlock block(size);
  // A shared open: a file that cannot be opened now (gone since the probe) reads as empty and
  // fails the header check.
  std::ifstream input(fileName, std::ios::in | std::ios::binary);
  ChunkBuffers buffers;
  VerifyProtectedHeader(cipher, input, buffers, fileName);
  cipher.ResetChainBlock();

  CDataStream sink;
  sink.Attach(block.data(), size);
  CDoubleBuffering source(&input, buffers.working, kWorkingBufferSize, kChunkSize);
  const std::int32_t expected = size - kProtectedHeaderSize;
  std::int32_t received = 0;
  for (std::int32_t n = source.GetData(buffers.chunkIn, -1); n > 0;
       n = source.GetData(buffers.chunkIn, -1)) {
    // Judged before Decrypt, so that a file that changed is reported as such and not as
    // damaged cipher text: more bytes than the probe promised would make the sink grow past
    // the block that is handed out; a short chunk is the last one and must end the data.
    const std::int32_t left = expected - received;
    if (n > left || (n < kChunkSize && n != left)) {
      ThrowChangedWhileRead(fileName);
    }
    cipher.Decrypt(buffers.chunkIn, buffers.chunkOut, static_cast<std::size_t>(n));
    sink.Write(buffers.chunkOut, 1, static_cast<std::size_t>(n));
    received += n;
  }
  if (received != expected) {
    ThrowChangedWhileRead(fileName);
  }
  return block;
}

}  // namespace vantry
