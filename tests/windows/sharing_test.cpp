// Windows sharing as a host meets it through vantry.dll: while another handle holds a
// protected file, however it shares, a save to it and a load of it fail with
// ERROR_SHARING_VIOLATION and the file stays exactly as it was.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "vantry/file_error.h"
#include "vantry/vantry.h"

namespace vantry {
namespace {

using test::Bytes;
using test::TempDir;
using Names = std::vector<std::string>;

// Each pair of entry points, with its own key, saving and loading one file.
struct Pair {
  const char* name;
  std::function<void(const Bytes&, const std::string&)> save;
  std::function<unsigned char*(const std::string&, std::int32_t*)> load;
};

std::vector<Pair> Pairs() {
  return {
      {"SaveVantry/LoadVantry",
       [](const Bytes& d, const std::string& f) {
         SaveVantry(d.data(), static_cast<std::int32_t>(d.size()), f.c_str());
       },
       [](const std::string& f, std::int32_t* n) { return LoadVantry(f.c_str(), n); }},
      {"SaveVantryWithKey/LoadVantryWithKey",
       [](const Bytes& d, const std::string& f) {
         SaveVantryWithKey(d.data(), static_cast<std::int32_t>(d.size()), f, "sharing key one");
       },
       [](const std::string& f, std::int32_t* n) {
         return LoadVantryWithKey(f, n, "sharing key one");
       }},
      {"SaveVantryWithKey2/LoadVantryWithKey2",
       [](const Bytes& d, const std::string& f) {
         SaveVantryWithKey2(d.data(), static_cast<std::int32_t>(d.size()), f.c_str(), "two");
       },
       [](const std::string& f, std::int32_t* n) {
         return LoadVantryWithKey2(f.c_str(), n, "two");
       }},
  };
}

// How another program may hold the file: every one of them keeps Vantry out, since Vantry
// opens without sharing and so conflicts with any handle at all.
struct Holder {
  const char* what;
  DWORD access;
  DWORD share;
};
constexpr Holder kHolders[] = {
    {"a reader that shares nothing", GENERIC_READ, 0},
    {"a writer that shares nothing", GENERIC_WRITE, 0},
    {"a reader that shares everything", GENERIC_READ,
     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE},
};

// Runs f and returns the FileError it throws; fails the test when it throws none.
FileError::Cause CatchSharingViolation(const std::function<void()>& f, const std::string& name,
                                       const char* causeText) {
  try {
    f();
  } catch (const FileError& e) {
    EXPECT_EQ(e.code().value(), ERROR_SHARING_VIOLATION) << e.what();
    // The DLL's own runtime's system category: the same by name, not by address.
    EXPECT_STREQ(e.code().category().name(), "system");
    EXPECT_EQ(e.file_name(), name);
    const std::string prefix = std::string(causeText) + " " + name + ": ";
    EXPECT_EQ(std::string(e.what()).rfind(prefix, 0), 0u) << e.what();
    EXPECT_GT(std::string(e.what()).size(), prefix.size()) << "no system text";
    return e.cause();
  } catch (const std::exception& e) {
    ADD_FAILURE() << "not a FileError: " << e.what();
    return FileError::Cause::kReplace;
  }
  ADD_FAILURE() << "no exception";
  return FileError::Cause::kReplace;
}

TEST(SharingTest, AHeldFileIsNeitherSavedNorLoadedAndStaysAsItWas) {
  TempDir dir;
  const std::string name = dir.File("held.vantry");
  std::mt19937_64 rng(5);
  const Bytes original = test::RandomBytes(rng, 700);
  const Bytes replacement(300, 0x5A);
  for (const Pair& pair : Pairs()) {
    for (const Holder& holder : kHolders) {
      SCOPED_TRACE(std::string(pair.name) + ", held by " + holder.what);
      pair.save(original, name);
      const Bytes before = test::ReadFile(name);
      {
        const HANDLE held = CreateFileA(name.c_str(), holder.access, holder.share, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        EXPECT_EQ(CatchSharingViolation([&] { pair.save(replacement, name); }, name,
                                        "cannot create file"),
                  FileError::Cause::kCreate);
        std::int32_t length = -7;
        EXPECT_EQ(CatchSharingViolation([&] { FreeVantryBuffer(pair.load(name, &length)); }, name,
                                        "cannot open file for reading"),
                  FileError::Cause::kOpen);
        EXPECT_EQ(length, -7);
        CloseHandle(held);
      }
      EXPECT_EQ(test::ReadFile(name), before);
      EXPECT_EQ(dir.Entries(), Names{"held.vantry"});  // no temporary file left over
      // And once released, the file is whole: it still loads as saved.
      std::int32_t length = 0;
      unsigned char* block = pair.load(name, &length);
      ASSERT_EQ(length, 32 + 704);
      EXPECT_EQ(Bytes(block, block + 700), original);
      FreeVantryBuffer(block);
    }
  }
}

TEST(SharingTest, ANewFileThatIsHeldWhileMissingIsNotCreated) {
  // A program that creates the file first and holds it keeps the save out; the save leaves the
  // other program's empty file, not a file of its own.
  TempDir dir;
  const std::string name = dir.File("raced.vantry");
  const HANDLE held = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(CatchSharingViolation(
                [&] {
                  SaveVantryWithKey2(reinterpret_cast<const unsigned char*>("abc"), 3, name.c_str(),
                                     "key");
                },
                name, "cannot create file"),
            FileError::Cause::kCreate);
  CloseHandle(held);
  EXPECT_EQ(test::ReadFile(name), Bytes{});
  EXPECT_EQ(dir.Entries(), Names{"raced.vantry"});
}

}  // namespace
}  // namespace vantry
