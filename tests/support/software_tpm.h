// A software TPM (swtpm) serving on a UNIX socket in a temporary folder of its own, its state
// there, started by the constructor and stopped by the destructor. Each instance has its own
// seeds: two stand for two machines. POSIX builds with tpm2-tss only.
#ifndef VANTRY_TESTS_SUPPORT_SOFTWARE_TPM_H_
#define VANTRY_TESTS_SUPPORT_SOFTWARE_TPM_H_

#include <tss2/tss2_esys.h>

#include <cstddef>
#include <functional>
#include <string>

#include "support/test_support.h"

namespace vantry::test {

class SoftwareTpm {
 public:
  SoftwareTpm();  // throws std::runtime_error when swtpm (swtpm, swtpm-tools) does not start
  ~SoftwareTpm();
  SoftwareTpm(const SoftwareTpm&) = delete;
  SoftwareTpm& operator=(const SoftwareTpm&) = delete;

  const std::string& tcti() const { return m_tcti; }
  // Extends SHA-256 PCR pcr, as a changed boot component would.
  void ExtendPcr(unsigned pcr) const;
  // Puts it in dictionary-attack lockout.
  void EnterLockout() const;
  // The objects and sessions loaded now: with no resource manager, a leak stays there.
  std::size_t LoadedHandles() const;

 private:
  // One ESAPI call over a connection of its own; throws saying what when it fails.
  void Call(const char* what, const std::function<TSS2_RC(ESYS_CONTEXT*)>& call) const;

  TempDir m_folder;
  std::string m_tcti;
  int m_pid = -1;
};

}  // namespace vantry::test

#endif  // VANTRY_TESTS_SUPPORT_SOFTWARE_TPM_H_
