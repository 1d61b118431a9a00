// Version-2 headers: the files an independent implementation made from the format's document,
// opened with each key their manifest names, and the one table of tampered headers (each
// slot's bytes, the slot count, splices, reordered, dropped and added slots, a changed
// recipient) with what each reports, nothing of the payload released before.
#include "sealed/slot_header.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "sealed/sealed_test_util.h"
#include "sealed/unsealer.h"

namespace vantry::test {
namespace {
using K = SealedError::Kind;

SealedKey KeyOf(const std::string& text) {
  const std::size_t colon = text.find(':');
  const Bytes value = FromHex(text.substr(colon + 1));
  const std::string kind = text.substr(0, colon);
  if (kind == "passphrase") {
    return SealedKey::Passphrase(std::string(value.begin(), value.end()));
  }
  return kind == "identity" ? SealedKey::Identity(value.data(), value.size())
                            : SealedKey::Raw(value.data(), value.size());
}

// The outcome of an unseal: "ok", or the refusal's kind (as a number) and message.
std::string Outcome(const std::vector<const SealedKey*>& keys, const Bytes& file,
                    const std::string& name, const Bytes& plain, std::string* message = nullptr) {
  MemoryReader input(file, 1000);
  MemoryWriter output;
  try {
    sealed::UnsealStreamWith(keys, input, name, output);
    return output.written == plain ? "ok" : "wrong plain text";
  } catch (const SealedError& e) {
    if (message != nullptr) {
      *message = e.what();
    }
    return output.written.empty() ? std::to_string(static_cast<int>(e.kind())) : "released";
  }
}

TEST(SlotHeaderTest, IndependentlyMadeFilesOpenAsTheirManifestSays) {
  const std::map<std::string, K> kinds = {{"wrong-key", K::kWrongKey},
                                          {"wrong-kind", K::kWrongKind}};
  const std::string folder = std::string(VANTRY_TEST_DATA_DIR) + "/sealed/v2/";
  std::ifstream manifest(folder + "manifest.txt");
  std::string line;
  int count = 0;
  while (std::getline(manifest, line)) {
    if (line.empty() || line[0] == '#') {
      continue;
    }
    std::istringstream fields(line);
    std::string name, sealWith, openWith, expect, message;
    std::size_t size = 0;
    fields >> name >> size >> sealWith >> openWith >> expect;
    std::getline(fields, message);
    if (openWith.rfind("identity", 0) == 0 && !platform::sealing::HasX25519()) {
      ++count;  // no identities here; the same files' other slots still open
      continue;
    }
    const SealedKey key = KeyOf(openWith);
    std::string got;
    const std::string outcome = Outcome({&key}, ReadFile(folder + name), name, Pattern(size), &got);
    if (expect == "ok") {
      EXPECT_EQ(outcome, "ok") << line << ": " << got;
    } else {
      EXPECT_EQ(outcome, std::to_string(static_cast<int>(kinds.at(expect)))) << line;
      EXPECT_EQ(got.find(message.substr(1)), 0u) << line << ": " << got;
    }
    ++count;
  }
  EXPECT_EQ(count, 12);
}

// Offsets in a header of three slots (raw key A, recipient, raw key B): slots start at 33; a
// raw slot is 67 bytes, a recipient slot 103.
constexpr std::size_t kSlot1 = 33, kSlot2 = 100, kSlot3 = 203, kKeyCheck = 270, kHeader = 342;
constexpr std::size_t kRawSlotSize = 67;

Bytes Part(const Bytes& b, std::size_t from, std::size_t to) {
  return Bytes(b.begin() + static_cast<std::ptrdiff_t>(from),
               b.begin() + static_cast<std::ptrdiff_t>(to));
}
Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) {
    out.insert(out.end(), p.begin(), p.end());
  }
  return out;
}
// A header changed as an attacker would: the keyless digest made right again.
Bytes Forged(Bytes b) {
  std::size_t digestAt = 33;
  for (unsigned n = 0; n < b[9] && n < 16; ++n) {
    digestAt += 3 + 16 + 48 + ((b[digestAt + 1] << 8) | b[digestAt + 2]);
  }
  digestAt += 32;
  unsigned char digest[32];
  platform::sealing::Sha256(b.data(), digestAt, digest);
  std::copy_n(digest, 8, b.begin() + static_cast<std::ptrdiff_t>(digestAt));
  return b;
}
Bytes Flip(Bytes b, std::size_t at) {
  b[at] ^= 0x01;
  return b;
}
Bytes Set(Bytes b, std::size_t at, unsigned char value) {
  b[at] = value;
  return b;
}
// A header with count slots given (passphrase slots of these counts), any MAC.
Bytes PassphraseHeader(std::initializer_list<std::uint32_t> counts) {
  Bytes b = Join({Bytes(sealed::kMagic, sealed::kMagic + 8),
                  {2, static_cast<unsigned char>(counts.size())},
                  Bytes(23, 7)});
  for (std::uint32_t n : counts) {
    b.insert(b.end(),
             {1, 0, 4, static_cast<unsigned char>(n >> 24), static_cast<unsigned char>(n >> 16),
              static_cast<unsigned char>(n >> 8), static_cast<unsigned char>(n)});
    b.insert(b.end(), 64, 0);
  }
  b.insert(b.end(), 72, 0);
  return Forged(b);
}

TEST(SlotHeaderTest, EachTamperingIsRefusedBeforeAnyPlainText) {
  if (!platform::sealing::HasX25519()) {
    GTEST_SKIP() << "its file has a recipient's slot, which this system cannot make";
  }
  const Bytes identityBytes(32, 0x11), otherIdentityBytes(32, 0x22);
  const SealedKey a = RawKey(1), b = RawKey(2), c = RawKey(3), pass = SealedKey::Passphrase("p");
  const SealedKey identity = SealedKey::Identity(identityBytes.data(), 32);
  const SealedKey other = SealedKey::Identity(otherIdentityBytes.data(), 32);
  Bytes recipient(32);
  platform::sealing::X25519Public(identityBytes.data(), recipient.data());
  const SealedKey toRecipient = SealedKey::Recipient(recipient.data(), 32);
  const Bytes plain = Pattern(70000);
  const auto seal = [&](std::vector<SealedKey> keys) {
    MemoryReader input(plain);
    MemoryWriter output;
    sealed::SealStreamWith(keys, input, output);
    return output.written;
  };
  const Bytes f = seal({a, toRecipient, b});
  const Bytes g = seal({a, c});  // another file, with a slot for the same key
  const Bytes slot1 = Part(f, kSlot1, kSlot2), slot2 = Part(f, kSlot2, kSlot3),
              slot3 = Part(f, kSlot3, kKeyCheck), rest = Part(f, kKeyCheck, f.size());
  const Bytes lead = Part(f, 0, kSlot1), payload = Part(f, kHeader, f.size());
  const Bytes two = Set(lead, 9, 2), four = Set(lead, 9, 4);
  const Bytes unknown = Join({{200, 0, 1, 9}, Bytes(64, 0)});
  const struct {
    const char* name;
    Bytes file;
    const SealedKey& key;
    K kind;
    const char* message;
  } cases[] = {
      {"untouched", f, a, K::kWrongKey, nullptr},
      {"slot count 0", Set(f, 9, 0), a, K::kDamaged, "f is damaged: its header's slot count 0 is"},
      {"slot count 17", Set(f, 9, 17), a, K::kDamaged, "f is damaged: its header's slot count 17"},
      {"slot count 2", Forged(Set(f, 9, 2)), a, K::kDamaged,
       "f is damaged: its slot 1 holds another"},
      {"any header byte", Flip(f, kSlot2 + 20), a, K::kDamaged,
       "f is damaged: its header does not match"},
      {"slot 1 kind", Forged(Set(f, kSlot1, 7)), a, K::kDamaged,
       "f is damaged: its slot 1's param"},
      {"slot 1 check", Forged(Flip(f, kSlot1 + 3)), a, K::kWrongKey, "the key does not match f"},
      {"slot 1 wrapped key", Forged(Flip(f, kSlot1 + 30)), a, K::kDamaged,
       "f is damaged: its slot 1 does not authenticate"},
      {"slot 3 wrapped key", Forged(Flip(f, kKeyCheck - 20)), b, K::kDamaged,
       "f is damaged: its slot 3 does not"},
      {"recipient tag", Forged(Flip(f, kSlot2 + 3)), identity, K::kWrongKey,
       "the key does not match f"},
      {"recipient's ephemeral key", Forged(Flip(f, kSlot2 + 10)), identity, K::kWrongKey,
       "the key does not match f"},
      {"another recipient", f, other, K::kWrongKey, "the key does not match f"},
      {"salt", Forged(Flip(f, 12)), a, K::kWrongKey, "the key does not match f"},
      {"nonce prefix", Forged(Flip(f, 28)), a, K::kDamaged,
       "f is damaged: its header does not authenticate"},
      {"key check", Forged(Flip(f, kKeyCheck)), a, K::kDamaged,
       "f is damaged: its slot 1 holds another"},
      {"MAC", Flip(f, kHeader - 1), a, K::kDamaged,
       "f is damaged: its header does not authenticate"},
      {"reordered", Forged(Join({lead, slot3, slot2, slot1, rest})), a, K::kDamaged,
       "f is damaged: its header does not authenticate"},
      {"dropped slot", Forged(Join({two, slot1, slot2, rest})), a, K::kDamaged,
       "f is damaged: its header does not authenticate"},
      {"added slot",
       Forged(Join({four, slot1, slot2, slot3,
                    Part(g, kSlot1 + kRawSlotSize, kSlot1 + 2 * kRawSlotSize), rest})),
       a, K::kDamaged, "f is damaged: its header does not authenticate"},
      {"spliced slot",
       Forged(Join({lead, Part(g, kSlot1, kSlot1 + kRawSlotSize), slot2, slot3, rest})), a,
       K::kWrongKey, "the key does not match f"},
      {"spliced slot and salt", Forged(Join({Part(g, 0, kSlot1), slot1, slot2, slot3, rest})), a,
       K::kWrongKey, "the key does not match f"},
      {"spliced header", Join({Part(g, 0, kSlot1 + 2 * kRawSlotSize + 72), payload}), a,
       K::kDamaged, "f is damaged at segment 1, byte offset 239"},
      {"unknown slot added", Forged(Join({four, slot1, slot2, slot3, unknown, rest})), a,
       K::kDamaged, "f is damaged: its header does not authenticate"},
      {"hostile count", PassphraseHeader({10000001}), pass, K::kDamaged,
       "f asks for 10000001 PBKDF2 iterations, outside 1 to 10000000"},
      {"hostile total", PassphraseHeader({10000000, 10000000, 1}), pass, K::kDamaged,
       "f is damaged: it asks for 20000001 PBKDF2 iterations in all"},
      {"cut in slots", Part(f, 0, kSlot3 + 10), a, K::kTruncated,
       "f is truncated: it ends inside its header"},
      {"segment", Flip(f, kHeader + 5), a, K::kDamaged,
       "f is damaged at segment 1, byte offset 342"},
  };
  for (const auto& c : cases) {
    std::string message;
    const std::string outcome = Outcome({&c.key}, c.file, "f", plain, &message);
    if (c.message == nullptr) {
      EXPECT_EQ(outcome, "ok") << c.name << ": " << message;
      continue;
    }
    EXPECT_EQ(outcome, std::to_string(static_cast<int>(c.kind))) << c.name << ": " << message;
    EXPECT_EQ(message.find(c.message), 0u) << c.name << ": " << message;
  }
}

}  // namespace
}  // namespace vantry::test
