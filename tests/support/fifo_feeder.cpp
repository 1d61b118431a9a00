#include "support/fifo_feeder.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace vantry::test {
namespace {

bool WriteAll(int fd, const Bytes& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

FifoFeeder::FifoFeeder(const std::string& path, Bytes first, Bytes second,
                       std::function<bool()> between) {
  int ready[2];
  if (::mkfifo(path.c_str(), 0600) != 0 || ::pipe(ready) != 0) {
    throw std::runtime_error("test: cannot make the FIFO " + path);
  }
  const pid_t child = ::fork();
  if (child < 0) {
    throw std::runtime_error("test: cannot fork");
  }
  if (child == 0) {
    ::close(ready[0]);
    // Read and write: opens at once, and counts as the writer the reader waits for.
    const int fd = ::open(path.c_str(), O_RDWR);
    const char byte = 1;
    if (fd < 0 || ::write(ready[1], &byte, 1) != 1) {
      ::_exit(2);
    }
    ::close(ready[1]);
    bool ok = WriteAll(fd, first);
    ok = ok && between();
    ok = WriteAll(fd, second) && ok;
    ::close(fd);
    ::_exit(ok ? 0 : 1);
  }
  m_child = child;
  ::close(ready[1]);
  char byte = 0;
  while (::read(ready[0], &byte, 1) < 0 && errno == EINTR) {
  }
  ::close(ready[0]);
}

FifoFeeder::~FifoFeeder() {
  if (m_child > 0) {
    ::kill(m_child, SIGKILL);
    ::waitpid(m_child, nullptr, 0);
  }
}

bool FifoFeeder::Finish() {
  int status = 0;
  while (::waitpid(m_child, &status, 0) < 0) {
    if (errno != EINTR) {
      return false;
    }
  }
  m_child = -1;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace vantry::test
