// The name encoding is the calling thread's alone and comes back when a scope ends, so that
// a C-interface call never changes how a later entry-point call, or another thread, reads names.
#include "platform/name_encoding.h"

#include <gtest/gtest.h>

#include <thread>

namespace vantry::platform {
namespace {

TEST(NameEncodingTest, ScopesNestAndRestoreAndStayOnTheirThread) {
  EXPECT_EQ(CurrentNameEncoding(), NameEncoding::kAnsiCodePage);
  {
    const ScopedNameEncoding outer(NameEncoding::kUtf8);
    EXPECT_EQ(CurrentNameEncoding(), NameEncoding::kUtf8);
    NameEncoding seenByOther = NameEncoding::kUtf8;
    std::thread other([&] { seenByOther = CurrentNameEncoding(); });
    other.join();
    EXPECT_EQ(seenByOther, NameEncoding::kAnsiCodePage);
    {
      const ScopedNameEncoding inner(NameEncoding::kAnsiCodePage);
      EXPECT_EQ(CurrentNameEncoding(), NameEncoding::kAnsiCodePage);
    }
    EXPECT_EQ(CurrentNameEncoding(), NameEncoding::kUtf8);
  }
  EXPECT_EQ(CurrentNameEncoding(), NameEncoding::kAnsiCodePage);
}

}  // namespace
}  // namespace vantry::platform
