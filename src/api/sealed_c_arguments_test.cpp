// Keys the sealed files' C interface refuses before it touches a file: an empty passphrase
// would seal a file anyone opens, and no key has a length beyond any object's.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "support/test_support.h"
#include "vantry/sealed.h"
#include "vantry/vantry_c.h"

namespace vantry {
namespace {

TEST(SealedCArgumentsTest, KeysNoFileCanTakeAreInvalidArguments) {
  test::TempDir dir;
  const std::string name = dir.File("f.vts");
  const struct {
    const void* key;
    std::size_t length;
  } cases[] = {{nullptr, 0}, {"", 0}, {"k", SIZE_MAX}};
  for (const auto& c : cases) {
    EXPECT_EQ(vantry_seal(name.c_str(), "x", 1, VANTRY_SEALED_PASSPHRASE, c.key, c.length),
              VANTRY_ERROR_INVALID_ARGUMENT);
    EXPECT_FALSE(test::FileExists(name));
    unsigned char* data = nullptr;
    std::size_t length = 1;
    EXPECT_EQ(
        vantry_unseal(name.c_str(), VANTRY_SEALED_PASSPHRASE, c.key, c.length, &data, &length),
        VANTRY_ERROR_INVALID_ARGUMENT)
        << c.length;
  }
  EXPECT_THROW(SealedKey::Passphrase(""), SealedError);
}

}  // namespace
}  // namespace vantry
