// CryptProtectData and CryptUnprotectData (crypt32), with no prompt: the blob carries its own
// integrity check, so a changed blob or one of another account does not unwrap.
#include "platform/data_protection.h"

#include <cstring>
#include <string>

#include "platform/secure_wipe.h"
#include "platform/windows/win32.h"
// dpapi.h needs the types of windows.h (through win32.h) first.
#include <dpapi.h>

namespace vantry::platform {
namespace {

DWORD Flags(bool machineScope) {
  return CRYPTPROTECT_UI_FORBIDDEN | (machineScope ? CRYPTPROTECT_LOCAL_MACHINE : 0);
}

}  // namespace

bool HasDataProtection() noexcept { return true; }

std::vector<unsigned char> ProtectKey(const unsigned char key[32], bool machineScope) {
  DATA_BLOB in{32, const_cast<BYTE*>(key)};
  DATA_BLOB out{0, nullptr};
  if (!CryptProtectData(&in, L"vantry sealed file key", nullptr, nullptr, nullptr,
                        Flags(machineScope), &out)) {
    throw std::runtime_error("the data protection API refused to protect a key (error " +
                             std::to_string(GetLastError()) + ")");
  }
  std::vector<unsigned char> blob(out.pbData, out.pbData + out.cbData);
  LocalFree(out.pbData);
  return blob;
}

bool UnprotectKey(const std::vector<unsigned char>& blob, bool machineScope,
                  unsigned char out[32]) {
  DATA_BLOB in{static_cast<DWORD>(blob.size()), const_cast<BYTE*>(blob.data())};
  DATA_BLOB plain{0, nullptr};
  if (!CryptUnprotectData(&in, nullptr, nullptr, nullptr, nullptr, Flags(machineScope), &plain)) {
    return false;
  }
  const bool whole = plain.cbData == 32;
  if (whole) {
    std::memcpy(out, plain.pbData, 32);
  }
  SecureWipe(plain.pbData, plain.cbData);
  LocalFree(plain.pbData);
  return whole;
}

}  // namespace vantry::platform
