#include "support/software_tpm.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <time.h>
#include <tss2/tss2_esys.h>
#include <tss2/tss2_tctildr.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <stdexcept>

namespace vantry::test {
namespace {

bool Accepts(const std::string& socketPath) {
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
  const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return connected;
}

// ESAPI over the TCTI, for the few commands a test sends itself.
class Esys {
 public:
  explicit Esys(const std::string& tcti) {
    if (Tss2_TctiLdr_Initialize(tcti.c_str(), &m_tcti) != TSS2_RC_SUCCESS ||
        Esys_Initialize(&m_esys, m_tcti, nullptr) != TSS2_RC_SUCCESS) {
      throw std::runtime_error("test: cannot reach the software TPM at " + tcti);
    }
  }
  ~Esys() {
    Esys_Finalize(&m_esys);
    Tss2_TctiLdr_Finalize(&m_tcti);
  }
  ESYS_CONTEXT* get() const { return m_esys; }

 private:
  TSS2_TCTI_CONTEXT* m_tcti = nullptr;
  ESYS_CONTEXT* m_esys = nullptr;
};

}  // namespace

SoftwareTpm::SoftwareTpm() : m_socket(m_folder.File("tpm.sock")) {
  m_tcti = "swtpm:path=" + m_socket;
  const std::string state = "dir=" + m_folder.path();
  const std::string server = "type=unixio,path=" + m_socket;
  // The swtpm TCTI finds the control channel beside the socket, under this name.
  const std::string control = "type=unixio,path=" + m_socket + ".ctrl";
  const std::string log = m_folder.File("swtpm.log");
  m_pid = fork();
  if (m_pid == 0) {
    // Its chatter (each client that leaves) goes to its folder, not the test's output.
    const int logFd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(logFd, STDOUT_FILENO);
    dup2(logFd, STDERR_FILENO);
    execlp("swtpm", "swtpm", "socket", "--tpm2", "--tpmstate", state.c_str(), "--server",
           server.c_str(), "--ctrl", control.c_str(), "--flags", "not-need-init,startup-clear",
           static_cast<char*>(nullptr));
    _exit(127);
  }
  // swtpm is ready once its socket accepts; it makes its seeds before it listens.
  for (int waited = 0; waited < 1000; ++waited) {
    if (Accepts(m_socket)) {
      return;
    }
    int status = 0;
    if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
      m_pid = -1;
      throw std::runtime_error("test: swtpm did not start (install swtpm and swtpm-tools)");
    }
    const timespec tick{0, 10'000'000};
    nanosleep(&tick, nullptr);
  }
  Stop();
  throw std::runtime_error("test: swtpm did not listen within 10 s");
}

SoftwareTpm::~SoftwareTpm() { Stop(); }

void SoftwareTpm::Stop() {
  if (m_pid > 0) {
    kill(m_pid, SIGTERM);
    waitpid(m_pid, nullptr, 0);
    m_pid = -1;
  }
}

void SoftwareTpm::ExtendPcr(unsigned pcr) const {
  const Esys esys(m_tcti);
  TPML_DIGEST_VALUES digests{};
  digests.count = 1;
  digests.digests[0].hashAlg = TPM2_ALG_SHA256;
  std::memset(digests.digests[0].digest.sha256, 0x5a, sizeof digests.digests[0].digest.sha256);
  if (Esys_PCR_Extend(esys.get(), ESYS_TR_PCR0 + pcr, ESYS_TR_PASSWORD, ESYS_TR_NONE, ESYS_TR_NONE,
                      &digests) != TSS2_RC_SUCCESS) {
    throw std::runtime_error("test: cannot extend PCR " + std::to_string(pcr));
  }
}

void SoftwareTpm::EnterLockout() const {
  const Esys esys(m_tcti);
  if (Esys_DictionaryAttackParameters(esys.get(), ESYS_TR_RH_LOCKOUT, ESYS_TR_PASSWORD,
                                      ESYS_TR_NONE, ESYS_TR_NONE, 1, 600, 600) != TSS2_RC_SUCCESS) {
    throw std::runtime_error("test: cannot set the TPM's lockout parameters");
  }
  // A key with a password, subject to the lockout, and a child asked of it with another.
  TPM2B_SENSITIVE_CREATE withPassword{};
  withPassword.sensitive.userAuth.size = 1;
  withPassword.sensitive.userAuth.buffer[0] = 'p';
  TPM2B_PUBLIC storage{};
  storage.publicArea.type = TPM2_ALG_ECC;
  storage.publicArea.nameAlg = TPM2_ALG_SHA256;
  storage.publicArea.objectAttributes = TPMA_OBJECT_FIXEDTPM | TPMA_OBJECT_FIXEDPARENT |
                                        TPMA_OBJECT_SENSITIVEDATAORIGIN | TPMA_OBJECT_USERWITHAUTH |
                                        TPMA_OBJECT_RESTRICTED | TPMA_OBJECT_DECRYPT;
  TPMS_ECC_PARMS& ecc = storage.publicArea.parameters.eccDetail;
  ecc.symmetric.algorithm = TPM2_ALG_AES;
  ecc.symmetric.keyBits.aes = 128;
  ecc.symmetric.mode.aes = TPM2_ALG_CFB;
  ecc.scheme.scheme = TPM2_ALG_NULL;
  ecc.curveID = TPM2_ECC_NIST_P256;
  ecc.kdf.scheme = TPM2_ALG_NULL;
  const TPM2B_DATA none{};
  const TPML_PCR_SELECTION noPcrs{};
  ESYS_TR key = ESYS_TR_NONE;
  if (Esys_CreatePrimary(esys.get(), ESYS_TR_RH_OWNER, ESYS_TR_PASSWORD, ESYS_TR_NONE, ESYS_TR_NONE,
                         &withPassword, &storage, &none, &noPcrs, &key, nullptr, nullptr, nullptr,
                         nullptr) != TSS2_RC_SUCCESS) {
    throw std::runtime_error("test: cannot create a key with a password");
  }
  TPM2B_AUTH wrong{};
  wrong.size = 1;
  wrong.buffer[0] = 'q';
  Esys_TR_SetAuth(esys.get(), key, &wrong);
  const TPM2B_SENSITIVE_CREATE child{};
  const TSS2_RC rc =
      Esys_Create(esys.get(), key, ESYS_TR_PASSWORD, ESYS_TR_NONE, ESYS_TR_NONE, &child, &storage,
                  &none, &noPcrs, nullptr, nullptr, nullptr, nullptr, nullptr);
  Esys_FlushContext(esys.get(), key);
  if ((rc & ~TPM2_RC_N_MASK) != TPM2_RC_AUTH_FAIL) {
    throw std::runtime_error("test: the wrong password was not counted");
  }
}

std::size_t SoftwareTpm::LoadedHandles() const {
  const Esys esys(m_tcti);
  std::size_t count = 0;
  for (const TPM2_HANDLE first : {TPM2_TRANSIENT_FIRST, TPM2_LOADED_SESSION_FIRST}) {
    TPMS_CAPABILITY_DATA* data = nullptr;
    if (Esys_GetCapability(esys.get(), ESYS_TR_NONE, ESYS_TR_NONE, ESYS_TR_NONE, TPM2_CAP_HANDLES,
                           first, TPM2_MAX_CAP_HANDLES, nullptr, &data) != TSS2_RC_SUCCESS) {
      throw std::runtime_error("test: cannot list the TPM's handles");
    }
    // Each list starts at first and runs to the last handle of any kind.
    for (std::uint32_t i = 0; i < data->data.handles.count; ++i) {
      count += (data->data.handles.handle[i] >> TPM2_HR_SHIFT) == (first >> TPM2_HR_SHIFT);
    }
    Esys_Free(data);
  }
  return count;
}

}  // namespace vantry::test
