// Every allocation of a save and of a load, made to fail in turn: each failure is reported as
// VANTRY_ERROR_OUT_OF_MEMORY and leaves no descriptor open, no lock held (the file loads next)
// and no temporary beside the file.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>

#include "support/test_support.h"
#include "vantry/vantry_c.h"

namespace {
long g_allocationsLeft = -1;  // counted down while armed; the one that reaches zero fails
}  // namespace

void* operator new(std::size_t size) {
  if (g_allocationsLeft > 0 && --g_allocationsLeft == 0) {
    g_allocationsLeft = -1;
    throw std::bad_alloc();
  }
  if (void* p = std::malloc(size == 0 ? 1 : size)) {
    return p;
  }
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace vantry::test {
namespace {

std::size_t Count(const std::string& folder) {
  std::size_t n = 0;
  for (auto it = std::filesystem::directory_iterator(folder); it != decltype(it)(); ++it) {
    ++n;
  }
  return n;
}

TEST(AllocationFailureTest, EveryAllocationOfASaveAndALoadFailsCleanly) {
  TempDir dir;
  const std::string name = dir.File("notes.vty");
  const std::string data(5000, 'x');
  ASSERT_EQ(vantry_save(name.c_str(), data.data(), data.size(), VANTRY_KEY_TEXT, "k", 1),
            VANTRY_OK);
  const std::size_t descriptors = Count("/proc/self/fd");
  for (const bool save : {true, false}) {
    int injected = 0;
    for (long n = 1;; ++n, ++injected) {
      unsigned char* block = nullptr;
      std::size_t length = 0;
      g_allocationsLeft = n;
      const int status =
          save ? vantry_save(name.c_str(), data.data(), data.size(), VANTRY_KEY_TEXT, "k", 1)
               : vantry_load(name.c_str(), VANTRY_KEY_TEXT, "k", 1, &block, &length);
      const bool failed = g_allocationsLeft == -1;
      g_allocationsLeft = -1;
      vantry_free(block, length);
      if (!failed) {
        ASSERT_EQ(status, VANTRY_OK);
        break;
      }
      const std::string what = (save ? "save" : "load") + std::string(", allocation ") +
                               std::to_string(n) + ": " + vantry_last_error();
      EXPECT_EQ(status, VANTRY_ERROR_OUT_OF_MEMORY) << what;
      EXPECT_EQ(Count("/proc/self/fd"), descriptors) << what;
      EXPECT_EQ(Count(dir.File("")), 1u) << what;  // notes.vty alone
      ASSERT_EQ(vantry_load(name.c_str(), VANTRY_KEY_TEXT, "k", 1, &block, &length), VANTRY_OK)
          << what << "; then: " << vantry_last_error();
      EXPECT_EQ(std::string(reinterpret_cast<char*>(block), data.size()), data) << what;
      vantry_free(block, length);
    }
    EXPECT_GT(injected, 0);
    std::printf("%s: %d allocations failed in turn\n", save ? "save" : "load", injected);
  }
}

}  // namespace
}  // namespace vantry::test
