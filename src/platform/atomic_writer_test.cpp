#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "platform/file.h"
#include "support/file_errors.h"
#include "support/test_support.h"

namespace vantry::platform {
namespace {

using test::Bytes;
using test::ExpectFileError;
using test::TempDir;
using Cause = FileError::Cause;
using Names = std::vector<std::string>;

constexpr std::size_t kSizes[] = {0,   1,   15,  16,   17,   383,  384,  385,
                                  511, 512, 513, 1023, 1024, 1025, 65537};

class AtomicWriterTest : public ::testing::Test {
 protected:
  // Writes in uneven pieces, as the chunked cipher paths do.
  static void WriteInPieces(AtomicWriter& writer, const Bytes& content) {
    std::size_t done = 0;
    for (std::size_t piece = 1; done < content.size(); piece = piece * 3 + 1) {
      const std::size_t n = std::min(piece, content.size() - done);
      writer.Write(content.data() + done, n);
      done += n;
    }
  }

  TempDir dir;
  std::mt19937_64 rng{11};
};

TEST_F(AtomicWriterTest, CommitPutsExactlyTheWrittenBytesInPlace) {
  for (bool existed : {false, true}) {
    for (std::size_t size : kSizes) {
      SCOPED_TRACE(testing::Message() << "size " << size << " existed " << existed);
      const std::string name = dir.File("out.bin");
      if (existed) {
        test::WriteFile(name, test::RandomBytes(rng, 2000));  // longer than most outputs
      }
      const Bytes content = test::RandomBytes(rng, size);
      {
        AtomicWriter writer(name);
        WriteInPieces(writer, content);
        writer.Commit();
      }
      EXPECT_EQ(test::ReadFile(name), content);
      EXPECT_EQ(dir.Entries(), Names{"out.bin"});
      std::remove(name.c_str());
    }
  }
}

TEST_F(AtomicWriterTest, WritesGoToAHiddenTemporaryBesideTheTarget) {
  const std::string name = dir.File("t.bin");
  test::WriteFile(name, Bytes{9, 9});
  AtomicWriter writer(name);
  writer.Write("abc", 3);
#ifndef _WIN32
  // Windows does not let us read the target while the writer holds it without sharing.
  EXPECT_EQ(test::ReadFile(name), (Bytes{9, 9}));  // the target is not written in place
#endif
  const std::string temp = writer.TempName();
#ifdef __linux__
  // Unnamed (O_TMPFILE) until the commit: a killed writer leaves nothing in the folder.
  EXPECT_EQ(temp.rfind("/proc/self/fd/", 0), 0u) << temp;
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"t.bin"});
#else
  EXPECT_EQ(temp.rfind(dir.path() + "/.t.bin.", 0), 0u) << temp;
#endif
  EXPECT_TRUE(test::FileExists(temp));
  writer.Commit();
  EXPECT_FALSE(test::FileExists(temp));
  EXPECT_EQ(test::ReadFile(name), (Bytes{'a', 'b', 'c'}));
}

TEST_F(AtomicWriterTest, WithoutCommitTheOldTargetStaysAndNothingElseRemains) {
  const Bytes old = test::RandomBytes(rng, 1000);
  for (std::size_t written : {0, 1, 999, 1000, 1001, 70000}) {
    SCOPED_TRACE(written);
    const std::string name = dir.File("keep.bin");
    test::WriteFile(name, old);
    try {
      AtomicWriter writer(name);
      writer.Write(test::RandomBytes(rng, written).data(), written);
      throw std::runtime_error("cipher failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(test::ReadFile(name), old);
    EXPECT_EQ(dir.Entries(), Names{"keep.bin"});
  }
}

TEST_F(AtomicWriterTest, ANewTargetThatWasNeverCommittedDoesNotRemain) {
  {
    AtomicWriter writer(dir.File("new.bin"));
    writer.Write("partial", 7);
  }
  EXPECT_EQ(dir.Entries(), Names{});
}

TEST_F(AtomicWriterTest, TheTargetIsHeldUntilCommit) {
  const std::string name = dir.File("held.bin");
  test::WriteFile(name, Bytes{1});
  {
    AtomicWriter writer(name);
    ExpectFileError([&] { AtomicWriter second(name); }, Cause::kCreate, name);
    ExpectFileError([&] { ExclusiveReader reader(name); }, Cause::kOpen, name);
    writer.Write("\2", 1);
    writer.Commit();
    ExclusiveReader reader(name);  // free again once committed
    EXPECT_EQ(reader.Size(), 1u);
  }
  EXPECT_EQ(test::ReadFile(name), Bytes{2});
  EXPECT_EQ(dir.Entries(), Names{"held.bin"});
}

TEST_F(AtomicWriterTest, AFileHeldByAReaderCannotBeReplaced) {
  const std::string name = dir.File("read.bin");
  test::WriteFile(name, Bytes{1, 2});
  ExclusiveReader reader(name);
  ExpectFileError([&] { AtomicWriter writer(name); }, Cause::kCreate, name);
  reader.Close();
  EXPECT_EQ(test::ReadFile(name), (Bytes{1, 2}));
  EXPECT_EQ(dir.Entries(), Names{"read.bin"});
}

TEST_F(AtomicWriterTest, TargetsThatCannotBeCreatedFailWithCreate) {
  for (const std::string& name : {dir.File("no/such/dir/out.bin"), dir.path(), std::string()}) {
    SCOPED_TRACE(name);
    ExpectFileError([&] { AtomicWriter writer(name); }, Cause::kCreate, name);
    EXPECT_EQ(dir.Entries(), Names{});
  }
}

TEST_F(AtomicWriterTest, UseAfterCommitFails) {
  const std::string name = dir.File("done.bin");
  AtomicWriter writer(name);
  writer.Commit();
  writer.Commit();  // a repeated commit changes nothing
  ExpectFileError([&] { writer.Write("x", 1); }, Cause::kWrite, name);
  EXPECT_EQ(test::ReadFile(name), Bytes{});
}

// A full disk after `limit` bytes, met by a header of 32 bytes and then data in pieces of 100.
struct FaultCase {
  std::int64_t limit;
  bool headerFits;
};
constexpr FaultCase kFaults[] = {{0, false}, {31, false}, {32, true}, {33, true}, {1000, true}};

TEST_F(AtomicWriterTest, AFullDiskLeavesThePreviousFileAndNoTemporary) {
  const Bytes old = test::RandomBytes(rng, 777);
  for (const auto& fault : kFaults) {
    for (bool existed : {true, false}) {
      SCOPED_TRACE(testing::Message() << "limit " << fault.limit << " existed " << existed);
      const std::string name = dir.File("disk.bin");
      if (existed) {
        test::WriteFile(name, old);
      }
      DiskFullFileSystem disk(static_cast<std::uint64_t>(fault.limit));
      AtomicWriter writer(name, WriterOptions{OutputContents::kProtected, true, false, &disk});
      const Bytes header(32, 0x11);
      const Bytes piece(100, 0x22);
      std::int64_t written = 0;
      const int code = ExpectFileError(
                           [&] {
                             writer.Write(header.data(), header.size());
                             written += 32;
                             for (;;) {
                               writer.Write(piece.data(), piece.size());
                               written += 100;
                             }
                           },
                           Cause::kWrite, name)
                           .code;
      EXPECT_EQ(code, DiskFullError());
      EXPECT_EQ(written >= 32, fault.headerFits);
      EXPECT_LE(written, fault.limit);
      EXPECT_GT(written + 100, fault.limit);
      EXPECT_FALSE(test::FileExists(writer.TempName()));  // removed at once, freeing the disk
      // The writer refuses to go on, so a partial output can never be committed.
      ExpectFileError([&] { writer.Write("x", 1); }, Cause::kWrite, name);
      ExpectFileError([&] { writer.Commit(); }, Cause::kWrite, name);
      if (existed) {
        EXPECT_EQ(test::ReadFile(name), old);
        EXPECT_EQ(dir.Entries(), Names{"disk.bin"});
        std::remove(name.c_str());
      } else {
        EXPECT_EQ(dir.Entries(), Names{});
      }
    }
  }
}

TEST_F(AtomicWriterTest, AWriteThatExactlyFillsTheDiskSucceeds) {
  const std::string name = dir.File("exact.bin");
  DiskFullFileSystem disk(64);
  const WriterOptions options{OutputContents::kProtected, true, false, &disk};
  AtomicWriter writer(name, options);
  writer.Write(Bytes(32, 1).data(), 32);
  writer.Write(Bytes(32, 2).data(), 32);
  writer.Commit();
  EXPECT_EQ(test::ReadFile(name).size(), 64u);
  AtomicWriter next(name, options);
  ExpectFileError([&] { next.Write("x", 1); }, Cause::kWrite, name);
}

}  // namespace
}  // namespace vantry::platform
