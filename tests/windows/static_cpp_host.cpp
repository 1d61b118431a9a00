// A C++ host as one built with another compiler's runtime would be: its C++ runtime linked in
// statically (so it shares none with vantry.dll), using vantry.hpp over the C interface. Built
// as C++17 and as C++20: a u8"" name must reach the disk as that name in both, and the host's
// own exceptions must still be thrown and caught once vantry.dll is loaded and has thrown and
// caught its own inside (a wrong key).
//
// Prints one line per check and exits with 0 when all of them pass.
#include <windows.h>

#include <cstdio>
#include <stdexcept>
#include <string>

#include "vantry/vantry.hpp"

namespace {

int g_failures = 0;

void Check(bool ok, const char* what) {
  std::printf("%s - C++%ld: %s\n", ok ? "ok" : "FAIL", __cplusplus / 100 % 100, what);
  g_failures += ok ? 0 : 1;
}

bool ThrowsAndCatchesItsOwn() {
  try {
    throw std::runtime_error("the host's own");
  } catch (const std::exception& e) {
    return std::string(e.what()) == "the host's own";
  }
}

bool Exists(const wchar_t* name) { return GetFileAttributesW(name) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

int main() {
  Check(ThrowsAndCatchesItsOwn(), "its own exception before the library is used");
  const std::string data = "caf\xC3\xA9 au lait";
  DeleteFileW(L"caf\u00e9.vty");
  vantry::Save(u8"café.vty", data, vantry::Key::Text("host key"));
  Check(Exists(L"caf\u00e9.vty"), "u8\"caf\xC3\xA9.vty\" is the file caf\xC3\xA9.vty");
  Check(!Exists(L"caf\u00c3\u00a9.vty"), "and not the ANSI reading of its bytes");

  bool refused = false;
  try {
    vantry::Load(u8"café.vty", vantry::Key::Text("another key"));
  } catch (const vantry::Error& e) {
    refused = e.code() == vantry::Status::kWrongKey;
  }
  Check(refused, "a wrong key is a vantry::Error with Status::kWrongKey");
  const vantry::Buffer loaded = vantry::Load(L"caf\u00e9.vty", vantry::Key::Text("host key"));
  Check(loaded.size() == 48 && std::string(loaded.begin(), loaded.begin() + data.size()) == data,
        "the wide name loads what the u8 name saved");
  Check(ThrowsAndCatchesItsOwn(), "its own exception after the library threw inside itself");
  DeleteFileW(L"caf\u00e9.vty");
  return g_failures == 0 ? 0 : 1;
}
