// The standard-stream reader and writer on pipes, and file readers on inputs whose size the
// file system does not know (/proc, FIFOs). Standard input and output are swapped for a pipe in
// this process for the length of one test.
#ifndef _WIN32

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <thread>

#include "files/files_test_util.h"
#include "vantry/streams.h"

namespace vantry::test {
namespace {

// Puts fd in place of target (0 or 1) until destruction.
class SwappedDescriptor {
 public:
  SwappedDescriptor(int target, int fd) : m_target(target), m_saved(::dup(target)) {
    ::dup2(fd, target);
    ::close(fd);
  }
  ~SwappedDescriptor() {
    ::dup2(m_saved, m_target);
    ::close(m_saved);
  }

 private:
  int m_target;
  int m_saved;
};

TEST(StandardStreams, InputIsReadToItsEndThroughAPipe) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const Bytes data = PatternBytes(300000, 8);  // more than a pipe holds at once
  std::thread writer([&] {
    std::size_t at = 0;
    while (at < data.size()) {
      const ssize_t n =
          ::write(fds[1], data.data() + at, std::min<std::size_t>(5000, data.size() - at));
      if (n <= 0) break;
      at += static_cast<std::size_t>(n);
    }
    ::close(fds[1]);
  });
  Bytes got(data.size() + 1);
  std::size_t n = 0;
  {
    SwappedDescriptor in(0, fds[0]);
    n = OpenStandardInputReader()->ReadFull(got.data(), got.size());
  }
  writer.join();
  ASSERT_EQ(n, data.size());
  got.resize(n);
  EXPECT_TRUE(got == data);
}

TEST(StandardStreams, OutputToAClosedPipeIsABrokenPipeError) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ::close(fds[0]);
  const auto saved = std::signal(SIGPIPE, SIG_IGN);
  {
    SwappedDescriptor out(1, fds[1]);
    auto writer = OpenStandardOutputWriter();
    const Bytes data(100, 1);
    writer->Write(data.data(), data.size());  // buffered
    try {
      writer->Commit();
      ADD_FAILURE() << "no error";
    } catch (const FileError& e) {
      EXPECT_EQ(e.cause(), FileError::Cause::kWrite);
      EXPECT_EQ(e.code().value(), EPIPE);
      EXPECT_EQ(e.file_name(), "standard output");
    }
  }
  std::signal(SIGPIPE, saved);
}

TEST(StandardStreams, AbandonedOutputWritesNothingOfWhatItBuffers) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  {
    SwappedDescriptor out(1, fds[1]);
    auto writer = OpenStandardOutputWriter();
    writer->Write("secret", 6);
  }
  char c = 0;
  EXPECT_EQ(::read(fds[0], &c, 1), 0);  // the end: the writer is gone and sent nothing
  ::close(fds[0]);
}

TEST(StandardStreams, FilesWhoseSizeIsUnknownAreReadToTheEnd) {
  auto reader = OpenFileReader("/proc/self/status");
  Bytes got(1 << 20);
  got.resize(reader->ReadFull(got.data(), got.size()));
  const std::string text(got.begin(), got.end());
  EXPECT_NE(text.find("Name:"), std::string::npos);
}

}  // namespace
}  // namespace vantry::test

#endif  // _WIN32
