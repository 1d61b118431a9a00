#include "support/software_tpm.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <tss2/tss2_tctildr.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace vantry::test {
namespace {

void Require(bool ok, const char* what) {
  if (!ok) {
    throw std::runtime_error(std::string("test: software TPM: ") + what);
  }
}

}  // namespace

SoftwareTpm::SoftwareTpm() {
  const std::string socket = m_folder.File("tpm.sock");
  m_tcti = "swtpm:path=" + socket;
  // As a daemon, swtpm returns once it listens: the TPM is ready when system() is. This process
  // adopts it, to wait for its end. The swtpm TCTI finds the control channel beside the socket,
  // under this name.
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  Require(
      std::system(("swtpm socket --tpm2 --daemon --tpmstate dir=" + m_folder.path() +
                   " --server type=unixio,path=" + socket + " --ctrl type=unixio,path=" + socket +
                   ".ctrl --flags not-need-init,startup-clear --pid file=" + m_folder.File("pid") +
                   " --log file=" + m_folder.File("log"))
                      .c_str()) == 0,
      "swtpm did not start (install swtpm and swtpm-tools)");
  std::ifstream(m_folder.File("pid")) >> m_pid;
}

SoftwareTpm::~SoftwareTpm() {
  // Its state is of no further use; it is gone before its folder goes.
  kill(m_pid, SIGKILL);
  waitpid(m_pid, nullptr, 0);
}

void SoftwareTpm::Call(const char* what, const std::function<TSS2_RC(ESYS_CONTEXT*)>& call) const {
  TSS2_TCTI_CONTEXT* transport = nullptr;
  ESYS_CONTEXT* context = nullptr;
  const bool done = Tss2_TctiLdr_Initialize(m_tcti.c_str(), &transport) == TSS2_RC_SUCCESS &&
                    Esys_Initialize(&context, transport, nullptr) == TSS2_RC_SUCCESS &&
                    call(context) == TSS2_RC_SUCCESS;
  Esys_Finalize(&context);
  Tss2_TctiLdr_Finalize(&transport);
  Require(done, what);
}

void SoftwareTpm::ExtendPcr(unsigned pcr) const {
  TPML_DIGEST_VALUES digests{};
  digests.count = 1;
  digests.digests[0].hashAlg = TPM2_ALG_SHA256;
  Call("cannot extend a PCR", [&](ESYS_CONTEXT* esys) {
    return Esys_PCR_Extend(esys, ESYS_TR_PCR0 + pcr, ESYS_TR_PASSWORD, ESYS_TR_NONE, ESYS_TR_NONE,
                           &digests);
  });
}

void SoftwareTpm::EnterLockout() const {
  // No failed authorization allowed: the TPM is locked out at once.
  Call("cannot lock it out", [](ESYS_CONTEXT* esys) {
    return Esys_DictionaryAttackParameters(esys, ESYS_TR_RH_LOCKOUT, ESYS_TR_PASSWORD, ESYS_TR_NONE,
                                           ESYS_TR_NONE, 0, 600, 600);
  });
}

std::size_t SoftwareTpm::LoadedHandles() const {
  std::size_t count = 0;
  for (const TPM2_HANDLE first : {TPM2_TRANSIENT_FIRST, TPM2_LOADED_SESSION_FIRST}) {
    Call("cannot list its handles", [&](ESYS_CONTEXT* esys) {
      TPMS_CAPABILITY_DATA* data = nullptr;
      const TSS2_RC rc =
          Esys_GetCapability(esys, ESYS_TR_NONE, ESYS_TR_NONE, ESYS_TR_NONE, TPM2_CAP_HANDLES,
                             first, TPM2_MAX_CAP_HANDLES, nullptr, &data);
      count += rc == TSS2_RC_SUCCESS ? data->data.handles.count : 0;
      Esys_Free(data);
      return rc;
    });
  }
  return count;
}

}  // namespace vantry::test
