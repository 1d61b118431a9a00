// The library's entry points.
//
// Each call is complete in itself: it keys a Rijndael cipher (AES-128, every block on its own,
// zero padding) with the first 16 characters of the key text, or with the machine key, and
// saves or loads one protected file: a 32-byte SHA-256 key check digest, then the cipher text.
//
// A load returns a block allocated with std::malloc that holds the saved data, the zero bytes
// that padded its last 16-byte block, and then 32 zero bytes: *outLength is the size of the
// file, not the length of the data that was saved. The exact data length is not stored; zero
// bytes at the end of the data cannot be told apart from padding. Release the block with
// FreeVantryBuffer (or free() when the host shares the library's C runtime).
//
// Failures are C++ exceptions: std::runtime_error with the library's message, or
// vantry::FileError (a std::system_error) when a file cannot be opened, read, written or put in
// place. A failed save leaves an earlier file of that name as it was; a failed load leaves
// *outLength alone and returns nothing. Hosts catch these in C++, sharing the library's C++
// runtime. Hosts that cannot (C, other languages, other C++ compilers) use vantry_c.h, which
// reads and writes the same files and reports failures as statuses.
//
// The header compiles as C too, and declares there the functions that take no std::string.
// Their failures are still C++ exceptions, which end a C program; a C host that must survive
// a failure uses vantry_c.h. File names and key texts are bytes in the process's ANSI code
// page on Windows.
#ifndef VANTRY_VANTRY_H_
#define VANTRY_VANTRY_H_

#include <stdint.h>

#include "vantry/export.h"

#ifdef __cplusplus
#include <string>

extern "C" {
#endif

// Always the machine key.
VANTRY_API void SaveVantry(const unsigned char* data, int32_t length, const char* fileName);
VANTRY_API unsigned char* LoadVantry(const char* fileName, int32_t* outLength);

#ifdef __cplusplus
// The caller's key; the machine key when key is empty. C linkage, but std::string by value:
// only a C++ host sharing the library's C++ runtime can call these.
VANTRY_API void SaveVantryWithKey(const unsigned char* data, int32_t length, std::string fileName,
                                  std::string key);
VANTRY_API unsigned char* LoadVantryWithKey(std::string fileName, int32_t* outLength,
                                            std::string key);
#endif

// The caller's key; the machine key when key is null. An empty key text is a key of its own
// (32 zero bytes), not the machine key.
VANTRY_API void SaveVantryWithKey2(const unsigned char* data, int32_t length, const char* fileName,
                                   const char* key);
VANTRY_API unsigned char* LoadVantryWithKey2(const char* fileName, int32_t* outLength,
                                             const char* key);

// Releases a block returned by a load. Null is allowed.
VANTRY_API void FreeVantryBuffer(void* buffer);

#ifdef __cplusplus
}  // extern "C"
#endif

#endif  // VANTRY_VANTRY_H_
