// A software TPM for the tests: swtpm serving a TPM 2.0 on a UNIX socket in a temporary folder
// of the test's own, with its state there, started by the constructor and stopped by the
// destructor. Each instance has its own seeds: two of them stand for two machines.
// POSIX builds with tpm2-tss only.
#ifndef VANTRY_TESTS_SUPPORT_SOFTWARE_TPM_H_
#define VANTRY_TESTS_SUPPORT_SOFTWARE_TPM_H_

#include <cstddef>
#include <string>

#include "support/test_support.h"

namespace vantry::test {

class SoftwareTpm {
 public:
  // Throws std::runtime_error when swtpm (Debian: swtpm, swtpm-tools) cannot be started.
  SoftwareTpm();
  ~SoftwareTpm();
  SoftwareTpm(const SoftwareTpm&) = delete;
  SoftwareTpm& operator=(const SoftwareTpm&) = delete;

  // The TCTI configuration that reaches it.
  const std::string& tcti() const { return m_tcti; }

  // Extends SHA-256 PCR pcr with a digest, as a changed boot component would.
  void ExtendPcr(unsigned pcr) const;

  // Puts the TPM in dictionary-attack lockout: one failed password allowed, then failed once.
  void EnterLockout() const;

  // The transient objects and sessions the TPM holds now: a software TPM has no resource
  // manager, so whatever a process leaves there stays.
  std::size_t LoadedHandles() const;

  // Stops the TPM now, as a device that went away.
  void Stop();

 private:
  TempDir m_folder;
  std::string m_socket;
  std::string m_tcti;
  int m_pid = -1;
};

}  // namespace vantry::test

#endif  // VANTRY_TESTS_SUPPORT_SOFTWARE_TPM_H_
