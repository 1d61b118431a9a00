// The work of Vantry's file operations done the way a host would do it with OpenSSL and plain
// file reads and writes: the reference of the file benchmarks. The files are the same protected
// files, byte for byte: the SHA-256 key check digest, then AES-128-ECB of the zero-padded data.
#ifndef VANTRY_BENCH_OPENSSL_FILE_TWINS_H_
#define VANTRY_BENCH_OPENSSL_FILE_TWINS_H_

#include <cstdint>
#include <string>

namespace vantry::bench {

// SaveVantryWithKey2. With durable set, the file is written as Vantry writes it: to a temporary
// file that is flushed to disk and then renamed over the target, the folder flushed after.
void OpenSslSave(const unsigned char* data, std::int32_t length, const std::string& fileName,
                 const char* keyText, bool durable);
// LoadVantryWithKey2: a std::malloc block of the file's size (data, padding, 32 zero bytes).
unsigned char* OpenSslLoad(const std::string& fileName, std::int32_t* outLength,
                           const char* keyText);

// EncryptFileStream / DecryptFileStream through fixed 64 KiB buffers; durable as for the save.
void OpenSslEncryptFile(const std::string& inputName, const std::string& outputName,
                        const char* keyText, bool durable);
void OpenSslDecryptFile(const std::string& inputName, const std::string& outputName,
                        const char* keyText, bool durable);

}  // namespace vantry::bench

#endif  // VANTRY_BENCH_OPENSSL_FILE_TWINS_H_
