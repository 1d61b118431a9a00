// Several keys through the C interface: a file and a buffer sealed to a raw key and a
// recipient open with either, the slots list without a key, and each refusal has its status
// and hands out no block.
#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"
#include "vantry/sealed.h"
#include "vantry/vantry.hpp"
#include "vantry/vantry_c.h"

namespace vantry {
namespace {

using test::Bytes;

TEST(SealedKeysCInterfaceTest, AnyKeyOpensAndEachRefusalHasItsStatus) {
  test::TempDir dir;
  const NewIdentity identity, stranger;
  const Bytes raw(32, 9), plain(70000, 'p');
  const vantry_sealed_key rawKey{VANTRY_SEALED_RAW, raw.data(), 32};
  const auto text = [](int kind, const std::string& t) {
    return vantry_sealed_key{kind, t.data(), t.size()};
  };
  const vantry_sealed_key recipient = text(VANTRY_SEALED_RECIPIENT, identity.recipient());
  const vantry_sealed_key own = text(VANTRY_SEALED_IDENTITY, identity.identity());
  const vantry_sealed_key other = text(VANTRY_SEALED_IDENTITY, stranger.identity());
  std::string typo = identity.recipient();
  typo[10] = typo[10] == 'q' ? 'p' : 'q';
  const vantry_sealed_key mistyped = text(VANTRY_SEALED_RECIPIENT, typo);
  const vantry_sealed_key both[] = {rawKey, recipient};
  const std::string f = dir.File("f.vts");
  ASSERT_EQ(vantry_seal_keys(f.c_str(), plain.data(), plain.size(), both, 2), VANTRY_OK);
  unsigned char* sealed = nullptr;
  std::size_t sealedLength = 0;
  ASSERT_EQ(vantry_seal_buffer(plain.data(), plain.size(), both, 2, &sealed, &sealedLength),
            VANTRY_OK);
  const Bytes blob(sealed, sealed + sealedLength);
  vantry_free(sealed, sealedLength);
  Bytes damaged = blob;
  damaged[blob.size() - 1] ^= 1;
  const vantry_sealed_key seventeen[17] = {};
  const struct {
    const char* name;
    const Bytes* buffer;  // nullptr: the file f
    const vantry_sealed_key* keys;
    std::size_t count;
    int status;
  } cases[] = {
      {"file, raw key", nullptr, &rawKey, 1, VANTRY_OK},
      {"file, identity", nullptr, &own, 1, VANTRY_OK},
      {"buffer, identity", &blob, &own, 1, VANTRY_OK},
      {"buffer, another identity", &blob, &other, 1, VANTRY_ERROR_WRONG_KEY},
      {"buffer, damaged", &damaged, &rawKey, 1, VANTRY_ERROR_DAMAGED},
      {"file, mistyped recipient", nullptr, &mistyped, 1, VANTRY_ERROR_INVALID_ARGUMENT},
      {"file, no key", nullptr, &rawKey, 0, VANTRY_ERROR_INVALID_ARGUMENT},
      {"file, 17 keys", nullptr, seventeen, 17, VANTRY_ERROR_INVALID_ARGUMENT},
  };
  for (const auto& c : cases) {
    unsigned char* data = nullptr;
    std::size_t length = 1;
    const int status = c.buffer != nullptr
                           ? vantry_unseal_buffer(c.buffer->data(), c.buffer->size(), c.keys,
                                                  c.count, &data, &length)
                           : vantry_unseal_keys(f.c_str(), c.keys, c.count, &data, &length);
    EXPECT_EQ(status, c.status) << c.name << ": " << vantry_last_error();
    EXPECT_EQ(data != nullptr ? Bytes(data, data + length) : Bytes(),
              c.status == VANTRY_OK ? plain : Bytes())
        << c.name;
    vantry_free(data, length);
  }
  char* listing = nullptr;
  std::size_t listingLength = 0;
  int version = 0;
  ASSERT_EQ(vantry_sealed_slots(f.c_str(), &version, &listing, &listingLength), VANTRY_OK);
  EXPECT_EQ(version, 2);
  EXPECT_EQ(std::string(listing).substr(0, 36), "1\traw key\t\n2\trecipient\trecipient tag");
  EXPECT_EQ(listingLength, std::string(listing).size());
  vantry_free(listing, listingLength + 1);
  // The C++ wrapper over the same calls.
  const Buffer blob2 =
      SealBuffer(plain.data(), plain.size(), {SealedFileKey::Recipient(identity.recipient())});
  const Buffer back =
      UnsealBuffer(blob2.data(), blob2.size(), {SealedFileKey::Identity(identity.identity())});
  EXPECT_EQ(Bytes(back.begin(), back.end()), plain);
  EXPECT_EQ(SealedSlots(f).substr(0, 11), "1\traw key\t\n");
}

}  // namespace
}  // namespace vantry
