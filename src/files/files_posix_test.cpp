// What only a POSIX system lets a test arrange: a really full disk (a tiny tmpfs, as root),
// sparse files of several GiB, hard and symbolic links, a folder that refuses temporaries.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "files/files_test_util.h"
#include "support/other_user.h"

namespace vantry::test {
namespace {

namespace fs = std::filesystem;

// A 64 KiB tmpfs mounted for one test, unmounted with it.
class TinyVolume {
 public:
  explicit TinyVolume(const std::string& mountPoint) : m_mountPoint(mountPoint) {
    fs::create_directory(mountPoint);
    const std::string command =
        "mount -t tmpfs -o size=64k vantry-test '" + mountPoint + "' 2>/dev/null";
    m_mounted = std::system(command.c_str()) == 0;
  }
  ~TinyVolume() {
    if (m_mounted) {
      const std::string command = "umount '" + m_mountPoint + "'";
      if (std::system(command.c_str()) != 0) {
        ADD_FAILURE() << "cannot unmount " << m_mountPoint;
      }
    }
  }
  TinyVolume(const TinyVolume&) = delete;
  TinyVolume& operator=(const TinyVolume&) = delete;
  bool mounted() const { return m_mounted; }
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(m_mountPoint)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::string m_mountPoint;
  bool m_mounted = false;
};

TEST(FullDiskTest, SaveThatRunsOutOfSpaceLeavesThePreviousFileAndNoTemporary) {
  TempDir dir;
  TinyVolume volume(dir.File("volume"));
  if (!volume.mounted()) {
    GTEST_SKIP() << "mounting a tmpfs needs root (and the right to mount); not available here";
  }
  const std::string saved = dir.File("volume/saved");
  const Bytes small = PatternBytes(20000);
  auto cipher = EntryCipher();
  cipher->EncryptToFile(small.data(), static_cast<std::int32_t>(small.size()), saved);
  const Bytes previous = ReadFile(saved);

  const Bytes large = PatternBytes(100000);
  WriteFile(dir.File("plain"), large);
  cipher->EncryptFile(dir.File("plain"), dir.File("protected"));
  try {
    cipher->EncryptToFile(large.data(), static_cast<std::int32_t>(large.size()), saved);
    ADD_FAILURE() << "a 100000-byte save fitted on a 64 KiB volume";
  } catch (const FileError& e) {
    EXPECT_EQ(e.file_name(), saved);
  }
  EXPECT_EQ(ReadFile(saved), previous);
  EXPECT_EQ(volume.Entries(), std::vector<std::string>{"saved"});

  EXPECT_ANY_THROW(cipher->EncryptFile(dir.File("plain"), saved));
  EXPECT_ANY_THROW(cipher->DecryptFile(dir.File("protected"), saved));
  EXPECT_EQ(MessageOf([&] { cipher->EncryptFileStream(dir.File("plain"), saved); }),
            CannotWrite(saved));
  EXPECT_EQ(MessageOf([&] { cipher->DecryptFileStream(dir.File("protected"), saved); }),
            CannotWrite(saved));
  EXPECT_EQ(ReadFile(saved), previous);
  EXPECT_EQ(volume.Entries(), std::vector<std::string>{"saved"});
  EXPECT_EQ(ToHex(LoadProtected(*cipher, saved)),
            ToHex(Concat(Concat(small, Fill(small.size(), 16, 0)), Bytes(32, 0))));
}

// A size that does not fit a signed 32-bit count is refused before anything is allocated,
// also where cutting it to 32 bits would give a small, plausible size (4 GiB + 48 -> 48).
TEST(LargeFileTest, MemoryBackedOperationsRefuseTwoGibibytesAndMore) {
  TempDir dir;
  for (std::uint64_t size : {std::uint64_t{1} << 31, (std::uint64_t{1} << 32) + 48}) {
    SCOPED_TRACE(size);
    const std::string big = dir.File("big");
    WriteFile(big, {});
    fs::resize_file(big, size);  // sparse: no disk space taken

    std::int32_t length = 5;
    ExpectFileError([&] { EntryCipher()->DecryptFromFile(big, &length); }, FileError::Cause::kSize,
                    big);
    EXPECT_EQ(length, 5);
    ExpectFileError([&] { EntryCipher()->DecryptFile(big, dir.File("out")); },
                    FileError::Cause::kSize, big);
    ExpectFileError([&] { EntryCipher()->EncryptFile(big, dir.File("out")); },
                    FileError::Cause::kSize, big);
    EXPECT_FALSE(FileExists(dir.File("out")));
  }
}

TEST(LinkedNamesTest, StreamPairRefusesTwoNamesOfOneFile) {
  TempDir dir;
  const Bytes data = PatternBytes(1000);
  WriteFile(dir.File("plain"), data);
  fs::create_hard_link(dir.File("plain"), dir.File("hard"));
  fs::create_symlink(dir.File("plain"), dir.File("soft"));
  auto cipher = KeyedCipher(16, 16, MODE_CBC, PAD_ZERO);

  for (const char* other : {"hard", "soft"}) {
    SCOPED_TRACE(other);
    EXPECT_EQ(MessageOf([&] { cipher->EncryptFileStream(dir.File("plain"), dir.File(other)); }),
              SameFile(dir.File("plain")));
    EXPECT_EQ(MessageOf([&] { cipher->DecryptFileStream(dir.File(other), dir.File("plain")); }),
              SameFile(dir.File(other)));
  }
  EXPECT_EQ(ReadFile(dir.File("plain")), data);
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"hard", "plain", "soft"}));
}

// Memory-backed operations read their input to the end before writing, so a link to the
// input as output is as safe as the same name: the file is replaced by its protected form.
TEST(LinkedNamesTest, EncryptFileThroughAHardLinkToItsInput) {
  TempDir dir;
  const Bytes data = PatternBytes(1000);
  WriteFile(dir.File("plain"), data);
  fs::create_hard_link(dir.File("plain"), dir.File("hard"));
  auto cipher = EntryCipher();
  cipher->EncryptFile(dir.File("plain"), dir.File("hard"));
  EXPECT_EQ(ToHex(LoadProtected(*cipher, dir.File("hard"))),
            ToHex(Concat(Concat(data, Fill(data.size(), 16, 0)), Bytes(32, 0))));
}

// A folder the caller cannot write makes the writer rewrite a writable target in place, which
// cuts it at the first byte written: an input whose header or size is bad must be refused
// before that, and the target left whole.
TEST(InPlaceFallbackTest, AnInputRefusedByItsHeaderOrSizeLeavesTheTargetWhole) {
  if (!CanActAsOtherUser()) {
    GTEST_SKIP() << "needs root to act as a second user";
  }
  TempDir dir;
  const Bytes data = PatternBytes(300000);  // more than the writer buffers
  EntryCipher()->EncryptToFile(data.data(), 300000, dir.File("good.vty"));
  EntryCipher("another key")->EncryptToFile(data.data(), 300000, dir.File("foreign.vty"));
  WriteFile(dir.File("odd.vty"), Concat(ReadFile(dir.File("good.vty")), Bytes{1}));
  const Bytes old = PatternBytes(50, 9);
  WriteFile(dir.File("out"), old);
  fs::permissions(dir.File("out"), fs::perms(0666));
  fs::permissions(dir.path(), fs::perms(0755));
  EXPECT_TRUE(AsOtherUser([&] {
    auto cipher = EntryCipher();
    for (const char* input : {"odd.vty", "foreign.vty"}) {
      const std::string message =
          MessageOf([&] { cipher->DecryptFileStream(dir.File(input), dir.File("out")); });
      if (message.empty() || ReadFile(dir.File("out")) != old) {
        return false;
      }
    }
    // The good input is written in place, so the refusals above met the in-place writer.
    cipher->DecryptFileStream(dir.File("good.vty"), dir.File("out"));
    return true;
  }));
  fs::permissions(dir.path(), fs::perms::owner_all);
  EXPECT_EQ(ReadFile(dir.File("out")), data);
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"foreign.vty", "good.vty", "odd.vty", "out"}));
}

}  // namespace
}  // namespace vantry::test
