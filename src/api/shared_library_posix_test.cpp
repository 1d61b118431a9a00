// The built shared library as a host meets it: loaded at run time, its seven functions found
// by their plain names and working, and its dynamic symbol table holding nothing of the
// library but those functions and the public classes.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace vantry {
namespace {

const char* const kEntryPoints[] = {
    "SaveVantry", "LoadVantry", "SaveVantryWithKey", "LoadVantryWithKey", "SaveVantryWithKey2",
    "LoadVantryWithKey2", "FreeVantryBuffer",
    // The C interface.
    "vantry_save", "vantry_load", "vantry_free", "vantry_last_error", "vantry_last_system_error",
    "vantry_status_text", "vantry_version", "vantry_version_number", "vantry_seal", "vantry_unseal",
    "vantry_seal_keys", "vantry_unseal_keys", "vantry_seal_buffer", "vantry_unseal_buffer",
    "vantry_sealed_slots"};

class SharedLibrary {
 public:
  SharedLibrary() : m_handle(dlopen(VANTRY_SHARED_LIBRARY, RTLD_NOW | RTLD_LOCAL)) {
    if (m_handle == nullptr) {
      throw std::runtime_error(std::string("dlopen: ") + dlerror());
    }
  }
  ~SharedLibrary() { dlclose(m_handle); }
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;

  template <typename Function>
  Function* Find(const char* name) const {
    return reinterpret_cast<Function*>(dlsym(m_handle, name));
  }

 private:
  void* m_handle;
};

TEST(SharedLibrary, ResolvesTheSevenPlainNames) {
  SharedLibrary library;
  for (const char* name : kEntryPoints) {
    EXPECT_NE(library.Find<void>(name), nullptr) << name;
  }
  // Decorated or C++ names would not be found by hosts that ask for the plain ones.
  EXPECT_EQ(library.Find<void>("_SaveVantry"), nullptr);
  EXPECT_EQ(library.Find<void>("SaveVantry@12"), nullptr);
}

TEST(SharedLibrary, EntryPointsWorkThroughLoadedPointers) {
  using Save = void(const unsigned char*, std::int32_t, const char*, const char*);
  using Load = unsigned char*(const char*, std::int32_t*, const char*);
  using SaveObjects = void(const unsigned char*, std::int32_t, std::string, std::string);
  using LoadObjects = unsigned char*(std::string, std::int32_t*, std::string);
  using Free = void(void*);
  SharedLibrary library;
  auto* save = library.Find<Save>("SaveVantryWithKey2");
  auto* load = library.Find<Load>("LoadVantryWithKey2");
  auto* saveObjects = library.Find<SaveObjects>("SaveVantryWithKey");
  auto* loadObjects = library.Find<LoadObjects>("LoadVantryWithKey");
  auto* release = library.Find<Free>("FreeVantryBuffer");
  ASSERT_TRUE(save && load && saveObjects && loadObjects && release);

  test::TempDir dir;
  const std::string file = dir.File("dl.vty");
  const test::Bytes data = {'h', 'o', 's', 't'};
  save(data.data(), 4, file.c_str(), "loaded key");
  std::int32_t length = 0;
  unsigned char* block = loadObjects(file, &length, "loaded key");
  ASSERT_NE(block, nullptr);
  ASSERT_EQ(length, 48);
  EXPECT_EQ(test::ToHex(block, 4), test::ToHex(data));
  release(block);

  saveObjects(data.data(), 4, file, "loaded key");
  block = load(file.c_str(), &length, "loaded key");
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(test::ToHex(block, 4), test::ToHex(data));
  release(block);

  // The library's exceptions reach a host that shares the C++ runtime.
  length = 3;
  try {
    load(file.c_str(), &length, "another key");
    ADD_FAILURE() << "a wrong key was accepted";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()),
              "Sealkit ERROR: File " + file + " cannot be Correctly Decrypted!");
  }
  EXPECT_EQ(length, 3);
}

// Mangled-name prefixes of what the library may export besides its C functions: the public
// classes with their type information and dispatch tables, and the public free functions of
// machine_key.h, keying.h, streams.h, sealed.h and secrets.h.
bool IsPublicClassSymbol(const std::string& name) {
  static const char* const kClasses[] = {
      "12CBlockCipher", "15CRijndaelCipher", "4CSHA",         "9FileError",
      "10ByteReader",   "10ByteWriter",      "11CipherError", "9SealedKey",
      "11SealedError",  "13SealingWriter",   "11NewIdentity", "14ArmoringWriter"};
  for (const char* c : kClasses) {
    for (const char* prefix :
         {"_ZN6vantry", "_ZNK6vantry", "_ZTIN6vantry", "_ZTSN6vantry", "_ZTVN6vantry"}) {
      if (name.rfind(std::string(prefix) + c, 0) == 0) {
        return true;
      }
    }
  }
  static const char* const kFunctions[] = {"GetMachineKey",
                                           "KeyCipher",
                                           "OpenFileReader",
                                           "OpenMemoryReader",
                                           "OpenStandardInputReader",
                                           "OpenStandardOutputWriter",
                                           "CreateFileWriter",
                                           "CreateNewFileWriter",
                                           "EncryptStream",
                                           "DecryptStream",
                                           "SealStream",
                                           "UnsealStream",
                                           "LooksSealed",
                                           "SealedKeyKindName",
                                           "ListSealedSlots",
                                           "ChangeSealedSlots",
                                           "RecipientFromText",
                                           "IdentityFromText",
                                           "RecipientOfIdentity",
                                           "EnsureSealingSecret",
                                           "DescribeSealingSecret",
                                           "ExportSealingSecret",
                                           "ImportSealingSecret",
                                           "KeyFileLines",
                                           "RecoveryRecipients",
                                           "WithRecoveryRecipients"};
  for (const std::string function : kFunctions) {
    if (name.rfind("_ZN6vantry" + std::to_string(function.size()) + function, 0) == 0) {
      return true;
    }
  }
  return false;
}

// Weak copies of standard library templates that the library's code instantiated, the type
// information of function types (std::function<void()> holding a function pointer) and of
// nested standard classes (the state of a std::thread running a std::function): the compiler
// gives them default visibility whatever the library asks for. They are not the library's own.
bool IsStandardLibraryInstance(const std::string& name) {
  for (const char* prefix : {"_ZNSt", "_ZNKSt", "_ZSt", "_ZTISt", "_ZTSSt", "_ZTVSt", "_ZTINSt",
                             "_ZTSNSt", "_ZTVNSt", "_ZZNSt", "_ZZSt", "_ZGVZNSt", "_ZN9__gnu_cxx",
                             "_ZNK9__gnu_cxx", "_ZTIF", "_ZTSF", "_ZTIPF", "_ZTSPF"}) {
    if (name.rfind(prefix, 0) == 0) {
      return true;
    }
  }
  return false;
}

std::vector<std::string> DynamicSymbols() {
  const std::string command =
      std::string("nm -D --defined-only '") + VANTRY_SHARED_LIBRARY + "' 2>/dev/null";
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    throw std::runtime_error("cannot run nm");
  }
  std::vector<std::string> names;
  char line[4096];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
      text.pop_back();
    }
    const std::size_t lastBlank = text.rfind(' ');
    names.push_back(lastBlank == std::string::npos ? text : text.substr(lastBlank + 1));
  }
  if (pclose(pipe) != 0) {
    throw std::runtime_error("nm failed on " + std::string(VANTRY_SHARED_LIBRARY));
  }
  return names;
}

TEST(SharedLibrary, ExportsTheEntryPointsAndPublicClassesOnly) {
  const std::vector<std::string> symbols = DynamicSymbols();
  ASSERT_FALSE(symbols.empty());
  const std::set<std::string> entryPoints(std::begin(kEntryPoints), std::end(kEntryPoints));
  const std::set<std::string> linkerSymbols = {"_init", "_fini", "_edata", "_end", "__bss_start"};
  std::set<std::string> found;
  for (const std::string& name : symbols) {
    if (entryPoints.count(name) != 0) {
      found.insert(name);
      continue;
    }
    if (IsPublicClassSymbol(name)) {
      found.insert(name.substr(0, 12));
      continue;
    }
    EXPECT_TRUE(IsStandardLibraryInstance(name) || linkerSymbols.count(name) != 0)
        << "exported but not public: " << name;
  }
  for (const char* name : kEntryPoints) {
    EXPECT_EQ(found.count(name), 1u) << name << " is not exported";
  }
  for (const char* expected : {"_ZN6vantry13GetMachineKey", "_ZTVN6vantry15CRijndaelCipherE",
                               "_ZTIN6vantry9FileErrorE", "_ZN6vantry4CSHA7AddData"}) {
    bool present = false;
    for (const std::string& name : symbols) {
      present = present || name.rfind(expected, 0) == 0;
    }
    EXPECT_TRUE(present) << expected << " is not exported";
  }
}

}  // namespace
}  // namespace vantry
