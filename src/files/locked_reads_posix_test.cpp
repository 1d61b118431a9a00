// Every read path reads its input through the one descriptor that holds it exclusively, to the
// input's end: files without a size (/proc files) are read whole, a FIFO is refused, a held
// input is refused, and an input that fails to read fails the operation without touching its
// output.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "files/files_test_util.h"

namespace vantry::test {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kDataSize = 300001;  // more than a pipe holds; a short last block

struct ReadPath {
  const char* name;
  bool readsProtected;  // its input is a protected file
  bool isStream;        // reports an input it cannot open as "Cannot open File"
  // Runs the operation from input (into output) and returns what it produced.
  std::function<Bytes(CRijndaelCipher&, const std::string&, const std::string&)> run;
};

// How GoogleTest shows the case in its output (the default would dump its bytes).
inline void PrintTo(const ReadPath& c, std::ostream* os) { *os << c.name; }

const ReadPath kReadPaths[] = {
    {"DecryptFromFile", true, false,
     [](CRijndaelCipher& c, const std::string& in, const std::string&) {
       return LoadProtected(c, in);
     }},
    {"DecryptFile", true, false,
     [](CRijndaelCipher& c, const std::string& in, const std::string& out) {
       c.DecryptFile(in, out);
       return ReadFile(out);
     }},
    {"DecryptFileStream", true, true,
     [](CRijndaelCipher& c, const std::string& in, const std::string& out) {
       c.DecryptFileStream(in, out);
       return ReadFile(out);
     }},
    {"EncryptFile", false, false,
     [](CRijndaelCipher& c, const std::string& in, const std::string& out) {
       c.EncryptFile(in, out);
       return ReadFile(out);
     }},
    {"EncryptFileStream", false, true,
     [](CRijndaelCipher& c, const std::string& in, const std::string& out) {
       c.EncryptFileStream(in, out);
       return ReadFile(out);
     }},
};

class LockedReadTest : public ::testing::TestWithParam<ReadPath> {
 protected:
  void SetUp() override {
    cipher->EncryptToFile(plain.data(), static_cast<std::int32_t>(plain.size()),
                          dir.File("reference"));
    protectedBytes = ReadFile(dir.File("reference"));
    fs::remove(dir.File("reference"));
  }

  const Bytes& Input() const { return GetParam().readsProtected ? protectedBytes : plain; }

  Bytes Expected() const {
    const std::string name = GetParam().name;
    const Bytes padded = Concat(plain, Fill(plain.size(), 16, PAD_ZERO));
    if (name == "DecryptFileStream") {
      return padded;
    }
    return GetParam().readsProtected ? Concat(padded, Bytes(32, 0)) : protectedBytes;
  }

  TempDir dir;
  std::unique_ptr<CRijndaelCipher> cipher = EntryCipher();
  Bytes plain = PatternBytes(kDataSize);
  Bytes protectedBytes;
};

TEST_P(LockedReadTest, AnInputHeldByAnotherOpenerIsRefused) {
  const std::string input = dir.File("input");
  WriteFile(input, Input());
  platform::ExclusiveReader holder(input);
  if (GetParam().isStream) {
    EXPECT_EQ(MessageOf([&] { GetParam().run(*cipher, input, dir.File("output")); }),
              CannotOpen(input));
  } else {
    ExpectFileError([&] { GetParam().run(*cipher, input, dir.File("output")); },
                    FileError::Cause::kOpen, input);
  }
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"input"});
}

// Reading /proc/self/mem from its start fails with EIO: the read error must fail the
// operation, not pass for the end of a short input, and leave the previous output alone.
TEST_P(LockedReadTest, AnInputThatFailsToReadLeavesThePreviousOutput) {
  const std::string failing = "/proc/self/mem";
  const Bytes previous = PatternBytes(500, 9);
  WriteFile(dir.File("output"), previous);
  ExpectFileError([&] { GetParam().run(*cipher, failing, dir.File("output")); },
                  FileError::Cause::kRead, failing);
  EXPECT_EQ(ReadFile(dir.File("output")), previous);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"output"});
}

INSTANTIATE_TEST_SUITE_P(EveryReadPath, LockedReadTest, ::testing::ValuesIn(kReadPaths),
                         [](const ::testing::TestParamInfo<ReadPath>& info) {
                           return info.param.name;
                         });

// /proc files say they are empty; the old size-based read made them a header-only file.
TEST(ProcFileTest, EncryptingReadsTheWholeText) {
  TempDir dir;
  auto cipher = EntryCipher();
  for (bool stream : {false, true}) {
    SCOPED_TRACE(stream);
    if (stream) {
      cipher->EncryptFileStream("/proc/self/status", dir.File("status.vty"));
    } else {
      cipher->EncryptFile("/proc/self/status", dir.File("status.vty"));
    }
    const Bytes loaded = LoadProtected(*cipher, dir.File("status.vty"));
    const std::string text(loaded.begin(), loaded.end());
    EXPECT_EQ(text.rfind("Name:", 0), 0u);
    EXPECT_NE(text.find("\nPid:"), std::string::npos);
    EXPECT_NE(text.find("\nVmPeak:"), std::string::npos);
  }
}

// The largest file a whole-file operation takes, 2^31 - 1 bytes, sparse: it is accepted and
// fails only on its header, where 2^31 is refused by its size. (EncryptFile would read and
// hold all 2 GiB; the limit is the same comparison for both.)
TEST(LargeFileTest, TwoGibibytesLessOneIsAccepted) {
  TempDir dir;
  const std::string big = dir.File("big");
  WriteFile(big, {});
  fs::resize_file(big, (std::uint64_t{1} << 31) - 1);
  std::int32_t length = 5;
  EXPECT_EQ(MessageOf([&] { EntryCipher()->DecryptFromFile(big, &length); }), CannotDecrypt(big));
  EXPECT_EQ(length, 5);
  EXPECT_EQ(MessageOf([&] { EntryCipher()->DecryptFile(big, dir.File("out")); }),
            CannotDecrypt(big));
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"big"});
}

}  // namespace
}  // namespace vantry::test
