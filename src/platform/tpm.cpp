// What every build shares: the choice of TPM, and the refusal of a build without a TPM
// provider (Windows, whose test emulator has none, and a Linux build without tpm2-tss, such as
// the fully static tool: the TSS loads its transports as shared objects).
#include "platform/tpm.h"

#include <cstdlib>

namespace vantry::platform::tpm {

std::string DefaultTcti() {
  const char* configured = std::getenv("VANTRY_TPM_TCTI");
  if (configured != nullptr && *configured != '\0') {
    return configured;
  }
  return "device:/dev/tpmrm0";
}

#ifndef VANTRY_WITH_TPM

namespace {

[[noreturn]] void NotAvailable() {
  throw TpmError(Refusal::kUnavailable, "a TPM key is not available on this system");
}

}  // namespace

std::vector<unsigned char> Seal(const unsigned char*, std::uint32_t, const std::string&) {
  NotAvailable();
}

void Unseal(const std::vector<unsigned char>&, unsigned char*, const std::string&) {
  NotAvailable();
}

#endif

}  // namespace vantry::platform::tpm
