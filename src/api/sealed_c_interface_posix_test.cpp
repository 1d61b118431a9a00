// The sealed files' C interface: each failure's status (the library's own tests hold which
// damage gives which failure), nothing returned with a failure, and the C++ wrapper's errors.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <string>
#include <utility>

#include "support/test_support.h"
#include "vantry/vantry.hpp"
#include "vantry/vantry_c.h"

namespace vantry {
namespace {

using test::Bytes;

Bytes Flip(Bytes b, std::size_t at) {
  b[at] ^= 1;
  return b;
}

TEST(SealedCInterfaceTest, EachFailureHasItsStatusAndReturnsNothing) {
  test::TempDir dir;
  ASSERT_EQ(::setenv("XDG_DATA_HOME", dir.File("data").c_str(), 1), 0);
  const Bytes raw(32, 0), other(32, 1);  // a zero key is a key like any other here
  Bytes plain(70000);
  for (std::size_t i = 0; i < plain.size(); ++i) {
    plain[i] = static_cast<unsigned char>(i * 7);
  }
  int length0 = 0;
  const std::string f = dir.File("f.vts"), account = dir.File("account.vts");
  ASSERT_EQ(vantry_seal(f.c_str(), plain.data(), plain.size(), VANTRY_SEALED_RAW, raw.data(), 32),
            VANTRY_OK);
  ASSERT_EQ(vantry_seal(account.c_str(), "x", 1, VANTRY_SEALED_ACCOUNT, nullptr, 0), VANTRY_OK);
  const Bytes sealed = test::ReadFile(f);
  const struct {
    const char* name;
    Bytes file;
    int kind;
    const Bytes* key;
    int status;
  } cases[] = {
      {"intact", sealed, VANTRY_SEALED_RAW, &raw, VANTRY_OK},
      {"protected", Bytes(80, 7), VANTRY_SEALED_RAW, &raw, VANTRY_ERROR_NOT_SEALED},
      {"version", Flip(sealed, 8), VANTRY_SEALED_RAW, &raw, VANTRY_ERROR_UNSUPPORTED_VERSION},
      {"segment", Flip(sealed, 200), VANTRY_SEALED_RAW, &raw, VANTRY_ERROR_DAMAGED},
      {"cut", Bytes(sealed.begin(), sealed.begin() + 172 + 65552), VANTRY_SEALED_RAW, &raw,
       VANTRY_ERROR_TRUNCATED},
      {"wrong key", sealed, VANTRY_SEALED_RAW, &other, VANTRY_ERROR_WRONG_KEY},
      {"wrong kind", sealed, VANTRY_SEALED_PASSPHRASE, &raw, VANTRY_ERROR_WRONG_KEY_KIND},
      {"short raw key", sealed, VANTRY_SEALED_RAW, nullptr, VANTRY_ERROR_INVALID_ARGUMENT},
      {"other account", test::ReadFile(account), VANTRY_SEALED_ACCOUNT, nullptr,
       VANTRY_ERROR_OTHER_ACCOUNT},
  };
  for (const auto& c : cases) {
    const std::string name = dir.File("case.vts");
    test::WriteFile(name, c.file);
    if (c.status == VANTRY_ERROR_OTHER_ACCOUNT) {
      // Another account, which has no secret yet: unsealing creates none.
      ASSERT_EQ(::setenv("XDG_DATA_HOME", dir.File("elsewhere").c_str(), 1), 0);
    }
    const bool secret = c.kind == VANTRY_SEALED_ACCOUNT;
    unsigned char* data = reinterpret_cast<unsigned char*>(&length0);
    size_t length = 99;
    const int status = vantry_unseal(name.c_str(), c.kind,
                                     secret  ? nullptr
                                     : c.key ? c.key->data()
                                             : raw.data(),
                                     secret  ? 0
                                     : c.key ? c.key->size()
                                             : 31,
                                     &data, &length);
    EXPECT_EQ(status, c.status) << c.name << ": " << vantry_last_error();
    if (c.status == VANTRY_OK) {
      EXPECT_EQ(Bytes(data, data + length), plain);
      vantry_free(data, length);
    } else {
      EXPECT_EQ(data, nullptr) << c.name;
      EXPECT_EQ(length, 0u) << c.name;
      EXPECT_STRNE(vantry_status_text(status), "unknown status");
    }
  }
  // Keys no file can take, refused before a file is touched: an empty passphrase would seal a
  // file anyone opens, and no key is longer than any object.
  const std::string refused = dir.File("refused.vts");
  for (const auto& [key, size] :
       {std::pair<const char*, std::size_t>{nullptr, 0}, {"", 0}, {"k", SIZE_MAX}}) {
    EXPECT_EQ(vantry_seal(refused.c_str(), "x", 1, VANTRY_SEALED_PASSPHRASE, key, size),
              VANTRY_ERROR_INVALID_ARGUMENT);
    unsigned char* data = nullptr;
    size_t length = 0;
    EXPECT_EQ(vantry_unseal(f.c_str(), VANTRY_SEALED_PASSPHRASE, key, size, &data, &length),
              VANTRY_ERROR_INVALID_ARGUMENT);
  }
  EXPECT_FALSE(test::FileExists(refused));
  // The C++ wrapper: the same file, the same status as an Error.
  EXPECT_EQ(Unseal(f, SealedFileKey::Raw(raw.data(), 32)).size(), plain.size());
  try {
    Unseal(f, SealedFileKey::Passphrase("correct horse battery staple"));
    ADD_FAILURE();
  } catch (const Error& e) {
    EXPECT_EQ(e.status(), Status::kWrongKeyKind);
  }
  ::unsetenv("XDG_DATA_HOME");
}

}  // namespace
}  // namespace vantry
