// The header-only C++ interface: round trips through its containers and paths, errors told
// apart by code, and ownership of keys and loaded blocks.
#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "api/api_test_util.h"
#include "platform/file.h"
#include "support/test_support.h"
#include "vantry/vantry.h"
#include "vantry/vantry.hpp"

namespace vantry {
namespace {

using test::Bytes;
using test::kMissingFolder;
using test::kMissingFolderText;
using test::TempDir;

Bytes Padded(Bytes data) {
  data.resize((data.size() + 15) / 16 * 16 + 32, 0);
  return data;
}

Bytes ToBytes(const Buffer& buffer) { return Bytes(buffer.begin(), buffer.end()); }

// C++ hosts may call the C interface where nothing may throw (destructors, noexcept code).
static_assert(noexcept(vantry_load(nullptr, 0, nullptr, 0, nullptr, nullptr)) && noexcept(
    vantry_free(nullptr, 0)) && noexcept(vantry_last_error()));

TEST(CppInterfaceTest, SavesEveryContiguousContainerOfBytes) {
  TempDir dir;
  const std::filesystem::path name = dir.File("notes.vty");
  const Key key = Key::Text("a key");
  const std::vector<unsigned char> vector = {1, 2, 3};
  Save(name, vector, key);
  EXPECT_EQ(ToBytes(Load(name, key)), Padded({1, 2, 3}));
  Save(name, std::string("text"), key);
  EXPECT_EQ(ToBytes(Load(name, key)), Padded({'t', 'e', 'x', 't'}));
  Save(name, std::array<std::byte, 2>{std::byte{9}, std::byte{8}}, key);
  EXPECT_EQ(ToBytes(Load(name, key)), Padded({9, 8}));
  Save(name, std::vector<char>{}, key);
  EXPECT_EQ(ToBytes(Load(name, key)), Padded({}));
}

TEST(CppInterfaceTest, FilesPassToAndFromTheEntryPoints) {
  TempDir dir;
  const Bytes data = {'h', 'e', 'l', 'l', 'o'};
  const std::string ours = dir.File("ours.vty");
  const std::string theirs = dir.File("theirs.vty");
  Save(ours, data, Key::Text("shared"));
  SaveVantryWithKey2(data.data(), 5, theirs.c_str(), "shared");
  EXPECT_EQ(test::ReadFile(ours), test::ReadFile(theirs));
  EXPECT_EQ(ToBytes(Load(theirs, Key::Text("shared"))), Padded(data));
  SaveVantry(data.data(), 5, theirs.c_str());
  EXPECT_EQ(ToBytes(Load(theirs, Key::Machine())), Padded(data));
}

TEST(CppInterfaceTest, NamesOutsideAsciiAreTakenAsUnicode) {
  TempDir dir;
  // é, Cyrillic, CJK: the path is built from UTF-8 and must come back as that same name.
  const std::string utf8 =
      "caf\xC3\xA9-\xD0\xB7\xD0\xB0\xD0\xBC\xD0\xB5\xD1\x82\xD0\xBA\xD0\xB8-"
      "\xE8\xA1\xA8.vty";
  const std::filesystem::path name = std::filesystem::u8path(dir.File(utf8));
  Save(name, std::string("x"), Key::Text("k"));
  std::vector<std::string> listed;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    const auto u8 = entry.path().filename().u8string();
    listed.emplace_back(u8.begin(), u8.end());
  }
  EXPECT_EQ(listed, std::vector<std::string>{utf8});
  EXPECT_EQ(ToBytes(Load(name, Key::Text("k"))), Padded({'x'}));
}

TEST(CppInterfaceTest, ErrorsCarryTheirStatusMessageAndSystemCode) {
  TempDir dir;
  const std::string good = dir.File("good.vty");
  Save(good, std::string("data"), Key::Text("right"));
  const std::string missing = dir.File("none/x.vty");
  const struct {
    std::string name;
    Key key;
    Status status;
    std::string message;
    int systemCode;
  } cases[] = {
      {good, Key::Text("wrong"), Status::kWrongKey,
       "Sealkit ERROR: File " + good + " cannot be Correctly Decrypted!", 0},
      {missing, Key::Text("right"), Status::kFile,
       "cannot open file for reading " + missing + ": " + kMissingFolderText, kMissingFolder},
      {good, Key::Text(""), Status::kInvalidArgument, "a key text must not be empty", 0},
      {good, Key::Bytes("short", 5), Status::kInvalidArgument,
       "a raw key must have exactly 16 bytes", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    try {
      Load(c.name, c.key);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.code(), c.status);
      EXPECT_EQ(e.status(), c.status);
      EXPECT_EQ(&e.code().category(), &ErrorCategory());
      EXPECT_EQ(e.what(), c.message);
      EXPECT_EQ(e.system_code(), c.systemCode);
    }
  }
}

TEST(CppInterfaceTest, TheCategoryNamesStatusesAndMapsTheStandardConditions) {
  EXPECT_STREQ(ErrorCategory().name(), "vantry");
  EXPECT_EQ(make_error_code(Status::kWrongKey).message(), "wrong key or not a protected file");
  EXPECT_EQ(std::error_code(Status::kInvalidArgument), std::errc::invalid_argument);
  EXPECT_EQ(std::error_code(Status::kOutOfMemory), std::errc::not_enough_memory);
  EXPECT_NE(std::error_code(Status::kFile), std::errc::invalid_argument);
  EXPECT_EQ(Version(), VANTRY_VERSION_STRING);
}

TEST(CppInterfaceTest, KeysKeepTheirBytesThroughCopiesAndMoves) {
  const unsigned char raw[16] = {0, 1, 2, 0, 4};
  Key original = Key::Bytes(raw, sizeof raw);
  Key copy = original;
  Key moved = std::move(copy);
  for (const Key* key : {&original, &moved}) {
    EXPECT_EQ(key->kind(), VANTRY_KEY_BYTES);
    ASSERT_EQ(key->size(), 16u);
    EXPECT_EQ(Bytes(static_cast<const unsigned char*>(key->data()),
                    static_cast<const unsigned char*>(key->data()) + 16),
              Bytes(raw, raw + 16));
  }
  Key machine = Key::Machine();
  EXPECT_EQ(machine.data(), nullptr);
  EXPECT_EQ(machine.size(), 0u);
  machine = original;
  EXPECT_EQ(machine.kind(), VANTRY_KEY_BYTES);
  EXPECT_EQ(machine.size(), 16u);
}

TEST(CppInterfaceTest, ABufferOwnsItsBlockAlone) {
  TempDir dir;
  const std::string name = dir.File("b.vty");
  Save(name, std::string("abc"), Key::Text("k"));
  Buffer first = Load(name, Key::Text("k"));
  const unsigned char* block = first.data();
  ASSERT_EQ(first.size(), 48u);
  Buffer second = std::move(first);
  EXPECT_EQ(first.data(), nullptr);
  EXPECT_TRUE(first.empty());
  EXPECT_EQ(second.data(), block);
  EXPECT_EQ(second[0], 'a');
  second = Load(name, Key::Text("k"));  // the old block is released
  EXPECT_EQ(second.size(), 48u);
  second.reset();
  EXPECT_EQ(second.data(), nullptr);
  EXPECT_EQ(second.size(), 0u);
}

}  // namespace
}  // namespace vantry
