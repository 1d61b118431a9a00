// Every allocation of each call of the C interface that writes or reads a file or a block, made
// to fail in turn: each failure is reported as VANTRY_ERROR_OUT_OF_MEMORY, returns no block and
// leaves no descriptor open, no lock held (the files read next) and no temporary beside them.
// The data is more than two runs of the sealing pipeline, so its second thread and the buffers
// made while that thread works fail too. Only the thread may fail without a refusal: the call
// then does the work on one thread, and its result must be whole.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <new>
#include <string>

#include "support/test_support.h"
#include "vantry/sealed.h"
#include "vantry/vantry_c.h"

namespace {
// Counted down while armed; the one that reaches zero fails. Atomic: the pipeline's second
// thread may allocate too.
std::atomic<long> g_allocationsLeft{-1};
}  // namespace

void* operator new(std::size_t size) {
  if (g_allocationsLeft.load() > 0 && g_allocationsLeft.fetch_sub(1) == 1) {
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

// Each call of the walk: it returns a status and maybe a block, which the walk releases.
struct Call {
  const char* name;
  std::function<int(unsigned char**, std::size_t*)> run;
  bool givesData = false;  // a block that must hold data (seals are checked by unsealing the file)
};

TEST(AllocationFailureTest, EveryAllocationOfEachCallFailsCleanly) {
  TempDir dir;
  const std::string name = dir.File("notes.vty");
  const std::string sealedName = dir.File("notes.vts");
  const std::string data(1100000, 'x');
  const unsigned char raw[VANTRY_SEALED_RAW_KEY_LENGTH] = {7};
  const NewIdentity identity;
  const vantry_sealed_key keys[] = {
      {VANTRY_SEALED_RAW, raw, sizeof raw},
      {VANTRY_SEALED_RECIPIENT, identity.recipient().data(), identity.recipient().size()}};
  const vantry_sealed_key identityKey = {VANTRY_SEALED_IDENTITY, identity.identity().data(),
                                         identity.identity().size()};
  unsigned char* blob = nullptr;
  std::size_t blobLength = 0;
  ASSERT_EQ(vantry_save(name.c_str(), data.data(), data.size(), VANTRY_KEY_TEXT, "k", 1),
            VANTRY_OK);
  ASSERT_EQ(vantry_seal_keys(sealedName.c_str(), data.data(), data.size(), keys, 2), VANTRY_OK);
  ASSERT_EQ(vantry_seal_buffer(data.data(), data.size(), keys, 2, &blob, &blobLength), VANTRY_OK);
  const Call calls[] = {
      {"save",
       [&](unsigned char**, std::size_t*) {
         return vantry_save(name.c_str(), data.data(), data.size(), VANTRY_KEY_TEXT, "k", 1);
       }},
      {"load",
       [&](unsigned char** out, std::size_t* n) {
         return vantry_load(name.c_str(), VANTRY_KEY_TEXT, "k", 1, out, n);
       }},
      {"seal_keys",
       [&](unsigned char**, std::size_t*) {
         return vantry_seal_keys(sealedName.c_str(), data.data(), data.size(), keys, 2);
       }},
      {"unseal_keys (identity)",
       [&](unsigned char** out, std::size_t* n) {
         return vantry_unseal_keys(sealedName.c_str(), &identityKey, 1, out, n);
       },
       true},
      {"seal_buffer",
       [&](unsigned char** out, std::size_t* n) {
         return vantry_seal_buffer(data.data(), data.size(), keys, 2, out, n);
       }},
      {"unseal_buffer",
       [&](unsigned char** out, std::size_t* n) {
         return vantry_unseal_buffer(blob, blobLength, keys, 1, out, n);
       },
       true},
      {"sealed_slots",
       [&](unsigned char** out, std::size_t* n) {
         int version = 0;
         return vantry_sealed_slots(sealedName.c_str(), &version, reinterpret_cast<char**>(out), n);
       }},
  };
  const std::size_t descriptors = Count("/proc/self/fd");
  for (const Call& call : calls) {
    int injected = 0;
    int wentOn = 0;
    for (long n = 1;; ++n, ++injected) {
      unsigned char* block = nullptr;
      std::size_t length = 0;
      g_allocationsLeft = n;
      const int status = call.run(&block, &length);
      const bool failed = g_allocationsLeft == -1;
      g_allocationsLeft = -1;
      const std::string result =
          block != nullptr ? std::string(reinterpret_cast<char*>(block), length) : "";
      vantry_free(block, length);
      if (!failed) {
        ASSERT_EQ(status, VANTRY_OK) << call.name << ": " << vantry_last_error();
        break;
      }
      const std::string what =
          call.name + std::string(", allocation ") + std::to_string(n) + ": " + vantry_last_error();
      if (status == VANTRY_OK) {  // went on without the pipeline's second thread
        ++wentOn;
        EXPECT_TRUE(!call.givesData || result == data) << what;
      } else {
        EXPECT_EQ(status, VANTRY_ERROR_OUT_OF_MEMORY) << what;
        EXPECT_EQ(block, nullptr) << what;
      }
      EXPECT_EQ(Count("/proc/self/fd"), descriptors) << what;
      EXPECT_EQ(Count(dir.File("")), 2u) << what;  // the two files alone: no temporary
      // Neither file was touched, nor is a lock left: both read back.
      ASSERT_EQ(vantry_load(name.c_str(), VANTRY_KEY_TEXT, "k", 1, &block, &length), VANTRY_OK)
          << what << "; then: " << vantry_last_error();
      EXPECT_EQ(std::string(reinterpret_cast<char*>(block), data.size()), data) << what;
      vantry_free(block, length);
      ASSERT_EQ(vantry_unseal_keys(sealedName.c_str(), keys, 1, &block, &length), VANTRY_OK)
          << what << "; then: " << vantry_last_error();
      EXPECT_EQ(std::string(reinterpret_cast<char*>(block), length), data) << what;
      vantry_free(block, length);
    }
    EXPECT_GT(injected, 0) << call.name;
    EXPECT_LE(wentOn, 1) << call.name;
    std::printf("%s: %d allocations failed in turn (%d went on)\n", call.name, injected, wentOn);
  }
  vantry_free(blob, blobLength);
}

}  // namespace
}  // namespace vantry::test
