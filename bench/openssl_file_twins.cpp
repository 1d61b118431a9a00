#include "openssl_file_twins.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

#include "openssl_evp.h"

namespace vantry::bench {
namespace {

constexpr std::size_t kBuffer = 64 * 1024;

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

File Open(const std::string& name, const char* mode) {
  File file(std::fopen(name.c_str(), mode), &std::fclose);
  if (!file) {
    throw std::runtime_error("cannot open " + name);
  }
  return file;
}

void Write(std::FILE* file, const void* data, std::size_t n) {
  if (n != 0 && std::fwrite(data, 1, n, file) != n) {
    throw std::runtime_error("write failed");
  }
}

void Close(File& file) {
  if (std::fclose(file.release()) != 0) {
    throw std::runtime_error("close failed");
  }
}

// The key bytes a key text gives: its first 16 characters, zero-filled.
void KeyFromText(const char* keyText, unsigned char key[16]) {
  std::memset(key, 0, 16);
  std::memcpy(key, keyText, std::min<std::size_t>(std::strlen(keyText), 16));
}

// The key check digest: SHA-256 of "RIJNDAEL", the key and "161600" (block size, key length,
// mode 0, padding 0), up to the first zero byte.
void KeyDigest(const unsigned char key[16], unsigned char digest[32]) {
  unsigned char text[48] = {'R', 'I', 'J', 'N', 'D', 'A', 'E', 'L'};
  std::memcpy(text + 8, key, 16);
  std::memcpy(text + 24, "161600", 6);
  EvpSha256 sha;
  sha.Digest(text, std::strlen(reinterpret_cast<const char*>(text)), digest);
}

void CheckHeader(std::FILE* file, const unsigned char key[16], const std::string& name) {
  unsigned char expected[32];
  unsigned char header[32] = {};
  KeyDigest(key, expected);
  if (std::fread(header, 1, 32, file) != 32 || std::memcmp(header, expected, 32) != 0) {
    throw std::runtime_error(name + " cannot be decrypted with this key");
  }
}

// Encrypts everything that source yields, zero-padding the end to a whole block.
template <typename Source>
void EncryptStream(std::FILE* out, const unsigned char key[16], Source source) {
  unsigned char digest[32];
  KeyDigest(key, digest);
  Write(out, digest, 32);
  EvpCipher aes("AES-128-ECB", key, nullptr, true);
  std::vector<unsigned char> plain(kBuffer);
  std::vector<unsigned char> cipher(kBuffer);
  for (;;) {
    std::size_t n = source(plain.data(), kBuffer);
    if (n == 0) {
      break;
    }
    if (n % 16 != 0) {
      const std::size_t padded = (n + 15) / 16 * 16;
      std::memset(plain.data() + n, 0, padded - n);
      n = padded;
    }
    aes.Update(plain.data(), cipher.data(), n);
    Write(out, cipher.data(), n);
  }
}

void SyncAndClose(File& file, const std::string& name) {
  if (std::fflush(file.get()) != 0 || ::fsync(::fileno(file.get())) != 0) {
    throw std::runtime_error("cannot flush " + name);
  }
  Close(file);
}

void SyncFolderOf(const std::string& name) {
  const auto slash = name.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : name.substr(0, slash);
  const int fd = ::open(folder.c_str(), O_RDONLY);
  if (fd < 0 || ::fsync(fd) != 0) {
    if (fd >= 0) {
      ::close(fd);
    }
    throw std::runtime_error("cannot flush " + folder);
  }
  ::close(fd);
}

// The name to write to: the target itself, or a temporary file beside it.
std::string WrittenName(const std::string& target, bool durable) {
  return durable ? target + ".tmp" : target;
}

// Closes the output; a durable one is flushed to disk first and then renamed over the target,
// and the folder flushed, as Vantry's outputs are.
void FinishOutput(File& file, const std::string& written, const std::string& target, bool durable) {
  if (!durable) {
    Close(file);
    return;
  }
  SyncAndClose(file, written);
  if (std::rename(written.c_str(), target.c_str()) != 0) {
    throw std::runtime_error("cannot rename " + written);
  }
  SyncFolderOf(target);
}

}  // namespace

void OpenSslSave(const unsigned char* data, std::int32_t length, const std::string& fileName,
                 const char* keyText, bool durable) {
  unsigned char key[16];
  KeyFromText(keyText, key);
  const std::string written = WrittenName(fileName, durable);
  File out = Open(written, "wb");
  std::size_t offset = 0;
  const std::size_t total = length > 0 ? static_cast<std::size_t>(length) : 0;
  EncryptStream(out.get(), key, [&](unsigned char* buffer, std::size_t room) {
    const std::size_t n = total - offset < room ? total - offset : room;
    if (n != 0) {
      std::memcpy(buffer, data + offset, n);
    }
    offset += n;
    return n;
  });
  FinishOutput(out, written, fileName, durable);
}

unsigned char* OpenSslLoad(const std::string& fileName, std::int32_t* outLength,
                           const char* keyText) {
  unsigned char key[16];
  KeyFromText(keyText, key);
  File in = Open(fileName, "rb");
  if (std::fseek(in.get(), 0, SEEK_END) != 0) {
    throw std::runtime_error("cannot size " + fileName);
  }
  const long size = std::ftell(in.get());
  std::rewind(in.get());
  if (size < 32 || (size - 32) % 16 != 0) {
    throw std::runtime_error(fileName + " is not a protected file");
  }
  CheckHeader(in.get(), key, fileName);
  // The cipher text is read straight into the result and decrypted in place: one copy.
  const auto s = static_cast<std::size_t>(size);
  std::unique_ptr<unsigned char, void (*)(void*)> block(static_cast<unsigned char*>(std::malloc(s)),
                                                        &std::free);
  if (!block) {
    throw std::bad_alloc();
  }
  EvpCipher aes("AES-128-ECB", key, nullptr, false);
  for (std::size_t at = 0; at < s - 32;) {
    const std::size_t want = s - 32 - at < kBuffer ? s - 32 - at : kBuffer;
    if (std::fread(block.get() + at, 1, want, in.get()) != want) {
      throw std::runtime_error("cannot read " + fileName);
    }
    aes.Update(block.get() + at, block.get() + at, want);
    at += want;
  }
  std::memset(block.get() + s - 32, 0, 32);
  *outLength = static_cast<std::int32_t>(s);
  return block.release();
}

void OpenSslEncryptFile(const std::string& inputName, const std::string& outputName,
                        const char* keyText, bool durable) {
  unsigned char key[16];
  KeyFromText(keyText, key);
  File in = Open(inputName, "rb");
  const std::string written = WrittenName(outputName, durable);
  File out = Open(written, "wb");
  EncryptStream(out.get(), key, [&](unsigned char* buffer, std::size_t room) {
    return std::fread(buffer, 1, room, in.get());
  });
  FinishOutput(out, written, outputName, durable);
}

void OpenSslDecryptFile(const std::string& inputName, const std::string& outputName,
                        const char* keyText, bool durable) {
  unsigned char key[16];
  KeyFromText(keyText, key);
  File in = Open(inputName, "rb");
  CheckHeader(in.get(), key, inputName);
  const std::string written = WrittenName(outputName, durable);
  File out = Open(written, "wb");
  EvpCipher aes("AES-128-ECB", key, nullptr, false);
  std::vector<unsigned char> cipher(kBuffer);
  std::vector<unsigned char> plain(kBuffer);
  for (;;) {
    const std::size_t n = std::fread(cipher.data(), 1, kBuffer, in.get());
    if (n == 0) {
      break;
    }
    if (n % 16 != 0) {
      throw std::runtime_error(inputName + " ends inside a block");
    }
    aes.Update(cipher.data(), plain.data(), n);
    Write(out.get(), plain.data(), n);
  }
  FinishOutput(out, written, outputName, durable);
}

}  // namespace vantry::bench
