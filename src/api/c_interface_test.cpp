// The C interface against the entry points (same files both ways, same key derivation), every
// status from a real condition with its message, and what stays on disk after a failure.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "api/api_test_util.h"
#include "platform/file.h"
#include "support/bad_files.h"
#include "support/messages.h"
#include "support/test_support.h"
#include "vantry/machine_key.h"
#include "vantry/vantry.h"
#include "vantry/vantry_c.h"

namespace vantry {
namespace {

using test::Bytes;
using test::kMissingFolder;
using test::kMissingFolderText;
using test::TempDir;

using Names = std::vector<std::string>;

constexpr char kKey[] = "correct horse battery staple";

Bytes Data(std::size_t n) {
  Bytes data(n);
  for (std::size_t i = 0; i < n; ++i) {
    data[i] = static_cast<unsigned char>(i * 7 + 1);
  }
  return data;
}

int SaveText(const std::string& name, const Bytes& data, const std::string& key = kKey) {
  return vantry_save(name.c_str(), data.data(), data.size(), VANTRY_KEY_TEXT, key.data(),
                     key.size());
}

struct Loaded {
  int status;
  Bytes bytes;
  bool nullOnFailure;
};

Loaded LoadWith(const std::string& name, int kind, const void* key, std::size_t keyLength) {
  static unsigned char notYetLoaded;
  unsigned char* data = &notYetLoaded;  // the load must overwrite it
  std::size_t length = 12345;
  const int status = vantry_load(name.c_str(), kind, key, keyLength, &data, &length);
  Loaded result{status, {}, data == nullptr && length == 0};
  if (data != nullptr && status == VANTRY_OK) {
    result.bytes.assign(data, data + length);
    vantry_free(data, length);
  }
  return result;
}

Loaded LoadText(const std::string& name, const std::string& key = kKey) {
  return LoadWith(name, VANTRY_KEY_TEXT, key.data(), key.size());
}

// What the entry points return for the same data: the data, its zero padding, 32 zero bytes.
Bytes Expected(const Bytes& data) {
  Bytes expected = data;
  expected.resize((data.size() + 15) / 16 * 16 + 32, 0);
  return expected;
}

TEST(CInterfaceTest, FilesPassBothWaysBetweenTheCInterfaceAndTheEntryPoints) {
  TempDir dir;
  for (std::size_t size : {0, 1, 15, 16, 17, 383, 384, 385, 1000}) {
    SCOPED_TRACE(size);
    const Bytes data = Data(size);
    const std::string ours = dir.File("c.vty");
    const std::string theirs = dir.File("entry.vty");
    ASSERT_EQ(SaveText(ours, data), VANTRY_OK) << vantry_last_error();
    SaveVantryWithKey2(data.data(), static_cast<std::int32_t>(size), theirs.c_str(), kKey);
    EXPECT_EQ(test::ReadFile(ours), test::ReadFile(theirs));

    const Loaded loaded = LoadText(theirs);
    ASSERT_EQ(loaded.status, VANTRY_OK) << vantry_last_error();
    EXPECT_EQ(loaded.bytes, Expected(data));
    EXPECT_STREQ(vantry_last_error(), "");

    std::int32_t length = -1;
    unsigned char* block = LoadVantryWithKey2(ours.c_str(), &length, kKey);
    EXPECT_EQ(Bytes(block, block + length), Expected(data));
    FreeVantryBuffer(block);
  }
}

TEST(CInterfaceTest, EachKeyKindIsTheKeyOfTheMatchingEntryPoint) {
  TempDir dir;
  const Bytes data = Data(40);
  unsigned char abc[VANTRY_KEY_BYTES_LENGTH] = {'a', 'b', 'c'};
  const unsigned char zeros[VANTRY_KEY_BYTES_LENGTH] = {};
  const struct {
    const char* what;
    int kind;
    const void* key;
    std::size_t keyLength;
    const char* entryPointKey;  // null: the machine key
  } cases[] = {
      {"machine", VANTRY_KEY_MACHINE, nullptr, 0, nullptr},
      {"text", VANTRY_KEY_TEXT, "abc", 3, "abc"},
      {"bytes of a short text", VANTRY_KEY_BYTES, abc, sizeof abc, "abc"},
      // The empty text of SaveVantryWithKey2 is the key of zero bytes.
      {"zero bytes", VANTRY_KEY_BYTES, zeros, sizeof zeros, ""},
      // Only 16 bytes take part; the entry points copy 32 characters and use as many.
      {"text beyond 16", VANTRY_KEY_TEXT, "0123456789abcdefXYZ", 19, "0123456789abcdefQ"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string ours = dir.File("c.vty");
    const std::string theirs = dir.File("entry.vty");
    ASSERT_EQ(vantry_save(ours.c_str(), data.data(), data.size(), c.kind, c.key, c.keyLength),
              VANTRY_OK)
        << vantry_last_error();
    SaveVantryWithKey2(data.data(), static_cast<std::int32_t>(data.size()), theirs.c_str(),
                       c.entryPointKey);
    EXPECT_EQ(test::ReadFile(ours), test::ReadFile(theirs));
    EXPECT_EQ(LoadWith(theirs, c.kind, c.key, c.keyLength).bytes, Expected(data));
  }
}

TEST(CInterfaceTest, RefusedArgumentsTouchNothing) {
  TempDir dir;
  const std::string name = dir.File("kept.vty");
  const Bytes old = Data(5);
  test::WriteFile(name, old);
  const unsigned char bytes[VANTRY_KEY_BYTES_LENGTH + 1] = {};
  const unsigned char indistinct[VANTRY_KEY_BYTES_LENGTH] = {0x41, 0x00, 0xFF};
  const struct {
    const char* name;
    const void* data;
    std::size_t length;
    int kind;
    const void* key;
    std::size_t keyLength;
    std::string message;
  } cases[] = {
      {nullptr, "x", 1, VANTRY_KEY_TEXT, "k", 1, "vantry_save: no file name"},
      {"", "x", 1, VANTRY_KEY_TEXT, "k", 1, "vantry_save: no file name"},
      {name.c_str(), nullptr, 1, VANTRY_KEY_TEXT, "k", 1,
       "vantry_save: no data for a length of 1 bytes"},
      {name.c_str(), "x", 1, VANTRY_KEY_TEXT, "", 0, "a key text must not be empty"},
      {name.c_str(), "x", 1, VANTRY_KEY_TEXT, nullptr, 3, "a key text must not be empty"},
      {name.c_str(), "x", 1, VANTRY_KEY_TEXT, "a\0b", 3, "a key text must not contain a zero byte"},
      {name.c_str(), "x", 1, VANTRY_KEY_BYTES, bytes, 15, "a raw key must have exactly 16 bytes"},
      {name.c_str(), "x", 1, VANTRY_KEY_BYTES, bytes, 17, "a raw key must have exactly 16 bytes"},
      {name.c_str(), "x", 1, VANTRY_KEY_BYTES, nullptr, 16, "a raw key must have exactly 16 bytes"},
      {name.c_str(), "x", 1, VANTRY_KEY_BYTES, indistinct, 16, test::kIndistinctKeyMessage},
      {name.c_str(), "x", 1, VANTRY_KEY_MACHINE, "k", 1, "the machine key takes no key data"},
      {name.c_str(), "x", 1, VANTRY_KEY_MACHINE, nullptr, 1, "the machine key takes no key data"},
      {name.c_str(), "x", 1, 3, "k", 1, "unknown key kind 3"},
      {name.c_str(), "x", 1, -1, "k", 1, "unknown key kind -1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(vantry_save(c.name, c.data, c.length, c.kind, c.key, c.keyLength),
              VANTRY_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(vantry_last_error(), c.message);
    EXPECT_EQ(vantry_last_system_error(), 0);
    if (c.data != nullptr) {
      unsigned char* data = nullptr;
      std::size_t length = 0;
      EXPECT_EQ(vantry_load(c.name, c.kind, c.key, c.keyLength, &data, &length),
                VANTRY_ERROR_INVALID_ARGUMENT);
      const std::string message = c.message.rfind("vantry_save: ", 0) == 0
                                      ? "vantry_load" + c.message.substr(11)
                                      : c.message;
      EXPECT_EQ(vantry_last_error(), message);
      EXPECT_EQ(data, nullptr);
    }
  }
  std::size_t length = 7;
  unsigned char* data = nullptr;
  EXPECT_EQ(vantry_load(name.c_str(), VANTRY_KEY_TEXT, "k", 1, nullptr, &length),
            VANTRY_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(vantry_load(name.c_str(), VANTRY_KEY_TEXT, "k", 1, &data, nullptr),
            VANTRY_ERROR_INVALID_ARGUMENT);
  EXPECT_STREQ(vantry_last_error(), "vantry_load: no place for the loaded block or its length");
  EXPECT_EQ(test::ReadFile(name), old);
  EXPECT_EQ(dir.Entries(), Names{"kept.vty"});
}

TEST(CInterfaceTest, DataLongerThanALoadableFileIsRefusedBeforeItIsRead) {
  TempDir dir;
  const std::string name = dir.File("big.vty");
  // The largest data still gives a file below 2 GiB, the most a load reads.
  static_assert(32 + (VANTRY_MAX_DATA_LENGTH + 15) / 16 * 16 <= 0x7FFFFFFF, "loadable");
  static_assert(32 + (VANTRY_MAX_DATA_LENGTH + 16 + 15) / 16 * 16 > 0x7FFFFFFF, "the largest");
  const unsigned char one = 1;  // never read: the length is refused first
  EXPECT_EQ(vantry_save(name.c_str(), &one, VANTRY_MAX_DATA_LENGTH + 1, VANTRY_KEY_TEXT, "k", 1),
            VANTRY_ERROR_TOO_LARGE);
  EXPECT_STREQ(vantry_last_error(),
               "vantry_save: 2147483601 bytes are more than a protected file holds");
  EXPECT_EQ(dir.Entries(), Names{});
}

TEST(CInterfaceTest, EveryLoadFailureHasItsStatusAndTheLibrarysMessage) {
  TempDir dir;
  const std::string good = dir.File("good.vty");
  ASSERT_EQ(SaveText(good, Data(20)), VANTRY_OK);
  const Bytes file = test::ReadFile(good);

  const std::string big = dir.File("big.vty");  // 2 GiB, sparse
  test::WriteFile(big, {});
  std::filesystem::resize_file(big, std::uint64_t{1} << 31);
  const std::string missing = dir.File("none/x.vty");

  const struct {
    std::string name;
    std::string key;
    int status;
    std::string message;
    int systemCode;
  } cases[] = {
      {good, "another key", VANTRY_ERROR_WRONG_KEY,
       "Sealkit ERROR: File " + good + " cannot be Correctly Decrypted!", 0},
      // One byte off within the 16 that count.
      {good, "correct horse bXttery staple", VANTRY_ERROR_WRONG_KEY,
       "Sealkit ERROR: File " + good + " cannot be Correctly Decrypted!", 0},
      {big, kKey, VANTRY_ERROR_TOO_LARGE,
       "cannot read the size of file " + big + ": File too large", 0},
      {missing, kKey, VANTRY_ERROR_FILE,
       "cannot open file for reading " + missing + ": " + kMissingFolderText, kMissingFolder},
      {dir.path(), kKey, VANTRY_ERROR_FILE, "", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name + " " + c.key);
    const Loaded loaded = LoadText(c.name, c.key);
    EXPECT_EQ(loaded.status, c.status) << vantry_last_error();
    EXPECT_TRUE(loaded.nullOnFailure);
    if (!c.message.empty()) {
      EXPECT_EQ(vantry_last_error(), c.message);
      EXPECT_EQ(vantry_last_system_error(), c.systemCode);
    } else {
      EXPECT_NE(vantry_last_system_error(), 0);
    }
  }
  EXPECT_EQ(test::ReadFile(good), file);
  // Bytes after the 16th take no part.
  EXPECT_EQ(LoadText(good, "correct horse baXXX").status, VANTRY_OK);
}

// Every bad file has its status and the library's message, and the load hands back nothing.
class CInterfaceBadFileTest : public ::testing::TestWithParam<test::BadFile> {};

TEST_P(CInterfaceBadFileTest, HasItsStatusAndMessage) {
  const test::BadFile& c = GetParam();
  TempDir dir;
  const Bytes data = Data(test::kBadFilesDataLength);
  ASSERT_EQ(SaveText(dir.File("good.vty"), data), VANTRY_OK);
  ASSERT_EQ(SaveText(dir.File("other.vty"), data, "another key"), VANTRY_OK);
  const std::string bad = dir.File("bad.vty");
  test::WriteFile(
      bad, c.make(test::ReadFile(dir.File("good.vty")), test::ReadFile(dir.File("other.vty"))));
  const Loaded loaded = LoadText(bad);
  EXPECT_TRUE(loaded.nullOnFailure);
  EXPECT_EQ(loaded.status, c.failure == test::BadFileFailure::kBlockSize ? VANTRY_ERROR_BLOCK_SIZE
                                                                         : VANTRY_ERROR_WRONG_KEY);
  EXPECT_EQ(vantry_last_error(), test::ExpectedMessage(c, bad));
  EXPECT_EQ(vantry_last_system_error(), 0);
}

INSTANTIATE_TEST_SUITE_P(EveryLayerBadFile, CInterfaceBadFileTest,
                         ::testing::ValuesIn(test::BadFiles()), test::BadFileName);

TEST(CInterfaceTest, AFailedSaveLeavesTheOldFileAndNoTemporary) {
  TempDir dir;
  const std::string missing = dir.File("none/x.vty");
  EXPECT_EQ(SaveText(missing, Data(3)), VANTRY_ERROR_FILE);
  EXPECT_EQ(vantry_last_system_error(), kMissingFolder);
  EXPECT_EQ(std::string(vantry_last_error()),
            "cannot create file " + missing + ": " + kMissingFolderText);
  // A folder in the target's place is no file to replace.
  std::filesystem::create_directory(dir.File("folder.vty"));
  EXPECT_EQ(SaveText(dir.File("folder.vty"), Data(3)), VANTRY_ERROR_FILE);
  EXPECT_NE(vantry_last_system_error(), 0);
  EXPECT_EQ(dir.Entries(), Names{"folder.vty"});
}

TEST(CInterfaceTest, TheLastErrorBelongsToTheCallingThread) {
  TempDir dir;
  EXPECT_EQ(LoadText(dir.File("missing.vty")).status, VANTRY_ERROR_FILE);
  const std::string mine = vantry_last_error();
  const int myCode = vantry_last_system_error();
  EXPECT_NE(myCode, 0);
  std::string theirs;
  int theirCode = -1;
  std::thread other([&] {
    theirs = vantry_last_error();  // nothing yet on a new thread
    theirCode = vantry_last_system_error();
    EXPECT_EQ(SaveText(dir.File("ok.vty"), Data(1)), VANTRY_OK);
  });
  other.join();
  EXPECT_EQ(theirs, "");
  EXPECT_EQ(theirCode, 0);
  EXPECT_EQ(vantry_last_error(), mine);
  EXPECT_EQ(vantry_last_system_error(), myCode);
}

TEST(CInterfaceTest, ALongMessageIsCutAtACharacterBoundary) {
  TempDir dir;
  // 2-byte characters placed so that byte 1023 of the message falls inside one.
  std::string name = dir.File("");
  while (name.size() < 1100) {
    name += "\xC3\xA9";
  }
  for (int shift = 0; shift < 2; ++shift) {
    const std::string shifted = name + std::string(static_cast<std::size_t>(shift), 'x');
    SCOPED_TRACE(shift);
    EXPECT_EQ(LoadText(shifted).status, VANTRY_ERROR_FILE);
    const std::string message = vantry_last_error();
    EXPECT_LE(message.size(), 1023u);
    EXPECT_GE(message.size(), 1022u);
    EXPECT_EQ(message.back(), '\xA9');
  }
}

TEST(CInterfaceTest, StatusTextsAndVersion) {
  std::vector<std::string> texts;
  for (int status = VANTRY_OK; status <= VANTRY_ERROR_INTERNAL; ++status) {
    texts.push_back(vantry_status_text(status));
  }
  EXPECT_EQ(texts,
            (std::vector<std::string>{"success", "wrong key or not a protected file",
                                      "cipher text is not a whole number of blocks",
                                      "too large for a protected file", "file error",
                                      "invalid argument", "out of memory", "internal error"}));
  EXPECT_STREQ(vantry_status_text(VANTRY_ERROR_TPM_LOCKOUT + 1), "unknown status");
  EXPECT_STREQ(vantry_status_text(-1), "unknown status");
  // The header, the library and the project agree.
  EXPECT_STREQ(vantry_version(), VANTRY_PROJECT_VERSION);
  EXPECT_STREQ(VANTRY_VERSION_STRING, VANTRY_PROJECT_VERSION);
  EXPECT_EQ(std::to_string(vantry_version_number() / 10000) + "." +
                std::to_string(vantry_version_number() / 100 % 100) + "." +
                std::to_string(vantry_version_number() % 100),
            VANTRY_PROJECT_VERSION);
}

TEST(CInterfaceTest, FreeAcceptsNull) { vantry_free(nullptr, 10); }

}  // namespace
}  // namespace vantry
