// An input without a size: a FIFO that a child process fills, as a pipe into a program would.
// POSIX only.
#ifndef VANTRY_TESTS_SUPPORT_FIFO_FEEDER_H_
#define VANTRY_TESTS_SUPPORT_FIFO_FEEDER_H_

#include <functional>
#include <string>

#include "support/test_support.h"

namespace vantry::test {

class FifoFeeder {
 public:
  // Creates a FIFO at path and a child that holds it open for writing before the constructor
  // returns, so a reader that opens it next reads data, not an early end. The child writes
  // first, then runs between() (while the reader is part way: first is larger than a pipe
  // holds, so the reader has opened the FIFO and is reading), then writes second and closes.
  FifoFeeder(
      const std::string& path, Bytes first, Bytes second,
      std::function<bool()> between = [] { return true; });
  ~FifoFeeder();  // stops a child that is still running
  FifoFeeder(const FifoFeeder&) = delete;
  FifoFeeder& operator=(const FifoFeeder&) = delete;

  // Waits for the child: true when it wrote everything and between() returned true.
  bool Finish();

 private:
  int m_child = -1;
};

}  // namespace vantry::test

#endif  // VANTRY_TESTS_SUPPORT_FIFO_FEEDER_H_
