// Changing keys: a version-2 file keeps its payload byte for byte while keys are added and
// removed, a version-1 file converts, each refusal leaves nothing written, and the listing
// shows kinds and identifiers without a key.
#include "sealed/slot_changes.h"

#include <gtest/gtest.h>

#include "sealed/sealed_test_util.h"
#include "sealed/unsealer.h"

namespace vantry::test {
namespace {

Bytes Changed(const Bytes& file, const SealedKey& openWith, sealed::SlotChanges changes) {
  MemoryReader input(file, 5000);
  MemoryWriter output;
  sealed::ChangeSlots({&openWith}, changes, input, "f", output);
  return output.written;
}

bool Opens(const Bytes& file, const SealedKey& key, const Bytes& plain) {
  MemoryReader input(file);
  MemoryWriter output;
  try {
    UnsealStream(key, input, "f", output);
  } catch (const SealedError&) {
    return false;
  }
  return output.written == plain;
}

TEST(SlotChangesTest, KeysChangeAroundTheSamePayload) {
  const SealedKey a = RawKey(1), b = RawKey(2), c = RawKey(3);
  const Bytes plain = Pattern(140000);
  MemoryReader source(plain);
  MemoryWriter sealedFile;
  SealStream(a, source, sealedFile);
  const Bytes& f = sealedFile.written;  // one raw slot: a 172-byte header
  const Bytes added = Changed(f, a, {{}, {b, c}});
  const Bytes swapped = Changed(added, c, {{1, 2}, {}});
  EXPECT_TRUE(Opens(added, a, plain) && Opens(added, b, plain) && Opens(added, c, plain));
  EXPECT_FALSE(Opens(swapped, a, plain) || Opens(swapped, b, plain));
  EXPECT_TRUE(Opens(swapped, c, plain));
  // Three slots of 67 bytes, then one: the payload after each header is the same bytes.
  EXPECT_EQ(Bytes(added.begin() + 172 + 2 * 67, added.end()), Bytes(f.begin() + 172, f.end()));
  EXPECT_EQ(Bytes(swapped.begin() + 172, swapped.end()), Bytes(f.begin() + 172, f.end()));

  const Bytes old = Sealed(a, plain);  // version 1
  const Bytes converted = Changed(old, a, {{}, {b}});
  EXPECT_EQ(converted[8], 2);
  EXPECT_TRUE(Opens(converted, a, plain) && Opens(converted, b, plain));
  EXPECT_FALSE(Opens(Changed(old, a, {{1}, {b}}), a, plain));

  const struct {
    const char* name;
    Bytes file;
    sealed::SlotChanges changes;
    const char* message;
  } refusals[] = {
      {"no such slot", f, {{2}, {b}}, "f has 1 slot: there is no slot 2"},
      {"no slot left", f, {{1}, {}}, "no key would open f any more"},
      {"version 1, no key left", old, {{1}, {}}, "no key would open f any more"},
  };
  for (const auto& r : refusals) {
    MemoryReader input(r.file);
    MemoryWriter output;
    try {
      sealed::ChangeSlots({&a}, r.changes, input, "f", output);
      ADD_FAILURE() << r.name;
    } catch (const SealedError& e) {
      EXPECT_EQ(e.kind(), SealedError::Kind::kInvalidKey) << r.name;
      EXPECT_STREQ(e.what(), r.message) << r.name;
    }
    EXPECT_TRUE(output.written.empty()) << r.name;
  }

  const Bytes passphraseFile = Changed(f, a, {{}, {SealedKey::Passphrase("p", 600001)}});
  MemoryReader input(passphraseFile);
  std::vector<sealed::SlotDescription> slots;
  EXPECT_EQ(sealed::DescribeSlots(input, "f", slots), 2);
  ASSERT_EQ(slots.size(), 2u);
  EXPECT_EQ(slots[0].name + "|" + slots[1].name + "|" + slots[1].detail,
            "raw key|passphrase|600001 PBKDF2 iterations");
}

}  // namespace
}  // namespace vantry::test
