// EncryptStream (pulled and pushed) and DecryptStream against the file operations that cut the data
// into 384-byte chunks, over sizes around every chunk and piece boundary and every keying; what
// reaches the writer when the header, the block size or the key is wrong.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <tuple>

#include "files/files_test_util.h"
#include "support/bad_files.h"
#include "support/memory_streams.h"
#include "vantry/streams.h"

namespace vantry::test {
namespace {

Bytes Encrypted(CRijndaelCipher& cipher, const Bytes& data, std::size_t step = SIZE_MAX) {
  MemoryReader input(data, step);
  MemoryWriter output;
  EncryptStream(cipher, input, output);
  EXPECT_FALSE(output.committed);
  return output.written;
}

// The push side: data written in steps of step bytes, then committed.
Bytes Pushed(CRijndaelCipher& cipher, const Bytes& data, std::size_t step = SIZE_MAX) {
  MemoryWriter output;
  const auto encryptor = EncryptStream(cipher, output);
  for (std::size_t at = 0; at < data.size(); at += std::min(step, data.size() - at)) {
    encryptor->Write(data.data() + at, std::min(step, data.size() - at));
  }
  encryptor->Commit();
  EXPECT_TRUE(output.committed);
  return output.written;
}

Bytes Decrypted(CRijndaelCipher& cipher, const Bytes& protectedBytes, std::size_t step = SIZE_MAX) {
  MemoryReader input(protectedBytes, step);
  MemoryWriter output;
  DecryptStream(cipher, input, "in.vty", output);
  return output.written;
}

// The sizes where chunks (384 bytes) and pieces (65280 bytes) begin and end.
const std::size_t kSizes[] = {0,     1,     15,    16,    17,     383,    384,   385,
                              65279, 65280, 65281, 65664, 130560, 130561, 200003};

using Keying = std::tuple<int /*keyLength*/, int /*blockSize*/, int /*mode*/, int /*padding*/>;

class ProtectedStreamTest : public ::testing::TestWithParam<Keying> {};

TEST_P(ProtectedStreamTest, SameBytesAsTheFileStreamOperations) {
  const auto [keyLength, blockSize, mode, padding] = GetParam();
  auto cipher = KeyedCipher(keyLength, blockSize, mode, padding);
  TempDir dir;
  for (std::size_t size : kSizes) {
    SCOPED_TRACE(size);
    const Bytes data = PatternBytes(size);
    WriteFile(dir.File("plain"), data);
    cipher->EncryptFileStream(dir.File("plain"), dir.File("protected"));
    const Bytes expected = ReadFile(dir.File("protected"));
    const Bytes streamed = Encrypted(*cipher, data);
    ASSERT_EQ(streamed.size(), expected.size());
    EXPECT_TRUE(streamed == expected);
    EXPECT_TRUE(Pushed(*cipher, data) == expected);

    cipher->DecryptFileStream(dir.File("protected"), dir.File("back"));
    const Bytes back = Decrypted(*cipher, expected);
    EXPECT_TRUE(back == ReadFile(dir.File("back")));
    EXPECT_TRUE(back == Concat(data, Fill(size, blockSize, padding)));
  }
}

INSTANTIATE_TEST_SUITE_P(EveryKeying, ProtectedStreamTest,
                         ::testing::Combine(::testing::Values(16, 32),
                                            ::testing::Values(16, 24, 32),
                                            ::testing::Values(MODE_ECB, MODE_CBC, MODE_CFB),
                                            ::testing::Values(PAD_ZERO, PAD_COUNT)));

TEST(ProtectedStream, EntryKeyingGivesTheEntryPointsFileAndLoad) {
  auto cipher = EntryCipher();
  TempDir dir;
  for (std::size_t size : {0, 5, 16, 1000, 70000}) {
    SCOPED_TRACE(size);
    const Bytes data = PatternBytes(size, 9);
    cipher->EncryptToFile(data.data(), static_cast<std::int32_t>(size), dir.File("saved"));
    const Bytes saved = ReadFile(dir.File("saved"));
    EXPECT_TRUE(Encrypted(*cipher, data) == saved);
    // The load's block is the decrypted bytes and then 32 zero bytes.
    EXPECT_TRUE(Concat(Decrypted(*cipher, saved), Bytes(32, 0)) ==
                LoadProtected(*cipher, dir.File("saved")));
  }
}

TEST(ProtectedStream, ReadsThatComeInOddPiecesChangeNothing) {
  auto cipher = KeyedCipher(16, 16, MODE_CBC, PAD_SPACE);
  const Bytes data = PatternBytes(70001, 4);
  const Bytes whole = Encrypted(*cipher, data);
  for (std::size_t step : {1, 7, 383, 4096}) {
    SCOPED_TRACE(step);
    EXPECT_TRUE(Encrypted(*cipher, data, step) == whole);
    EXPECT_TRUE(Pushed(*cipher, data, step) == whole);
    EXPECT_TRUE(Decrypted(*cipher, whole, step) == Concat(data, Fill(70001, 16, PAD_SPACE)));
  }
}

// Every bad file is refused before anything is written: the header before anything is
// decrypted, and cipher text of part blocks before its piece (here the only one) goes out.
class ProtectedStreamBadFileTest : public ::testing::TestWithParam<BadFile> {};

TEST_P(ProtectedStreamBadFileTest, IsRefusedBeforeAnythingIsWritten) {
  const BadFile& c = GetParam();
  const Bytes data = PatternBytes(kBadFilesDataLength);
  const Bytes bad =
      c.make(Encrypted(*EntryCipher(), data), Encrypted(*EntryCipher(kOtherKeyText), data));
  MemoryReader input(bad, 7);
  MemoryWriter output;
  EXPECT_EQ(MessageOf([&] { DecryptStream(*EntryCipher(), input, "named.vty", output); }),
            ExpectedMessage(c, "named.vty"));
  EXPECT_TRUE(output.written.empty());
}

INSTANTIATE_TEST_SUITE_P(Streams, ProtectedStreamBadFileTest, ::testing::ValuesIn(BadFiles()),
                         BadFileName);

TEST(ProtectedStream, CipherTextOfPartBlocksStopsBeforeItsPieceIsWritten) {
  auto cipher = EntryCipher();
  const Bytes header = Encrypted(*cipher, {});
  for (std::size_t cipherBytes : {20u, 65280u + 20u}) {
    SCOPED_TRACE(cipherBytes);
    MemoryReader input(Concat(header, PatternBytes(cipherBytes)));
    MemoryWriter output;
    EXPECT_EQ(MessageOf([&] { DecryptStream(*cipher, input, "cut.vty", output); }),
              kIllegalBlockSizeText);
    // Only whole pieces before the damaged one went out.
    EXPECT_EQ(output.written.size(), cipherBytes / 65280 * 65280);
  }
}

TEST(ProtectedStream, UnkeyedCipherIsRefusedBeforeAnyIo) {
  CRijndaelCipher cipher;
  MemoryReader input(PatternBytes(100));
  MemoryWriter output;
  EXPECT_EQ(MessageOf([&] { EncryptStream(cipher, input, output); }), kNotInitializedText);
  EXPECT_EQ(MessageOf([&] { DecryptStream(cipher, input, "x", output); }), kNotInitializedText);
  EXPECT_TRUE(output.written.empty());
}

// The library's writer behind the stream header: a failure part way leaves an earlier file as
// it was and removes the temporary; only Commit puts the new file in place.
TEST(ProtectedStreamFiles, FileWriterReplacesOnlyOnCommit) {
  auto cipher = EntryCipher();
  TempDir dir;
  const std::string target = dir.File("out.vty");
  WriteFile(target, Bytes{'o', 'l', 'd'});
  const Bytes data = PatternBytes(300000, 2);
  {
    MemoryReader input(data);
    auto output = CreateFileWriter(target, OutputKind::kProtected);
    EncryptStream(*cipher, input, *output);
  }  // abandoned
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out.vty"});
  EXPECT_TRUE(ReadFile(target) == (Bytes{'o', 'l', 'd'}));
  {
    WriteFault fault(100000);
    MemoryReader input(data);
    auto output = CreateFileWriter(target, OutputKind::kProtected);
    ExpectFileError([&] { EncryptStream(*cipher, input, *output); }, FileError::Cause::kWrite,
                    target);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out.vty"});
  }
  EXPECT_TRUE(ReadFile(target) == (Bytes{'o', 'l', 'd'}));
  {
    MemoryReader input(data);
    auto output = CreateFileWriter(target, OutputKind::kProtected);
    EncryptStream(*cipher, input, *output);
    output->Commit();
  }
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out.vty"});
  EXPECT_TRUE(ReadFile(target) == Encrypted(*cipher, data));
}

TEST(ProtectedStreamFiles, FileReaderReadsToTheEndAndNamesMissingFiles) {
  TempDir dir;
  const Bytes data = PatternBytes(100000, 3);
  WriteFile(dir.File("plain"), data);
  auto reader = OpenFileReader(dir.File("plain"));
  Bytes got(data.size() + 10);
  EXPECT_EQ(reader->ReadFull(got.data(), got.size()), data.size());
  got.resize(data.size());
  EXPECT_TRUE(got == data);
  EXPECT_EQ(reader->ReadSome(got.data(), got.size()), 0u);
  ExpectFileError([&] { OpenFileReader(dir.File("missing")); }, FileError::Cause::kOpen,
                  dir.File("missing"));
}

TEST(ProtectedStreamFiles, SmallWritesArriveWholeAndInOrder) {
  TempDir dir;
  const Bytes data = PatternBytes(200000, 5);
  auto output = CreateFileWriter(dir.File("out"), OutputKind::kPlainText);
  // Pieces of 1 byte up to more than the writer's buffer, mixed.
  std::size_t at = 0;
  for (std::size_t step = 1; at < data.size(); step = step * 3 % 70001 + 1) {
    const std::size_t n = std::min(step, data.size() - at);
    output->Write(data.data() + at, n);
    at += n;
  }
  output->Commit();
  EXPECT_TRUE(ReadFile(dir.File("out")) == data);
}

}  // namespace
}  // namespace vantry::test
