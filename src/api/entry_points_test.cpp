// The exported functions as a host calls them: file sizes and loaded blocks over every chunk
// and block boundary, which key each variant uses, and every failure with what it leaves on
// disk and in the caller's variables.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "api/api_test_util.h"
#include "api/argument_checks.h"
#include "platform/file.h"
#include "support/bad_files.h"
#include "support/messages.h"
#include "support/test_support.h"
#include "vantry/file_error.h"
#include "vantry/vantry.h"

namespace vantry {
namespace {

using test::Bytes;
using test::CannotDecrypt;
using test::FromHex;
using test::MessageOf;
using test::ReadFile;
using test::TempDir;
using test::ToHex;
using test::WriteFile;

constexpr std::uint32_t kSerial = 0x1A2B3C4Du;
const char kSerialKey[] = "1A2B-3C4D";

const unsigned char* DataOf(const Bytes& data) {
  // A vector of 0 bytes may give nullptr; the entry points accept that for length 0 anyway,
  // but keep a real pointer so the tests exercise the common host call.
  static const unsigned char kNothing = 0;
  return data.empty() ? &kNothing : data.data();
}

std::int32_t LengthOf(const Bytes& data) { return static_cast<std::int32_t>(data.size()); }

using SaveCall = std::function<void(const Bytes& data, const std::string& file)>;
using LoadCall = std::function<unsigned char*(const std::string& file, std::int32_t* outLength)>;

struct Variant {
  std::string name;
  SaveCall save;
  LoadCall load;
};

// The three ways to use the machine key.
std::vector<Variant> MachineKeyVariants() {
  return {
      {"SaveVantry",
       [](const Bytes& d, const std::string& f) { SaveVantry(DataOf(d), LengthOf(d), f.c_str()); },
       [](const std::string& f, std::int32_t* n) { return LoadVantry(f.c_str(), n); }},
      {"WithKeyEmptyObject",
       [](const Bytes& d, const std::string& f) {
         SaveVantryWithKey(DataOf(d), LengthOf(d), f, std::string());
       },
       [](const std::string& f, std::int32_t* n) {
         return LoadVantryWithKey(f, n, std::string());
       }},
      {"WithKey2NullKey",
       [](const Bytes& d, const std::string& f) {
         SaveVantryWithKey2(DataOf(d), LengthOf(d), f.c_str(), nullptr);
       },
       [](const std::string& f, std::int32_t* n) {
         return LoadVantryWithKey2(f.c_str(), n, nullptr);
       }},
  };
}

// The two ways to give a key text.
std::vector<Variant> KeyTextVariants(const std::string& key) {
  return {
      {"WithKey",
       [key](const Bytes& d, const std::string& f) {
         SaveVantryWithKey(DataOf(d), LengthOf(d), f, key);
       },
       [key](const std::string& f, std::int32_t* n) { return LoadVantryWithKey(f, n, key); }},
      {"WithKey2",
       [key](const Bytes& d, const std::string& f) {
         SaveVantryWithKey2(DataOf(d), LengthOf(d), f.c_str(), key.c_str());
       },
       [key](const std::string& f, std::int32_t* n) {
         return LoadVantryWithKey2(f.c_str(), n, key.c_str());
       }},
  };
}

std::vector<Variant> AllVariants(const std::string& key) {
  std::vector<Variant> all = MachineKeyVariants();
  for (Variant& v : KeyTextVariants(key)) {
    all.push_back(std::move(v));
  }
  return all;
}

// Loads through a variant and takes the block over; checks the length handed back against
// the block's true size as far as a test can: the whole block is copied out.
Bytes LoadBytes(const LoadCall& load, const std::string& file) {
  std::int32_t length = -7;
  std::unique_ptr<unsigned char, void (*)(void*)> block(load(file, &length), &FreeVantryBuffer);
  if (block == nullptr || length < 0) {
    throw std::logic_error("load returned no block");
  }
  return Bytes(block.get(), block.get() + length);
}

// What a load must hand back for saved data: the data, zero bytes up to a multiple of 16, and
// 32 zero bytes.
Bytes ExpectedLoad(const Bytes& data) {
  Bytes expected = data;
  expected.resize((data.size() + 15) / 16 * 16 + 32, 0);
  return expected;
}

std::size_t ExpectedFileSize(std::size_t dataSize) { return 32 + (dataSize + 15) / 16 * 16; }

template <typename Exception, typename Call>
Exception Caught(Call call) {
  try {
    call();
  } catch (const Exception& e) {
    return e;
  }
  throw std::logic_error("expected exception not thrown");
}

class EntryPointSizes : public ::testing::TestWithParam<int> {};

TEST_P(EntryPointSizes, EveryVariantWritesTheSameFileAndReadsEveryOther) {
  test::ScopedVolumeSerial serial(kSerial);
  TempDir dir;
  std::mt19937_64 rng(static_cast<unsigned>(GetParam()));
  const Bytes data = test::RandomBytes(rng, static_cast<std::size_t>(GetParam()));

  // The machine-key variants and the key-text variants given the machine key's text all key
  // the cipher identically.
  std::vector<Variant> variants = AllVariants(kSerialKey);
  std::vector<std::string> files;
  for (const Variant& v : variants) {
    files.push_back(dir.File(v.name + ".vty"));
    v.save(data, files.back());
  }
  const Bytes reference = ReadFile(files[0]);
  EXPECT_EQ(reference.size(), ExpectedFileSize(data.size()));
  for (std::size_t i = 1; i < files.size(); ++i) {
    EXPECT_EQ(ToHex(ReadFile(files[i])), ToHex(reference)) << variants[i].name;
  }
  const Bytes expected = ExpectedLoad(data);
  for (const Variant& loader : variants) {
    for (const std::string& file : files) {
      EXPECT_EQ(ToHex(LoadBytes(loader.load, file)), ToHex(expected)) << loader.name << " " << file;
    }
  }
}

// 0 bytes give the header alone and 32 zero bytes back, 5 bytes a 48-byte file and block; then
// every block and 384-byte chunk boundary.
INSTANTIATE_TEST_SUITE_P(Boundaries, EntryPointSizes,
                         ::testing::Values(0, 1, 5, 15, 16, 17, 31, 32, 33, 383, 384, 385, 511, 512,
                                           513, 767, 768, 769, 1000, 1023, 1024, 1025, 4096,
                                           65537));

struct KnownFile {
  std::string name;
  std::function<void(const Bytes&, const std::string&)> save;
  Bytes data;
  std::string fileHex;
};

// How GoogleTest shows the case in its output (the default would dump its bytes).
inline void PrintTo(const KnownFile& c, std::ostream* os) { *os << c.name; }

class EntryPointKnownAnswers : public ::testing::TestWithParam<KnownFile> {};

// Files made with independent tools: the header is SHA-256 of "RIJNDAEL", the key bytes up to
// the first zero byte and the digits of the parameters "161600" when the key has no zero; the
// rest is AES-128-ECB over the zero-padded data.
TEST_P(EntryPointKnownAnswers, WritesExactlyThisFile) {
  test::ScopedVolumeSerial serial(kSerial);
  TempDir dir;
  const std::string file = dir.File("known.vty");
  GetParam().save(GetParam().data, file);
  EXPECT_EQ(ToHex(ReadFile(file)), GetParam().fileHex);
}

const Bytes kHello = {'h', 'e', 'l', 'l', 'o'};

INSTANTIATE_TEST_SUITE_P(
    Files, EntryPointKnownAnswers,
    ::testing::Values(
        KnownFile{"SixteenCharacterKey",
                  [](const Bytes& d, const std::string& f) {
                    SaveVantryWithKey2(DataOf(d), LengthOf(d), f.c_str(), "0123456789abcdef");
                  },
                  kHello,
                  "f46cba6bc84ae358e4912b349d204e09e467686c6e7aa982fc38e72ed9459877"
                  "4969fa025471bfc739a6cdc6aeeb680b"},
        KnownFile{"LongerKeyUsesItsFirst16",
                  [](const Bytes& d, const std::string& f) {
                    SaveVantryWithKey(DataOf(d), LengthOf(d), f, "0123456789abcdef-ignored");
                  },
                  kHello,
                  "f46cba6bc84ae358e4912b349d204e09e467686c6e7aa982fc38e72ed9459877"
                  "4969fa025471bfc739a6cdc6aeeb680b"},
        KnownFile{"MachineKey",
                  [](const Bytes& d, const std::string& f) {
                    SaveVantry(DataOf(d), LengthOf(d), f.c_str());
                  },
                  kHello,
                  "24e6e809898a7b81d22cbff4b0f47546a88623ab405ab03ac57c20ebeb9f25bb"
                  "5bf454617d46c6d071d2b92897a81c88"},
        KnownFile{"EmptyKeyTextIsAllZeroKey",
                  [](const Bytes& d, const std::string& f) {
                    SaveVantryWithKey2(DataOf(d), LengthOf(d), f.c_str(), "");
                  },
                  kHello,
                  "45e65234fbb31c9dd3bd9e3718048b888a67a4518e50631750b147a681815789"
                  "10fb1c3fed5a1d4aa8d60b955b09ff02"},
        KnownFile{"NothingIsTheHeaderAlone",
                  [](const Bytes& d, const std::string& f) {
                    SaveVantryWithKey2(DataOf(d), LengthOf(d), f.c_str(), "");
                  },
                  Bytes(), "45e65234fbb31c9dd3bd9e3718048b888a67a4518e50631750b147a681815789"}),
    [](const auto& info) { return info.param.name; });

TEST(EntryPoints, NegativeLengthSavesNothing) {
  TempDir dir;
  const std::string file = dir.File("negative.vty");
  const Bytes some = {1, 2, 3};
  SaveVantryWithKey2(some.data(), -1, file.c_str(), "key");
  EXPECT_EQ(ReadFile(file).size(), 32u);
}

TEST(EntryPoints, TrailingZeroDataBytesCannotBeToldFromPadding) {
  TempDir dir;
  const Bytes ab = {'a', 'b'};
  const Bytes abZeros = {'a', 'b', 0, 0, 0};
  SaveVantryWithKey2(ab.data(), 2, dir.File("ab").c_str(), "key");
  SaveVantryWithKey2(abZeros.data(), 5, dir.File("ab0").c_str(), "key");
  EXPECT_EQ(ToHex(ReadFile(dir.File("ab"))), ToHex(ReadFile(dir.File("ab0"))));
}

TEST(EntryPoints, SavingOverALongerFileLeavesNoTraceOfIt) {
  TempDir dir;
  const std::string file = dir.File("over.vty");
  WriteFile(file, Bytes(5000, 0xEE));
  const Bytes data = {9, 8, 7};
  SaveVantryWithKey2(data.data(), 3, file.c_str(), "key");
  EXPECT_EQ(ReadFile(file).size(), 48u);
  EXPECT_EQ(ToHex(LoadBytes(KeyTextVariants("key")[1].load, file)), ToHex(ExpectedLoad(data)));
}

TEST(EntryPoints, MachineKeyVariantsUseTheFormattedSerial) {
  TempDir dir;
  const Bytes data = {'d', 'a', 't', 'a'};
  {
    test::ScopedVolumeSerial serial(kSerial);
    for (const Variant& v : MachineKeyVariants()) {
      v.save(data, dir.File(v.name));
    }
  }
  // Read back with the key text alone: no machine involved.
  for (const Variant& v : MachineKeyVariants()) {
    EXPECT_EQ(ToHex(LoadBytes(KeyTextVariants(kSerialKey)[0].load, dir.File(v.name))),
              ToHex(ExpectedLoad(data)))
        << v.name;
  }
  // Another machine cannot read them.
  test::ScopedVolumeSerial other(kSerial + 1);
  for (const Variant& v : MachineKeyVariants()) {
    const std::string file = dir.File(v.name);
    EXPECT_EQ(MessageOf([&] { LoadBytes(v.load, file); }), CannotDecrypt(file)) << v.name;
  }
}

TEST(EntryPoints, EmptyKeyTextIsNotTheMachineKey) {
  test::ScopedVolumeSerial serial(kSerial);
  TempDir dir;
  const Bytes data = {'x'};
  const std::string emptyKeyFile = dir.File("empty-key.vty");
  const std::string machineFile = dir.File("machine.vty");
  SaveVantryWithKey2(data.data(), 1, emptyKeyFile.c_str(), "");
  SaveVantry(data.data(), 1, machineFile.c_str());
  EXPECT_NE(ToHex(ReadFile(emptyKeyFile)), ToHex(ReadFile(machineFile)));

  EXPECT_EQ(ToHex(LoadBytes(KeyTextVariants("")[1].load, emptyKeyFile)), ToHex(ExpectedLoad(data)));
  for (const Variant& v : MachineKeyVariants()) {
    EXPECT_EQ(MessageOf([&] { LoadBytes(v.load, emptyKeyFile); }), CannotDecrypt(emptyKeyFile))
        << v.name;
  }
}

TEST(EntryPoints, FailedVolumeQueryMakesTheMachineKeyTheEmptyKey) {
  TempDir dir;
  const Bytes data = {'y', 'z'};
  const std::string emptyKeyFile = dir.File("empty-key.vty");
  SaveVantryWithKey2(data.data(), 2, emptyKeyFile.c_str(), "");

  auto failing = test::ScopedVolumeSerial::Failing();
  for (const Variant& v : MachineKeyVariants()) {
    const std::string file = dir.File(v.name);
    v.save(data, file);
    EXPECT_EQ(ToHex(ReadFile(file)), ToHex(ReadFile(emptyKeyFile))) << v.name;
    EXPECT_EQ(ToHex(LoadBytes(v.load, emptyKeyFile)), ToHex(ExpectedLoad(data))) << v.name;
  }
}

struct KeyTextPair {
  std::string name;
  std::string saveKey;
  std::string loadKey;
  bool readable;
};

// How GoogleTest shows the case in its output (the default would dump its bytes).
inline void PrintTo(const KeyTextPair& c, std::ostream* os) { *os << c.name; }

class EntryPointKeyTexts : public ::testing::TestWithParam<KeyTextPair> {};

TEST_P(EntryPointKeyTexts, OnlyTheFirst16CharactersCount) {
  TempDir dir;
  const Bytes data = {'s', 'e', 'c', 'r', 'e', 't'};
  const std::string saved = dir.File("saved.vty");
  const std::string other = dir.File("other.vty");
  KeyTextVariants(GetParam().saveKey)[0].save(data, saved);
  KeyTextVariants(GetParam().loadKey)[1].save(data, other);
  EXPECT_EQ(ReadFile(saved) == ReadFile(other), GetParam().readable);

  const LoadCall load = KeyTextVariants(GetParam().loadKey)[0].load;
  if (GetParam().readable) {
    EXPECT_EQ(ToHex(LoadBytes(load, saved)), ToHex(ExpectedLoad(data)));
  } else {
    EXPECT_EQ(MessageOf([&] { LoadBytes(load, saved); }), CannotDecrypt(saved));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, EntryPointKeyTexts,
    ::testing::Values(KeyTextPair{"DifferAfter16", "0123456789abcdef-one", "0123456789abcdef-two",
                                  true},
                      KeyTextPair{"Same32AndLonger", "0123456789abcdefghijklmnopqrstuv",
                                  "0123456789abcdefghijklmnopqrstuvwxyz", true},
                      KeyTextPair{"DifferWithin16", "0123456789abcdef", "0123456789abcdeF", false},
                      KeyTextPair{"ShorterPrefix", "0123456789abcde", "0123456789abcdef", false},
                      KeyTextPair{"CaseMatters", "key", "KEY", false},
                      KeyTextPair{"NulEndsTheKeyText", std::string("abc\0def", 7), "abc", true}),
    [](const auto& info) { return info.param.name; });

// Every load variant, with a file name and a key that work for it.
std::vector<Variant> LoadVariantsFor(const std::string& key) { return AllVariants(key); }

TEST(EntryPointFailures, MissingFileRaisesFileErrorAndLeavesOutLength) {
  test::ScopedVolumeSerial serial(kSerial);
  TempDir dir;
  const std::string missing = dir.File("missing.vty");
  for (const Variant& v : LoadVariantsFor(kSerialKey)) {
    std::int32_t length = 12345;
    unsigned char* block = reinterpret_cast<unsigned char*>(&length);  // must stay as it was
    const FileError e = Caught<FileError>([&] { block = v.load(missing, &length); });
    EXPECT_EQ(e.cause(), FileError::Cause::kOpen) << v.name;
    EXPECT_EQ(e.file_name(), missing) << v.name;
    EXPECT_NE(e.code().value(), 0) << v.name;
    EXPECT_EQ(length, 12345) << v.name;
    EXPECT_EQ(block, reinterpret_cast<unsigned char*>(&length)) << v.name;
  }
  EXPECT_TRUE(dir.Entries().empty());
}

// Every bad file is refused by every load variant, naming the file, with the length left alone
// and the file as it was.
class EntryPointBadFiles : public ::testing::TestWithParam<test::BadFile> {};

TEST_P(EntryPointBadFiles, EveryLoadRefusesItAndChangesNothing) {
  const test::BadFile& c = GetParam();
  test::ScopedVolumeSerial serial(kSerial);
  TempDir dir;
  std::mt19937_64 rng(5);
  const Bytes data = test::RandomBytes(rng, test::kBadFilesDataLength);
  SaveVantryWithKey2(data.data(), LengthOf(data), dir.File("other").c_str(), "another key");
  const std::string file = dir.File("bad file.vty");
  for (const Variant& v : LoadVariantsFor(kSerialKey)) {
    v.save(data, dir.File("good"));
    const Bytes bad = c.make(ReadFile(dir.File("good")), ReadFile(dir.File("other")));
    WriteFile(file, bad);
    std::int32_t length = 777;
    EXPECT_EQ(MessageOf([&] { v.load(file, &length); }), test::ExpectedMessage(c, file)) << v.name;
    EXPECT_EQ(length, 777) << v.name;
    EXPECT_EQ(ToHex(ReadFile(file)), ToHex(bad)) << v.name;
  }
}

INSTANTIATE_TEST_SUITE_P(EveryLayerBadFile, EntryPointBadFiles,
                         ::testing::ValuesIn(test::BadFiles()), test::BadFileName);

TEST(EntryPointFailures, NullDataWithPositiveLengthIsRefusedBeforeAnyFile) {
  test::ScopedVolumeSerial serial(kSerial);
  TempDir dir;
  const std::string existing = dir.File("existing.vty");
  const Bytes old = {1, 2, 3};
  WriteFile(existing, old);
  const std::vector<std::function<void(const char*)>> saves = {
      [](const char* f) { SaveVantry(nullptr, 1, f); },
      [](const char* f) { SaveVantryWithKey(nullptr, 16, f, "key"); },
      [](const char* f) { SaveVantryWithKey(nullptr, 1, f, ""); },
      [](const char* f) { SaveVantryWithKey2(nullptr, 1000, f, "key"); },
      [](const char* f) { SaveVantryWithKey2(nullptr, 1, f, nullptr); },
  };
  for (const auto& save : saves) {
    const std::string fresh = dir.File("fresh.vty");
    EXPECT_EQ(MessageOf([&] { save(fresh.c_str()); }), kNullDataMessage);
    EXPECT_EQ(MessageOf([&] { save(existing.c_str()); }), kNullDataMessage);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"existing.vty"});
    EXPECT_EQ(ReadFile(existing), old);
  }
}

TEST(EntryPointFailures, NullOutLengthIsRefusedBeforeAnyFile) {
  test::ScopedVolumeSerial serial(kSerial);
  TempDir dir;
  const std::string file = dir.File("good.vty");
  const std::string missing = dir.File("missing.vty");
  SaveVantry(kHello.data(), 5, file.c_str());
  for (const Variant& v : LoadVariantsFor(kSerialKey)) {
    // Also for a missing file: the argument check comes first.
    EXPECT_EQ(MessageOf([&] { v.load(file, nullptr); }), kNullOutLengthMessage) << v.name;
    EXPECT_EQ(MessageOf([&] { v.load(missing, nullptr); }), kNullOutLengthMessage) << v.name;
  }
}

TEST(EntryPointFailures, NullFileNameIsTheEmptyName) {
  std::int32_t length = 9;
  const FileError load = Caught<FileError>([&] { LoadVantryWithKey2(nullptr, &length, "key"); });
  EXPECT_EQ(load.cause(), FileError::Cause::kOpen);
  EXPECT_EQ(load.file_name(), "");
  EXPECT_EQ(length, 9);
  const FileError loadMachine = Caught<FileError>([&] { LoadVantry(nullptr, &length); });
  EXPECT_EQ(loadMachine.file_name(), "");

  const FileError save =
      Caught<FileError>([&] { SaveVantryWithKey2(kHello.data(), 5, nullptr, "key"); });
  EXPECT_EQ(save.cause(), FileError::Cause::kCreate);
  EXPECT_EQ(save.file_name(), "");
}

TEST(EntryPointFailures, SaveIntoAMissingFolderCreatesNothing) {
  TempDir dir;
  const std::string file = dir.File("no-such-folder/file.vty");
  for (const Variant& v : AllVariants("key")) {
    const FileError e = Caught<FileError>([&] { v.save(kHello, file); });
    EXPECT_EQ(e.cause(), FileError::Cause::kCreate) << v.name;
    EXPECT_EQ(e.file_name(), file) << v.name;
  }
  EXPECT_TRUE(dir.Entries().empty());
}

// A disk that fills up during a save: the earlier file stays as it was, and nothing else is
// left beside it.
class SaveWriteFault : public ::testing::TestWithParam<std::int64_t> {
 protected:
  void TearDown() override { platform::SetWriteFaultForTesting(-1); }
};

TEST_P(SaveWriteFault, EarlierFileSurvivesAndNoTemporaryIsLeft) {
  TempDir dir;
  const std::string existing = dir.File("data.vty");
  const Bytes oldData(50, 0x01);
  SaveVantryWithKey2(oldData.data(), 50, existing.c_str(), "key");
  const Bytes before = ReadFile(existing);
  const std::string fresh = dir.File("fresh.vty");

  const Bytes newData(2000, 0x02);
  platform::SetWriteFaultForTesting(GetParam());
  const FileError overExisting =
      Caught<FileError>([&] { SaveVantryWithKey2(newData.data(), 2000, existing.c_str(), "key"); });
  platform::SetWriteFaultForTesting(GetParam());
  const FileError overNothing =
      Caught<FileError>([&] { SaveVantryWithKey2(newData.data(), 2000, fresh.c_str(), "key"); });
  platform::SetWriteFaultForTesting(-1);

  EXPECT_EQ(overExisting.cause(), FileError::Cause::kWrite);
  EXPECT_EQ(overExisting.file_name(), existing);
  EXPECT_EQ(overNothing.file_name(), fresh);
  EXPECT_EQ(ToHex(ReadFile(existing)), ToHex(before));
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"data.vty"});
  EXPECT_EQ(ToHex(LoadBytes(KeyTextVariants("key")[1].load, existing)),
            ToHex(ExpectedLoad(oldData)));
}

// In the header, right after it, and between chunks.
INSTANTIATE_TEST_SUITE_P(FailAfterBytes, SaveWriteFault, ::testing::Values(0, 31, 32, 416, 1000));

TEST(EntryPoints, FreeVantryBufferTakesNull) { FreeVantryBuffer(nullptr); }

}  // namespace
}  // namespace vantry
