// Entry-point saves and loads against what a real system throws at them: a full volume at each
// point of a save, names the shell would quote, a folder where a file belongs, a file too large
// to load. Each must fail with a FileError naming the file and leave what was there as it was.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "vantry/file_error.h"
#include "vantry/vantry.h"

namespace vantry::test {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

const char kKey[] = "fault test key!!";

void Save(const Bytes& data, const std::string& name) {
  SaveVantryWithKey2(data.data(), static_cast<std::int32_t>(data.size()), name.c_str(), kKey);
}

Bytes Load(const std::string& name) {
  std::int32_t length = 0;
  unsigned char* block = LoadVantryWithKey2(name.c_str(), &length, kKey);
  Bytes out(block, block + length);
  FreeVantryBuffer(block);
  return out;
}

Bytes Loaded(const Bytes& data) {
  Bytes out = data;
  out.resize((data.size() + 15) / 16 * 16 + 32, 0);
  return out;
}

// Runs f, which must throw a FileError of the cause naming name.
template <class F>
void ExpectFileError(F f, FileError::Cause cause, const std::string& name) {
  try {
    f();
    ADD_FAILURE() << "no FileError for " << name;
  } catch (const FileError& e) {
    EXPECT_EQ(e.cause(), cause) << e.what();
    EXPECT_EQ(e.file_name(), name);
  }
}

// A tmpfs of 256 KiB (and few inodes) on a folder for the life of the object; root only.
class SmallVolume {
 public:
  SmallVolume(const std::string& path, const std::string& options) : m_path(path) {
    fs::create_directory(path);
    m_mounted =
        ::geteuid() == 0 &&
        std::system(("mount -t tmpfs -o " + options + " vantry-faults '" + path + "' 2>/dev/null")
                        .c_str()) == 0;
  }
  ~SmallVolume() {
    if (m_mounted) {
      EXPECT_EQ(std::system(("umount '" + m_path + "'").c_str()), 0);
    }
  }
  SmallVolume(const SmallVolume&) = delete;
  SmallVolume& operator=(const SmallVolume&) = delete;
  bool mounted() const { return m_mounted; }
  Names Entries() const {
    Names names;
    for (const auto& e : fs::directory_iterator(m_path)) {
      names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  // Takes all free space but pages of 4 KiB with a file outside the library's view.
  void LeaveFree(std::uintmax_t pages) {
    const std::uintmax_t available = fs::space(m_path).available;
    ASSERT_GE(available, pages * 4096);
    const std::string filler = m_path + "/filler";
    WriteFile(filler, Bytes(static_cast<std::size_t>(available - pages * 4096), 0xF1));
    ASSERT_EQ(fs::space(m_path).available, pages * 4096);
  }

 private:
  std::string m_path;
  bool m_mounted = false;
};

constexpr const char* kNeedsRoot = "mounting a tmpfs needs root and mount(2); not available here";

struct FullAt {
  const char* point;
  std::uintmax_t freePages;  // the save needs 25 pages: 32 + 100000 bytes
};

// How GoogleTest shows the case in its output (the default would dump its bytes).
inline void PrintTo(const FullAt& c, std::ostream* os) {
  *os << c.point << " (" << c.freePages << " free pages)";
}

class FullVolumeSave : public ::testing::TestWithParam<FullAt> {};

TEST_P(FullVolumeSave, FailsNamingTheFileAndLeavesThePreviousOneAlone) {
  TempDir dir;
  SmallVolume volume(dir.File("volume"), "size=256k");
  if (!volume.mounted()) {
    GTEST_SKIP() << kNeedsRoot;
  }
  const std::string name = dir.File("volume/saved file");
  const Bytes previous = RandomBytes(*std::make_unique<std::mt19937_64>(1), 3000);
  Save(previous, name);
  volume.LeaveFree(GetParam().freePages);
  const Bytes large = RandomBytes(*std::make_unique<std::mt19937_64>(2), 100000);
  ExpectFileError([&] { Save(large, name); }, FileError::Cause::kWrite, name);
  EXPECT_EQ(Load(name), Loaded(previous));
  EXPECT_EQ(volume.Entries(), (Names{"filler", "saved file"}));
}

INSTANTIATE_TEST_SUITE_P(EveryPointOfTheSave, FullVolumeSave,
                         ::testing::Values(FullAt{"Header", 0}, FullAt{"FirstChunk", 1},
                                           FullAt{"SecondWrite", 16}, FullAt{"LastChunk", 24}),
                         [](const auto& info) { return std::string(info.param.point); });

TEST(FullVolumeSaveEdge, RoomForExactlyTheFileIsEnough) {
  TempDir dir;
  SmallVolume volume(dir.File("volume"), "size=256k");
  if (!volume.mounted()) {
    GTEST_SKIP() << kNeedsRoot;
  }
  const std::string name = dir.File("volume/saved");
  Save(Bytes(10, 1), name);
  volume.LeaveFree(25);  // the replacement needs 25 pages while the old one still holds its own
  const Bytes large(100000, 7);
  Save(large, name);
  EXPECT_EQ(Load(name), Loaded(large));
  EXPECT_EQ(volume.Entries(), (Names{"filler", "saved"}));
}

TEST(FullVolumeSaveEdge, NoInodeLeftForTheTemporaryIsACreateError) {
  TempDir dir;
  // The root folder, the saved file and another file take every inode.
  SmallVolume volume(dir.File("volume"), "size=256k,nr_inodes=3");
  if (!volume.mounted()) {
    GTEST_SKIP() << kNeedsRoot;
  }
  const std::string name = dir.File("volume/saved");
  Save(Bytes(10, 1), name);
  WriteFile(dir.File("volume/other"), {1});
  ExpectFileError([&] { Save(Bytes(5000, 2), name); }, FileError::Cause::kCreate, name);
  EXPECT_EQ(Load(name), Loaded(Bytes(10, 1)));
  EXPECT_EQ(volume.Entries(), (Names{"other", "saved"}));
}

// Names pass to the system unchanged: blanks, quotes, non-ASCII and invalid UTF-8 bytes.
TEST(OddNames, RoundTripAndLeaveOnlyThemselves) {
  TempDir dir;
  const Names names{" leading and trailing ",
                    "quote ' and \" and $HOME",
                    "caf\xC3\xA9 \xE2\x82\xAC",
                    "invalid \xFF\xFE utf-8",
                    "-dash",
                    std::string(200, 'x') + " \xC3\xA9"};
  for (const auto& base : names) {
    SCOPED_TRACE(base);
    const Bytes data(385, static_cast<unsigned char>(base.size()));
    Save(data, dir.File(base));
    EXPECT_EQ(Load(dir.File(base)), Loaded(data));
  }
  Names expected = names;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(dir.Entries(), expected);
}

TEST(FolderAsFileName, SaveAndLoadRefuseIt) {
  TempDir dir;
  fs::create_directory(dir.File("folder"));
  ExpectFileError([&] { Save(Bytes(17, 1), dir.File("folder")); }, FileError::Cause::kCreate,
                  dir.File("folder"));
  std::int32_t length = 99;
  try {
    LoadVantryWithKey2(dir.File("folder").c_str(), &length, kKey);
    ADD_FAILURE() << "a folder loaded";
  } catch (const FileError& e) {
    EXPECT_EQ(e.file_name(), dir.File("folder"));
  }
  EXPECT_EQ(length, 99);
  EXPECT_TRUE(fs::is_directory(dir.File("folder")));
  EXPECT_EQ(dir.Entries(), Names{"folder"});
}

// Sizes past what a 32-bit length can carry, including one whose low 32 bits look harmless.
TEST(HugeFile, LoadRefusesItWithASizeError) {
  TempDir dir;
  for (std::uintmax_t size :
       {std::uintmax_t{1} << 31, (std::uintmax_t{1} << 32) + 48, (std::uintmax_t{1} << 31) + 32}) {
    SCOPED_TRACE(size);
    const std::string name = dir.File("sparse");
    WriteFile(name, {});
    fs::resize_file(name, size);
    std::int32_t length = 5;
    try {
      LoadVantryWithKey2(name.c_str(), &length, kKey);
      ADD_FAILURE() << "a file of " << size << " bytes loaded";
    } catch (const FileError& e) {
      EXPECT_EQ(e.cause(), FileError::Cause::kSize);
      EXPECT_EQ(e.file_name(), name);
    }
    EXPECT_EQ(length, 5);
    EXPECT_EQ(fs::file_size(name), size);
  }
}

}  // namespace
}  // namespace vantry::test
