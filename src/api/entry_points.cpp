// The exported functions. Each call owns one CCipherHolder and nothing survives it.
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "api/argument_checks.h"
#include "api/cipher_holder.h"
#include "api/secret_text.h"
#include "platform/vector_registers.h"
#include "vantry/machine_key.h"
#include "vantry/vantry.h"

namespace vantry {
namespace {

// A null name is an empty one, which no file has: the open fails with a FileError naming "".
std::string NameOrEmpty(const char* fileName) { return fileName != nullptr ? fileName : ""; }

void RequireData(const unsigned char* data, std::int32_t length) {
  if (data == nullptr && length > 0) {
    throw std::runtime_error(kNullDataMessage);
  }
}

void RequireOutLength(const std::int32_t* outLength) {
  if (outLength == nullptr) {
    throw std::runtime_error(kNullOutLengthMessage);
  }
}

void Save(const unsigned char* data, std::int32_t length, std::string fileName, std::string keyText,
          bool machineKey) {
  SecretTextWiper keyWiper(keyText);
  CCipherHolder holder;
  holder.SaveBuffer(data, length, keyText, std::move(fileName), machineKey);
}

unsigned char* Load(std::string fileName, std::int32_t* outLength, std::string keyText) {
  SecretTextWiper keyWiper(keyText);
  CCipherHolder holder;
  // The caller's variable changes only once the whole file has been read and decrypted.
  std::int32_t localLength = 0;
  unsigned char* buffer = holder.LoadBuffer(std::move(fileName), &localLength, keyText);
  *outLength = localLength;
  return buffer;
}

std::string KeyOrMachineKey(const char* key) {
  return key != nullptr ? std::string(key) : GetMachineKey();
}

}  // namespace
}  // namespace vantry

extern "C" {

// Each entry point handles the key text, the key bytes or the round keys. It clears the vector
// registers first, so that a key text the host has just copied is not spilled onto the stack by
// the first lazily bound call the library makes, and declares a VectorRegisterClearer first,
// so that after every other local is gone, also on an exception, no copy is left in a register
// for the host's next call to spill onto its own stack.

void SaveVantry(const unsigned char* data, std::int32_t length, const char* fileName) {
  vantry::platform::VectorRegisterClearer registerClearer;
  vantry::platform::ClearVectorRegisters();
  vantry::RequireData(data, length);
  vantry::Save(data, length, vantry::NameOrEmpty(fileName), vantry::GetMachineKey(), true);
}

unsigned char* LoadVantry(const char* fileName, std::int32_t* outLength) {
  vantry::platform::VectorRegisterClearer registerClearer;
  vantry::platform::ClearVectorRegisters();
  vantry::RequireOutLength(outLength);
  return vantry::Load(vantry::NameOrEmpty(fileName), outLength, vantry::GetMachineKey());
}

void SaveVantryWithKey(const unsigned char* data, std::int32_t length, std::string fileName,
                       std::string key) {
  vantry::platform::VectorRegisterClearer registerClearer;
  vantry::platform::ClearVectorRegisters();
  vantry::SecretTextWiper keyWiper(key);
  vantry::RequireData(data, length);
  vantry::Save(data, length, std::move(fileName), key.empty() ? vantry::GetMachineKey() : key,
               key.empty());
}

unsigned char* LoadVantryWithKey(std::string fileName, std::int32_t* outLength, std::string key) {
  vantry::platform::VectorRegisterClearer registerClearer;
  vantry::platform::ClearVectorRegisters();
  vantry::SecretTextWiper keyWiper(key);
  vantry::RequireOutLength(outLength);
  return vantry::Load(std::move(fileName), outLength, key.empty() ? vantry::GetMachineKey() : key);
}

void SaveVantryWithKey2(const unsigned char* data, std::int32_t length, const char* fileName,
                        const char* key) {
  vantry::platform::VectorRegisterClearer registerClearer;
  vantry::platform::ClearVectorRegisters();
  vantry::RequireData(data, length);
  vantry::Save(data, length, vantry::NameOrEmpty(fileName), vantry::KeyOrMachineKey(key),
               key == nullptr);
}

unsigned char* LoadVantryWithKey2(const char* fileName, std::int32_t* outLength, const char* key) {
  vantry::platform::VectorRegisterClearer registerClearer;
  vantry::platform::ClearVectorRegisters();
  vantry::RequireOutLength(outLength);
  return vantry::Load(vantry::NameOrEmpty(fileName), outLength, vantry::KeyOrMachineKey(key));
}

void FreeVantryBuffer(void* buffer) { std::free(buffer); }

}  // extern "C"
