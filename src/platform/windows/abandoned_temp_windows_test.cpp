// A save killed part way leaves its temporary beside the target; the next writer of that target
// removes it on Windows too, but never a temporary that anyone holds open, nor anything that
// only looks like one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/windows/held_file.h"
#include "platform/windows/win32.h"
#include "support/test_support.h"

namespace vantry::platform {
namespace {

using test::Bytes;
using test::HeldFile;
using test::TempDir;
using Names = std::vector<std::string>;

// Set in the environment of the child this test starts: the target the child's writer holds.
constexpr char kHelperTarget[] = "VANTRY_KILLED_SAVE_TARGET";

void Commit(const std::string& target, const Bytes& bytes) {
  AtomicWriter writer(target);
  writer.Write(bytes.data(), bytes.size());
  writer.Commit();
}

TEST(AbandonedTempWindowsTest, TheNextWriterRemovesWhatKilledWritersLeft) {
  TempDir dir;
  test::WriteFile(dir.File("data"), {'o', 'l', 'd'});
  test::WriteFile(dir.File(".data.vantry-ab3de9"), Bytes(5000, 1));
  test::WriteFile(dir.File(".data.vantry-zzzzzz"), {});
  Commit(dir.File("data"), {'n', 'e', 'w'});
  EXPECT_EQ(test::ReadFile(dir.File("data")), (Bytes{'n', 'e', 'w'}));
  EXPECT_EQ(dir.Entries(), Names{"data"});
}

TEST(AbandonedTempWindowsTest, WhatIsHeldOrOnlyLooksLikeATemporaryStays) {
  TempDir dir;
  // Held by another program, even one that shares everything: it may be a live writer's.
  test::WriteFile(dir.File(".data.vantry-held00"), {7});
  HeldFile held(dir.File(".data.vantry-held00"), GENERIC_READ,
                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  ASSERT_TRUE(held.ok());
  // Not of the writer's pattern: letters it never uses, other lengths, another target, no
  // leading dot; and a folder of the exact pattern.
  const Names lookAlikes{".data.vantry-2024Q1", ".data.vantry-a-b-c-", ".data.vantry-backup1",
                         ".data.vantry-12345",  ".datb.vantry-ab3de9", "data.vantry-ab3de9",
                         ".data.vantry-dir000"};
  for (const auto& name : lookAlikes) {
    if (name == ".data.vantry-dir000") {
      ASSERT_TRUE(CreateDirectoryA(dir.File(name).c_str(), nullptr));
    } else {
      test::WriteFile(dir.File(name), {9});
    }
  }
  Commit(dir.File("data"), {'x'});

  Names expected = lookAlikes;
  expected.push_back(".data.vantry-held00");
  expected.push_back("data");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(dir.Entries(), expected);
  RemoveDirectoryA(dir.File(".data.vantry-dir000").c_str());
}

// The child's side of the next test: a writer that has written part of its output and then
// waits to be killed. Skipped in an ordinary run.
TEST(AbandonedTempWindowsTest, KilledSaveChild) {
  const char* target = std::getenv(kHelperTarget);
  if (target == nullptr) {
    GTEST_SKIP() << "runs only as the child of TheTemporaryOfAKilledSaveGoesWithTheNextSave";
  }
  AtomicWriter writer(target);
  writer.Write("partial", 7);
  // The parent kills this process once it has read the line: the writer stops between two
  // steps, as a save killed at that point would.
  std::printf("ready %s\n", writer.TempName().c_str());
  std::fflush(stdout);
  Sleep(INFINITE);
}

TEST(AbandonedTempWindowsTest, TheTemporaryOfAKilledSaveGoesWithTheNextSave) {
  TempDir dir;
  const std::string target = dir.File("data");
  test::WriteFile(target, {'o', 'l', 'd'});

  char program[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameA(nullptr, program, sizeof program), 0u);
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, &inherit, 0));
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  std::string commandLine =
      std::string("\"") + program + "\" --gtest_filter=AbandonedTempWindowsTest.KilledSaveChild";
  ASSERT_TRUE(SetEnvironmentVariableA(kHelperTarget, target.c_str()));
  PROCESS_INFORMATION child{};
  const BOOL started = CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                                      nullptr, &startup, &child);
  SetEnvironmentVariableA(kHelperTarget, nullptr);
  CloseHandle(writeEnd);
  ASSERT_TRUE(started);

  // Everything the child prints until its line "ready <temporary>".
  std::string output;
  char buffer[512];
  DWORD got = 0;
  while (output.find("ready ") == std::string::npos || output.back() != '\n') {
    if (!ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) || got == 0) {
      break;
    }
    output.append(buffer, got);
  }
  const auto ready = output.find("ready ");
  ASSERT_NE(ready, std::string::npos) << output;
  std::string temp = output.substr(ready + 6);
  temp.erase(temp.find_last_not_of("\r\n") + 1);
  EXPECT_TRUE(test::FileExists(temp));

  // The child holds target and temporary: nothing can be saved while it lives.
  EXPECT_THROW(Commit(target, {'x'}), FileError);
  TerminateProcess(child.hProcess, 9);
  WaitForSingleObject(child.hProcess, INFINITE);
  CloseHandle(child.hProcess);
  CloseHandle(child.hThread);
  CloseHandle(readEnd);

  EXPECT_EQ(test::ReadFile(target), (Bytes{'o', 'l', 'd'}));
  ASSERT_TRUE(test::FileExists(temp)) << "the killed save left no temporary";
  Commit(target, {'n', 'e', 'w'});
  EXPECT_FALSE(test::FileExists(temp));
  EXPECT_EQ(test::ReadFile(target), (Bytes{'n', 'e', 'w'}));
  EXPECT_EQ(dir.Entries(), Names{"data"});
}

}  // namespace
}  // namespace vantry::platform
