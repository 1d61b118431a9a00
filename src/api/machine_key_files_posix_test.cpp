// Every local user can compute the machine key, so a file it protects is no secret from them
// unless its mode keeps them out: the library's saves under the machine key create owner-only
// files, whatever the umask; saves under a key text follow the umask as any new file does.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "support/test_support.h"
#include "vantry/vantry.h"
#include "vantry/vantry_c.h"

namespace vantry {
namespace {

using test::TempDir;

struct SaveCase {
  const char* name;
  std::function<void(const std::string&)> save;
  unsigned mode;
};

TEST(MachineKeyFiles, AreOwnerOnlyWhateverTheUmask) {
  static const unsigned char kData[] = "plain text";
  const SaveCase cases[] = {
      {"SaveVantry", [](const std::string& f) { SaveVantry(kData, sizeof kData, f.c_str()); },
       0600},
      {"SaveVantryWithKey, empty key",
       [](const std::string& f) { SaveVantryWithKey(kData, sizeof kData, f, ""); }, 0600},
      {"SaveVantryWithKey2, no key",
       [](const std::string& f) { SaveVantryWithKey2(kData, sizeof kData, f.c_str(), nullptr); },
       0600},
      {"vantry_save, machine key",
       [](const std::string& f) {
         ASSERT_EQ(vantry_save(f.c_str(), kData, sizeof kData, VANTRY_KEY_MACHINE, nullptr, 0),
                   VANTRY_OK);
       },
       0600},
      {"SaveVantryWithKey2, a key text",
       [](const std::string& f) { SaveVantryWithKey2(kData, sizeof kData, f.c_str(), "k"); }, 0644},
      {"vantry_save, a key text",
       [](const std::string& f) {
         ASSERT_EQ(vantry_save(f.c_str(), kData, sizeof kData, VANTRY_KEY_TEXT, "k", 1), VANTRY_OK);
       },
       0644},
  };
  const mode_t previous = ::umask(022);
  TempDir dir;
  for (const SaveCase& c : cases) {
    const std::string file = dir.File("out.vty");
    ::unlink(file.c_str());
    c.save(file);
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0) << c.name;
    EXPECT_EQ(info.st_mode & 0777, c.mode)
        << c.name << ": files of the machine key must be readable by their owner alone";
  }
  ::umask(previous);
}

}  // namespace
}  // namespace vantry
