// The recovery lists as a default seal reads them: what it adds, and each list it refuses.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "sealed/recovery_recipients.h"
#include "sealed/sealed_test_util.h"
#include "support/other_user.h"

namespace vantry::test {
namespace {

void Put(const std::string& path, const std::string& text) {
  WriteFile(path, Bytes(text.begin(), text.end()));
}

TEST(RecoveryRecipientsTest, DefaultSealsAddEachListedRecipientOnceOrRefuseTheList) {
  if (!CanActAsOtherUser()) GTEST_SKIP() << "needs root to act as another user";
  std::vector<std::string> r;  // recipients
  for (int i = 0; i < 16; ++i) r.push_back(NewIdentity().recipient());
  using D = const std::string&;  // the case's folder: a/ (0755), s/ (sticky), data, config
  const struct {
    std::function<void(D)> arrange;
    int given;            // recipients given beside the account's secret
    std::string outcome;  // "slots N.", or a part of the refusal ('%' for the admin list)
    const char* admin = "a/list";
    bool asOther = false;
  } cases[] = {
      {{}, 0, "slots 1."},
      {[&](D d) {
         Put(d + "/a/list", "#\r\n\r\n" + r[0] + "\r\n" + r[1] + "\n" + r[1]);
         Put(d + "/u", r[2] + "\n" + r[1]);
       },
       1, "slots 4."},  // blanks, comments, CRLF; r[0] given, r[1] in both lists
      {[&](D d) { Put(d + "/a/list", r[0] + "\n#\nvantry1x\n"); }, 0,
       "line 3 of the recovery recipients list '%' is not a recipient"},
      {[&](D d) { Put(d + "/a/list", r[0]), ::chmod((d + "/a/list").c_str(), 0646); }, 0,
       "its mode 0646 lets others change it; run chmod go-w"},
      {[&](D d) { Put(d + "/u", r[0]), ::chmod((d + "/config/vantry").c_str(), 0775); }, 0,
       "/config/vantry' (mode 0775) lets others replace what it holds"},
      {[&](D d) {
         Put(d + "/a/list", r[0]);
         AsOtherUser([&] { return ::symlink("../a/list", (d + "/s/list").c_str()) == 0; });
       },
       0, "/s/list' on the way belongs to user 65534", "s/list"},
      {[&](D d) {
         EXPECT_EQ(::chown((d + "/s").c_str(), kOtherUserId, kOtherUserId), 0);
         AsOtherUser([&] { return Put(d + "/s/list", r[0]), true; });
       },
       0, "not to root, who keeps it for every user; run chown root", "s/list", true},
      {[&](D d) { Put(d + "/a/list", r[15]); }, 15,
       "at most 16 keys, not the 17 that the 16 given and the recovery recipients of '%' make"},
  };
  TempDir top;
  ::chmod(top.path().c_str(), 0755);  // the other user reaches the case folders
  int n = 0;
  for (const auto& c : cases) {
    const std::string d = top.File(std::to_string(n++)), admin = d + "/" + c.admin;
    for (const char* folder : {"", "/a", "/s", "/data", "/config", "/config/vantry"}) {
      ::mkdir((d + folder).c_str(), 0755);
    }
    ::chmod((d + "/s").c_str(), 01777);
    ASSERT_EQ(::symlink("config/vantry/recovery-recipients", (d + "/u").c_str()), 0);
    if (c.arrange) c.arrange(d);
    ::setenv("XDG_DATA_HOME", (d + "/data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (d + "/config").c_str(), 1);
    sealed::SetAdminRecoveryListForTesting(admin);
    std::vector<SealedKey> keys{SealedKey::AccountSecret()};
    for (int i = 0; i < c.given; ++i) keys.push_back(RecipientFromText(r[i]));
    std::string outcome = c.outcome;
    if (outcome.find('%') != std::string::npos) outcome.replace(outcome.find('%'), 1, admin);
    const auto check = [&] {
      MemoryReader input(Pattern(10));
      MemoryWriter output;
      std::vector<SealedSlot> slots;
      std::string got;
      try {
        SealStream(keys, input, output);
        MemoryReader file(output.written);
        got = "slots " + std::to_string((ListSealedSlots(file, "f", slots), slots.size())) + ".";
      } catch (const SealedError& e) {
        got = e.what();
      }
      EXPECT_NE(got.find(outcome), std::string::npos) << got;
      return got.find(outcome) != std::string::npos;
    };
    EXPECT_TRUE(c.asOther ? AsOtherUser(check) : check()) << admin;
  }
  sealed::SetAdminRecoveryListForTesting("");
  ::unsetenv("XDG_DATA_HOME");
  ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace vantry::test
