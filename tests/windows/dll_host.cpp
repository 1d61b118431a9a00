// A host as Vantry's hosts are: it loads vantry.dll by name, finds the six entry points and
// FreeVantryBuffer by their undecorated names and calls them through plain function pointers.
// It is built with the library's compiler and mingw-w64's shared runtime DLLs, as hosts of the
// entry points are; vantry.dll has a runtime of its own inside, yet the host catches its
// exceptions and hands it std::string objects.
//
// Prints one line per check and exits with 0 when all of them pass.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <typeinfo>
#include <vector>

#include "vantry/vantry.h"

namespace {

using Bytes = std::vector<unsigned char>;

// The types come from the public header, so a signature that changes there is a signature
// that changes here; decltype does not make the host link against the library.
struct EntryPoints {
  decltype(&::SaveVantry) saveVantry = nullptr;
  decltype(&::LoadVantry) loadVantry = nullptr;
  decltype(&::SaveVantryWithKey) saveVantryWithKey = nullptr;
  decltype(&::LoadVantryWithKey) loadVantryWithKey = nullptr;
  decltype(&::SaveVantryWithKey2) saveVantryWithKey2 = nullptr;
  decltype(&::LoadVantryWithKey2) loadVantryWithKey2 = nullptr;
  decltype(&::FreeVantryBuffer) freeVantryBuffer = nullptr;
};

int g_failures = 0;

void Check(bool ok, const std::string& what) {
  std::printf("%s - %s\n", ok ? "ok" : "FAIL", what.c_str());
  if (!ok) {
    ++g_failures;
  }
}

template <typename Function>
bool Find(HMODULE dll, const char* name, Function* function) {
  *function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
  return *function != nullptr;
}

Bytes Pattern(std::size_t n, unsigned seed) {
  Bytes bytes(n);
  for (std::size_t i = 0; i < n; ++i) {
    bytes[i] = static_cast<unsigned char>((i * 131 + seed * 7 + 1) & 0xFF);
  }
  return bytes;
}

// What a load hands back for n saved bytes: the data, zero bytes up to the next multiple of 16,
// then 32 zero bytes; as long as the file.
Bytes Expected(const Bytes& data) {
  Bytes bytes = data;
  bytes.resize((data.size() + 15) / 16 * 16 + 32, 0);
  return bytes;
}

std::int64_t FileSize(const std::string& name) {
  WIN32_FILE_ATTRIBUTE_DATA info{};
  if (!GetFileAttributesExA(name.c_str(), GetFileExInfoStandard, &info)) {
    return -1;
  }
  return (static_cast<std::int64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
}

Bytes ReadWhole(const std::string& name) {
  Bytes bytes;
  if (FILE* file = std::fopen(name.c_str(), "rb")) {
    unsigned char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
      bytes.insert(bytes.end(), buffer, buffer + n);
    }
    std::fclose(file);
  }
  return bytes;
}

// Takes over a loaded block, checks it and releases it through the library.
bool TakeLoaded(const EntryPoints& api, unsigned char* block, std::int32_t length,
                const Bytes& expected) {
  const bool same = block != nullptr && length == static_cast<std::int32_t>(expected.size()) &&
                    std::memcmp(block, expected.data(), expected.size()) == 0;
  api.freeVantryBuffer(block);
  return same;
}

// One pair of entry points: how it saves and loads with its own key.
struct Pair {
  const char* name;
  void (*save)(const EntryPoints&, const Bytes&, const std::string&);
  unsigned char* (*load)(const EntryPoints&, const std::string&, std::int32_t*);
};

// Longer than any short-string buffer, so the copies the library receives and destroys live on
// the shared heap.
const std::string kLongKey = "a key text well beyond sixteen characters";
const char kShortKey[] = "host key 2";

const Pair kPairs[] = {
    {"SaveVantry/LoadVantry",
     [](const EntryPoints& api, const Bytes& data, const std::string& file) {
       api.saveVantry(data.data(), static_cast<std::int32_t>(data.size()), file.c_str());
     },
     [](const EntryPoints& api, const std::string& file, std::int32_t* length) {
       return api.loadVantry(file.c_str(), length);
     }},
    {"SaveVantryWithKey/LoadVantryWithKey",
     [](const EntryPoints& api, const Bytes& data, const std::string& file) {
       api.saveVantryWithKey(data.data(), static_cast<std::int32_t>(data.size()), file, kLongKey);
     },
     [](const EntryPoints& api, const std::string& file, std::int32_t* length) {
       return api.loadVantryWithKey(file, length, kLongKey);
     }},
    {"SaveVantryWithKey2/LoadVantryWithKey2",
     [](const EntryPoints& api, const Bytes& data, const std::string& file) {
       api.saveVantryWithKey2(data.data(), static_cast<std::int32_t>(data.size()), file.c_str(),
                              kShortKey);
     },
     [](const EntryPoints& api, const std::string& file, std::int32_t* length) {
       return api.loadVantryWithKey2(file.c_str(), length, kShortKey);
     }},
};

void CheckRoundTrips(const EntryPoints& api, const std::string& folder) {
  const std::size_t sizes[] = {0, 1, 15, 16, 17, 383, 384, 385, 511, 512, 513, 1023, 1024, 1025};
  for (const Pair& pair : kPairs) {
    bool allSame = true;
    std::string first;
    for (std::size_t size : sizes) {
      const Bytes data = Pattern(size, static_cast<unsigned>(size));
      // A name longer than any short-string buffer too.
      const std::string file = folder + "\\round trip through the pair, " + std::to_string(size);
      std::int32_t length = -1;
      bool same = false;
      try {
        pair.save(api, data, file);
        unsigned char* block = pair.load(api, file, &length);
        same = TakeLoaded(api, block, length, Expected(data)) && FileSize(file) == length;
      } catch (const std::exception& e) {
        std::printf("  %s, %zu bytes: %s\n", pair.name, size, e.what());
      }
      if (!same && first.empty()) {
        first = std::to_string(size);
      }
      allSame = allSame && same;
      DeleteFileA(file.c_str());
    }
    Check(allSame, std::string(pair.name) + " round-trips 0 to 1025 bytes" +
                       (first.empty() ? "" : " (first failure at " + first + ")"));
  }
}

std::string MachineKeyFromOwnQuery() {
  // The library's own buffers: a label too long for them fails the query, and the key is empty.
  char volumeName[24];
  char fileSystemName[12];
  DWORD serial = 0;
  DWORD maxComponentLength = 0;
  DWORD fileSystemFlags = 0;
  if (!GetVolumeInformationA("C:\\", volumeName, sizeof volumeName, &serial, &maxComponentLength,
                             &fileSystemFlags, fileSystemName, sizeof fileSystemName)) {
    return std::string();
  }
  char text[16];
  std::snprintf(text, sizeof text, "%04X-%04X", static_cast<unsigned>(serial >> 16),
                static_cast<unsigned>(serial & 0xFFFF));
  return text;
}

void CheckMachineKey(const EntryPoints& api, const std::string& folder) {
  const std::string key = MachineKeyFromOwnQuery();
  std::printf("  machine key from GetVolumeInformationA: \"%s\"\n", key.c_str());
  Check(key.empty() || key.size() == 9, "the machine key is empty or nine characters");
  const Bytes data = Pattern(100, 3);
  const std::string byMachine = folder + "\\machine.bin";
  const std::string byText = folder + "\\text.bin";
  try {
    api.saveVantry(data.data(), 100, byMachine.c_str());
    api.saveVantryWithKey2(data.data(), 100, byText.c_str(), key.c_str());
    Check(ReadWhole(byMachine) == ReadWhole(byText) && !ReadWhole(byText).empty(),
          "SaveVantry writes the file SaveVantryWithKey2 writes with \"" + key + "\"");
    struct Load {
      const char* what;
      std::function<unsigned char*(std::int32_t*)> load;
    };
    const Load loads[] = {
        {"a SaveVantry file loads with LoadVantryWithKey2 and the key text",
         [&](std::int32_t* n) {
           return api.loadVantryWithKey2(byMachine.c_str(), n, key.c_str());
         }},
        {"a file saved with the key text loads with LoadVantry",
         [&](std::int32_t* n) { return api.loadVantry(byText.c_str(), n); }},
        {"LoadVantryWithKey with an empty key uses the machine key",
         [&](std::int32_t* n) { return api.loadVantryWithKey(byMachine, n, std::string()); }},
        {"LoadVantryWithKey2 with a null key uses the machine key",
         [&](std::int32_t* n) { return api.loadVantryWithKey2(byMachine.c_str(), n, nullptr); }},
    };
    for (const Load& load : loads) {
      std::int32_t length = -1;
      unsigned char* block = load.load(&length);
      Check(TakeLoaded(api, block, length, Expected(data)), load.what);
    }
  } catch (const std::exception& e) {
    Check(false, std::string("machine key checks: ") + e.what());
  }
  DeleteFileA(byMachine.c_str());
  DeleteFileA(byText.c_str());
}

void CheckWrongKey(const EntryPoints& api, const std::string& folder) {
  const std::string file = folder + "\\keyed.bin";
  const Bytes data = Pattern(40, 5);
  api.saveVantryWithKey2(data.data(), 40, file.c_str(), "the right key");
  const std::string expected = "Sealkit ERROR: File " + file + " cannot be Correctly Decrypted!";
  struct Attempt {
    const char* what;
    unsigned char* (*load)(const EntryPoints&, const std::string&, std::int32_t*);
  };
  const Attempt attempts[] = {
      {"LoadVantryWithKey2",
       [](const EntryPoints& api, const std::string& f, std::int32_t* n) {
         return api.loadVantryWithKey2(f.c_str(), n, "the wrong key");
       }},
      {"LoadVantryWithKey",
       [](const EntryPoints& api, const std::string& f, std::int32_t* n) {
         return api.loadVantryWithKey(f, n, std::string("the wrong key"));
       }},
      {"LoadVantry", [](const EntryPoints& api, const std::string& f,
                        std::int32_t* n) { return api.loadVantry(f.c_str(), n); }},
  };
  for (const Attempt& attempt : attempts) {
    std::int32_t length = -7;
    std::string caught = "nothing";
    try {
      api.freeVantryBuffer(attempt.load(api, file, &length));
    } catch (const std::system_error& e) {
      caught = std::string("a file error: ") + e.what();
    } catch (const std::runtime_error& e) {
      caught = e.what();
    }
    Check(caught == expected && length == -7,
          std::string(attempt.what) + " with another key throws std::runtime_error \"" + expected +
              "\" and leaves the length alone" +
              (caught == expected ? "" : " (caught " + caught + ")"));
  }
  Check(ReadWhole(file).size() == 80, "the file stays as it was");
  DeleteFileA(file.c_str());
}

void CheckMissingFile(const EntryPoints& api, const std::string& folder) {
  const std::string file = folder + "\\missing.bin";
  std::int32_t length = -7;
  try {
    api.freeVantryBuffer(api.loadVantryWithKey2(file.c_str(), &length, "key"));
    Check(false, "loading a missing file throws");
  } catch (const std::system_error& e) {
    const std::string prefix = "cannot open file for reading " + file + ": ";
    // Only the library knows vantry::FileError; its name is what the host can see of it.
    const std::string type = typeid(e).name();
    std::printf("  caught %s: %s\n", type.c_str(), e.what());
    Check(type == "N6vantry9FileErrorE", "the exception is a vantry::FileError");
    // The category object is the DLL's runtime's own system category, not the host's: it is
    // told by its name.
    Check(e.code().value() == ERROR_FILE_NOT_FOUND &&
              std::string(e.code().category().name()) == "system",
          "its code is ERROR_FILE_NOT_FOUND in the system category");
    Check(std::string(e.what()).rfind(prefix, 0) == 0, "its text begins \"" + prefix + "\"");
    Check(length == -7, "the length is left alone");
  } catch (const std::exception& e) {
    Check(false, std::string("loading a missing file throws a file error, not: ") + e.what());
  }
  Check(GetFileAttributesA(file.c_str()) == INVALID_FILE_ATTRIBUTES, "no file was created");
}

}  // namespace

int main() {
  const HMODULE dll = LoadLibraryA("vantry.dll");
  Check(dll != nullptr, "LoadLibraryA(\"vantry.dll\")");
  if (dll == nullptr) {
    std::printf("  GetLastError() = %lu\n", GetLastError());
    return 1;
  }
  EntryPoints api;
  bool all = true;
  all &= Find(dll, "SaveVantry", &api.saveVantry);
  all &= Find(dll, "LoadVantry", &api.loadVantry);
  all &= Find(dll, "SaveVantryWithKey", &api.saveVantryWithKey);
  all &= Find(dll, "LoadVantryWithKey", &api.loadVantryWithKey);
  all &= Find(dll, "SaveVantryWithKey2", &api.saveVantryWithKey2);
  all &= Find(dll, "LoadVantryWithKey2", &api.loadVantryWithKey2);
  all &= Find(dll, "FreeVantryBuffer", &api.freeVantryBuffer);
  Check(all, "GetProcAddress finds the six entry points and FreeVantryBuffer undecorated");
  if (!all) {
    return 1;
  }
  for (const char* decorated : {"_SaveVantry", "SaveVantry@12", "_SaveVantry@12"}) {
    Check(GetProcAddress(dll, decorated) == nullptr,
          std::string("no decorated export \"") + decorated + "\"");
  }

  char temp[MAX_PATH + 1] = {};
  GetTempPathA(sizeof temp, temp);
  const std::string folder = std::string(temp) + "vantry-host-" +
                             std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(GetTickCount());
  if (!CreateDirectoryA(folder.c_str(), nullptr)) {
    Check(false, "create " + folder);
    return 1;
  }
  try {
    CheckRoundTrips(api, folder);
    CheckMachineKey(api, folder);
    CheckWrongKey(api, folder);
    CheckMissingFile(api, folder);
  } catch (const std::exception& e) {
    Check(false, std::string("unexpected exception: ") + e.what());
  }
  Check(RemoveDirectoryA(folder.c_str()) != 0, "no file is left behind");
  FreeLibrary(dll);
  std::printf("%s: %d failed\n", g_failures == 0 ? "PASS" : "FAIL", g_failures);
  return g_failures == 0 ? 0 : 1;
}
