// Protected files travel between Linux and Windows: data/linux/ holds files the Linux build
// of the vantry tool wrote from data/plain/ (see data/make-linux-files). Here vantry.dll loads
// every one of them, and writes the very same bytes from the same data and key, so a file
// written here loads wherever those load. scripts/test-windows also exchanges files live.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "support/test_support.h"
#include "vantry/vantry.h"

namespace vantry {
namespace {

using test::Bytes;

const char kKey[] = "exchanged between Linux and Windows";

// Sizes around the block (16) and chunk (384) boundaries, and data whose last bytes are zero.
const char* const kNames[] = {"0", "1", "15", "16", "17", "383", "384", "385", "1000", "zeros"};

std::string DataFile(const std::string& relative) {
  return std::string(VANTRY_EXCHANGE_DATA_DIR) + "/" + relative;
}

TEST(FileExchangeTest, FilesWrittenOnLinuxLoadHere) {
  for (const char* name : kNames) {
    SCOPED_TRACE(name);
    const Bytes plain = test::ReadFile(DataFile(std::string("plain/") + name + ".bin"));
    const std::string written = DataFile(std::string("linux/") + name + ".vantry");
    std::int32_t length = -1;
    unsigned char* block = LoadVantryWithKey2(written.c_str(), &length, kKey);
    Bytes expected = plain;
    expected.resize((plain.size() + 15) / 16 * 16 + 32, 0);
    ASSERT_EQ(length, static_cast<std::int32_t>(expected.size()));
    EXPECT_EQ(Bytes(block, block + length), expected);
    FreeVantryBuffer(block);
  }
}

TEST(FileExchangeTest, FilesWrittenHereAreTheFilesLinuxWrites) {
  test::TempDir dir;
  for (const char* name : kNames) {
    SCOPED_TRACE(name);
    const Bytes plain = test::ReadFile(DataFile(std::string("plain/") + name + ".bin"));
    const std::string output = dir.File(std::string(name) + ".vantry");
    SaveVantryWithKey(plain.data(), static_cast<std::int32_t>(plain.size()), output, kKey);
    EXPECT_EQ(test::ReadFile(output),
              test::ReadFile(DataFile(std::string("linux/") + name + ".vantry")));
  }
}

}  // namespace
}  // namespace vantry
