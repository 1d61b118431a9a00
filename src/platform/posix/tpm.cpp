// The TPM through tpm2-tss: its enhanced system API (ESAPI), which computes the sessions'
// HMACs, salts and parameter encryption, over the transport the TCTI loader picks from the
// configuration string. Built when the build found tpm2-tss (VANTRY_WITH_TPM); without it,
// platform/tpm.cpp refuses.
#ifdef VANTRY_WITH_TPM

#include "platform/tpm.h"

#include <malloc.h>
#include <tss2/tss2_esys.h>
#include <tss2/tss2_mu.h>
#include <tss2/tss2_rc.h>
#include <tss2/tss2_tctildr.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

#include "platform/secure_wipe.h"

namespace vantry::platform::tpm {
namespace {

const char kDamagedBlob[] = "the TPM key's data is damaged";

// What ESAPI returns is the caller's to free, with Esys_Free.
struct EsysFree {
  void operator()(void* p) const noexcept { Esys_Free(p); }
};
template <typename T>
using EsysResult = std::unique_ptr<T, EsysFree>;

// The TPM's code without the number of the handle, session or parameter it names.
TSS2_RC TpmCode(TSS2_RC rc) { return (rc & TPM2_RC_FMT1) != 0 ? rc & (TPM2_RC_FMT1 | 0x3F) : rc; }

bool FromTpm(TSS2_RC rc) { return (rc & TSS2_RC_LAYER_MASK) == TSS2_TPM_RC_LAYER; }

std::string Decoded(TSS2_RC rc) { return Tss2_RC_Decode(rc); }

[[noreturn]] void Fail(TSS2_RC rc, const char* doing) {
  if ((rc & TSS2_RC_LAYER_MASK) == TSS2_TCTI_RC_LAYER) {
    throw TpmError(Refusal::kUnavailable, std::string("the TPM stopped answering while ") + doing +
                                              " (" + Decoded(rc) +
                                              "): check that it is still there and try again");
  }
  if (FromTpm(rc)) {
    switch (TpmCode(rc)) {
      case TPM2_RC_POLICY_FAIL:
      case TPM2_RC_PCR_CHANGED:
        throw TpmError(Refusal::kPolicyMismatch,
                       "this machine's boot state changed since the key was sealed (the TPM's "
                       "PCRs it is bound to hold other values now)");
      case TPM2_RC_LOCKOUT:
        throw TpmError(Refusal::kLockout,
                       "the TPM is in dictionary-attack lockout: wait until it recovers, or have "
                       "its owner reset the lockout");
      default:
        break;
    }
  }
  throw TpmError(Refusal::kFailure,
                 std::string("the TPM failed while ") + doing + " (" + Decoded(rc) + ")");
}

void Check(TSS2_RC rc, const char* doing) {
  if (rc != TSS2_RC_SUCCESS) {
    Fail(rc, doing);
  }
}

// The TSS logs its errors on standard error, where they would stand beside, and confuse, the
// caller's own message. A user who wants them sets TSS2_LOG, which this leaves alone.
void QuietTssLog() {
  static std::once_flag once;
  std::call_once(once, [] { setenv("TSS2_LOG", "all+NONE", 0); });
}

// The transport and ESAPI's context over it.
class Connection {
 public:
  explicit Connection(const std::string& tcti) {
    QuietTssLog();
    const TSS2_RC rc = Tss2_TctiLdr_Initialize(tcti.c_str(), &m_tcti);
    if (rc != TSS2_RC_SUCCESS) {
      throw TpmError(Refusal::kUnavailable,
                     "no TPM could be reached through \"" + tcti + "\" (" + Decoded(rc) +
                         "): check that this machine has a TPM 2.0 and that this user may use "
                         "it (on most systems, as a member of the tss group), or name another "
                         "in VANTRY_TPM_TCTI");
    }
    const TSS2_RC started = Esys_Initialize(&m_esys, m_tcti, nullptr);
    if (started != TSS2_RC_SUCCESS) {
      Tss2_TctiLdr_Finalize(&m_tcti);
      Fail(started, "connecting");
    }
  }
  ~Connection() {
    Esys_Finalize(&m_esys);
    Tss2_TctiLdr_Finalize(&m_tcti);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  ESYS_CONTEXT* esys() const { return m_esys; }

  // ESAPI keeps a copy of a command's parameters in its context (to send the command again
  // when the TPM asks for a retry) and decrypts a response's parameters in place in its command
  // buffer; both are freed unwiped when the context goes. So every copy of the secret in those
  // two blocks is wiped first. Both are ESAPI's own allocations: their size is the allocator's.
  void WipeCopiesOf(const unsigned char secret[kSecretSize]) const {
    WipeCopiesIn(m_esys, secret);
    TSS2_SYS_CONTEXT* sys = nullptr;
    if (Esys_GetSysContext(m_esys, &sys) == TSS2_RC_SUCCESS && sys != nullptr) {
      WipeCopiesIn(sys, secret);
    }
  }

 private:
  static void WipeCopiesIn(void* block, const unsigned char secret[kSecretSize]) {
    auto* bytes = static_cast<unsigned char*>(block);
    const std::size_t size = malloc_usable_size(block);
    for (std::size_t i = 0; i + kSecretSize <= size; ++i) {
      if (std::memcmp(bytes + i, secret, kSecretSize) == 0) {
        SecureWipe(bytes + i, kSecretSize);
      }
    }
  }

  TSS2_TCTI_CONTEXT* m_tcti = nullptr;
  ESYS_CONTEXT* m_esys = nullptr;
};

// A transient object or session, flushed when this goes, on every path: a TPM holds only a few
// at once, and behind no resource manager (a software TPM, /dev/tpm0) they would outlive us.
class Transient {
 public:
  explicit Transient(const Connection& tpm) : m_esys(tpm.esys()) {}
  ~Transient() {
    if (m_handle != ESYS_TR_NONE) {
      Esys_FlushContext(m_esys, m_handle);
    }
  }
  Transient(const Transient&) = delete;
  Transient& operator=(const Transient&) = delete;

  ESYS_TR* receive() { return &m_handle; }
  ESYS_TR handle() const { return m_handle; }

 private:
  ESYS_CONTEXT* m_esys;
  ESYS_TR m_handle = ESYS_TR_NONE;
};

// The owner hierarchy's storage key as tpm2-tools' createprimary makes it by default (and as
// the common storage root key templates do, less their noDA): the same template always gives
// the same key from the TPM's owner seed.
void CreateStoragePrimary(const Connection& tpm, Transient& primary) {
  TPM2B_PUBLIC storage{};
  TPMT_PUBLIC& area = storage.publicArea;
  area.type = TPM2_ALG_RSA;
  area.nameAlg = TPM2_ALG_SHA256;
  area.objectAttributes = TPMA_OBJECT_FIXEDTPM | TPMA_OBJECT_FIXEDPARENT |
                          TPMA_OBJECT_SENSITIVEDATAORIGIN | TPMA_OBJECT_USERWITHAUTH |
                          TPMA_OBJECT_RESTRICTED | TPMA_OBJECT_DECRYPT;
  area.parameters.rsaDetail.symmetric.algorithm = TPM2_ALG_AES;
  area.parameters.rsaDetail.symmetric.keyBits.aes = 128;
  area.parameters.rsaDetail.symmetric.mode.aes = TPM2_ALG_CFB;
  area.parameters.rsaDetail.scheme.scheme = TPM2_ALG_NULL;
  area.parameters.rsaDetail.keyBits = 2048;
  area.parameters.rsaDetail.exponent = 0;  // the default, 65537
  const TPM2B_SENSITIVE_CREATE noSensitive{};
  const TPM2B_DATA noOutsideInfo{};
  const TPML_PCR_SELECTION noCreationPcrs{};
  const TSS2_RC rc =
      Esys_CreatePrimary(tpm.esys(), ESYS_TR_RH_OWNER, ESYS_TR_PASSWORD, ESYS_TR_NONE, ESYS_TR_NONE,
                         &noSensitive, &storage, &noOutsideInfo, &noCreationPcrs, primary.receive(),
                         nullptr, nullptr, nullptr, nullptr);
  if (FromTpm(rc) && (TpmCode(rc) == TPM2_RC_BAD_AUTH || TpmCode(rc) == TPM2_RC_AUTH_FAIL)) {
    throw TpmError(Refusal::kFailure,
                   "the TPM's owner hierarchy has a password, so its storage key cannot be "
                   "made: a TPM key needs an owner hierarchy without one");
  }
  Check(rc, "creating its storage key");
}

// A session salted with a secret only the TPM can decrypt (under the storage key), so its
// session key, and with it the parameters it encrypts, are unknown to anyone on the bus.
void StartSaltedSession(const Connection& tpm, const Transient& saltKey, TPM2_SE type,
                        TPMA_SESSION attributes, Transient& session) {
  TPMT_SYM_DEF aes{};
  aes.algorithm = TPM2_ALG_AES;
  aes.keyBits.aes = 128;
  aes.mode.aes = TPM2_ALG_CFB;
  Check(
      Esys_StartAuthSession(tpm.esys(), saltKey.handle(), ESYS_TR_NONE, ESYS_TR_NONE, ESYS_TR_NONE,
                            ESYS_TR_NONE, nullptr, type, &aes, TPM2_ALG_SHA256, session.receive()),
      "starting an encrypted session");
  Check(Esys_TRSess_SetAttributes(tpm.esys(), session.handle(),
                                  attributes | TPMA_SESSION_CONTINUESESSION, 0xff),
        "starting an encrypted session");
}

TPML_PCR_SELECTION Sha256Pcrs(std::uint32_t mask) {
  TPML_PCR_SELECTION selection{};
  selection.count = 1;
  TPMS_PCR_SELECTION& bank = selection.pcrSelections[0];
  bank.hash = TPM2_ALG_SHA256;
  bank.sizeofSelect = 3;
  for (unsigned i = 0; i < 3; ++i) {
    bank.pcrSelect[i] = static_cast<BYTE>(mask >> (8 * i));
  }
  return selection;
}

// The policy "these PCRs hold their current values", as the TPM computes it in a trial.
TPM2B_DIGEST CurrentPcrPolicy(const Connection& tpm, std::uint32_t mask) {
  TPMT_SYM_DEF none{};
  none.algorithm = TPM2_ALG_NULL;
  Transient trial(tpm);
  Check(Esys_StartAuthSession(tpm.esys(), ESYS_TR_NONE, ESYS_TR_NONE, ESYS_TR_NONE, ESYS_TR_NONE,
                              ESYS_TR_NONE, nullptr, TPM2_SE_TRIAL, &none, TPM2_ALG_SHA256,
                              trial.receive()),
        "computing the boot-state policy");
  const TPM2B_DIGEST current{};  // empty: the TPM takes the PCRs' present values
  const TPML_PCR_SELECTION pcrs = Sha256Pcrs(mask);
  Check(Esys_PolicyPCR(tpm.esys(), trial.handle(), ESYS_TR_NONE, ESYS_TR_NONE, ESYS_TR_NONE,
                       &current, &pcrs),
        "computing the boot-state policy");
  TPM2B_DIGEST* digest = nullptr;
  Check(Esys_PolicyGetDigest(tpm.esys(), trial.handle(), ESYS_TR_NONE, ESYS_TR_NONE, ESYS_TR_NONE,
                             &digest),
        "computing the boot-state policy");
  const EsysResult<TPM2B_DIGEST> owned(digest);
  return *digest;
}

EsysResult<TPM2B_NAME> NameOf(const Connection& tpm, const Transient& object) {
  TPM2B_NAME* name = nullptr;
  Check(Esys_TR_GetName(tpm.esys(), object.handle(), &name), "reading its storage key's name");
  return EsysResult<TPM2B_NAME>(name);
}

struct Blob {
  std::uint32_t pcrMask = 0;
  TPM2B_NAME primaryName{};
  TPM2B_PUBLIC objectPublic{};
  TPM2B_PRIVATE objectPrivate{};
};

std::vector<unsigned char> Marshal(const Blob& blob) {
  std::vector<unsigned char> out(kBlobHeaderSize + sizeof(TPM2B_NAME) + sizeof(TPM2B_PUBLIC) +
                                 sizeof(TPM2B_PRIVATE));
  out[0] = kBlobFormat;
  for (unsigned i = 0; i < 4; ++i) {
    out[1 + i] = static_cast<unsigned char>(blob.pcrMask >> (24 - 8 * i));
  }
  std::size_t offset = kBlobHeaderSize;
  Check(Tss2_MU_TPM2B_NAME_Marshal(&blob.primaryName, out.data(), out.size(), &offset),
        "storing the key");
  Check(Tss2_MU_TPM2B_PUBLIC_Marshal(&blob.objectPublic, out.data(), out.size(), &offset),
        "storing the key");
  Check(Tss2_MU_TPM2B_PRIVATE_Marshal(&blob.objectPrivate, out.data(), out.size(), &offset),
        "storing the key");
  out.resize(offset);
  return out;
}

Blob Unmarshal(const std::vector<unsigned char>& bytes) {
  Blob blob;
  blob.pcrMask = BlobPcrs(bytes);
  std::size_t offset = kBlobHeaderSize;
  if (Tss2_MU_TPM2B_NAME_Unmarshal(bytes.data(), bytes.size(), &offset, &blob.primaryName) !=
          TSS2_RC_SUCCESS ||
      Tss2_MU_TPM2B_PUBLIC_Unmarshal(bytes.data(), bytes.size(), &offset, &blob.objectPublic) !=
          TSS2_RC_SUCCESS ||
      Tss2_MU_TPM2B_PRIVATE_Unmarshal(bytes.data(), bytes.size(), &offset, &blob.objectPrivate) !=
          TSS2_RC_SUCCESS ||
      offset != bytes.size()) {
    throw TpmError(Refusal::kDamaged, kDamagedBlob);
  }
  return blob;
}

}  // namespace

std::vector<unsigned char> Seal(const unsigned char secret[kSecretSize], std::uint32_t pcrMask,
                                const std::string& tcti) {
  if ((pcrMask & ~kAllPcrs) != 0) {
    throw std::invalid_argument("the TPM's PCRs are numbered 0 to 23");
  }
  Connection tpm(tcti);
  Transient primary(tpm);
  CreateStoragePrimary(tpm, primary);

  // A sealed data object: the secret itself, which the TPM returns only to Unseal, never used
  // as a key; bound to this TPM and parent, and with no password to guess, outside the
  // dictionary-attack count. With a policy only the policy opens it.
  TPM2B_PUBLIC sealed{};
  TPMT_PUBLIC& area = sealed.publicArea;
  area.type = TPM2_ALG_KEYEDHASH;
  area.nameAlg = TPM2_ALG_SHA256;
  area.objectAttributes = TPMA_OBJECT_FIXEDTPM | TPMA_OBJECT_FIXEDPARENT | TPMA_OBJECT_NODA;
  area.parameters.keyedHashDetail.scheme.scheme = TPM2_ALG_NULL;
  if (pcrMask != 0) {
    area.authPolicy = CurrentPcrPolicy(tpm, pcrMask);
  } else {
    area.objectAttributes |= TPMA_OBJECT_USERWITHAUTH;
  }

  Transient session(tpm);
  StartSaltedSession(tpm, primary, TPM2_SE_HMAC, TPMA_SESSION_DECRYPT | TPMA_SESSION_ENCRYPT,
                     session);
  TPM2B_SENSITIVE_CREATE sensitive{};
  sensitive.sensitive.data.size = kSecretSize;
  std::memcpy(sensitive.sensitive.data.buffer, secret, kSecretSize);
  const TPM2B_DATA noOutsideInfo{};
  const TPML_PCR_SELECTION noCreationPcrs{};
  TPM2B_PRIVATE* objectPrivate = nullptr;
  TPM2B_PUBLIC* objectPublic = nullptr;
  const TSS2_RC rc = Esys_Create(tpm.esys(), primary.handle(), session.handle(), ESYS_TR_NONE,
                                 ESYS_TR_NONE, &sensitive, &sealed, &noOutsideInfo, &noCreationPcrs,
                                 &objectPrivate, &objectPublic, nullptr, nullptr, nullptr);
  tpm.WipeCopiesOf(sensitive.sensitive.data.buffer);
  SecureWipe(&sensitive, sizeof sensitive);
  const EsysResult<TPM2B_PRIVATE> ownedPrivate(objectPrivate);
  const EsysResult<TPM2B_PUBLIC> ownedPublic(objectPublic);
  Check(rc, "sealing the key");

  Blob blob;
  blob.pcrMask = pcrMask;
  blob.primaryName = *NameOf(tpm, primary);
  blob.objectPublic = *objectPublic;
  blob.objectPrivate = *objectPrivate;
  return Marshal(blob);
}

void Unseal(const std::vector<unsigned char>& bytes, unsigned char secret[kSecretSize],
            const std::string& tcti) {
  const Blob blob = Unmarshal(bytes);
  Connection tpm(tcti);
  Transient primary(tpm);
  CreateStoragePrimary(tpm, primary);
  const EsysResult<TPM2B_NAME> name = NameOf(tpm, primary);
  if (name->size != blob.primaryName.size ||
      std::memcmp(name->name, blob.primaryName.name, name->size) != 0) {
    throw TpmError(Refusal::kOtherTpm,
                   "the key was sealed by another machine's TPM (or by this one before its "
                   "owner was cleared)");
  }

  Transient object(tpm);
  const TSS2_RC loaded =
      Esys_Load(tpm.esys(), primary.handle(), ESYS_TR_PASSWORD, ESYS_TR_NONE, ESYS_TR_NONE,
                &blob.objectPrivate, &blob.objectPublic, object.receive());
  // Under the right parent, only a changed blob fails to load (its integrity check, sizes or
  // attributes); a lockout or a lost TPM says so itself.
  if (FromTpm(loaded) && loaded != TSS2_RC_SUCCESS && TpmCode(loaded) != TPM2_RC_LOCKOUT) {
    throw TpmError(Refusal::kDamaged, kDamagedBlob);
  }
  Check(loaded, "loading the key");

  Transient session(tpm);
  if (blob.pcrMask != 0) {
    StartSaltedSession(tpm, primary, TPM2_SE_POLICY, TPMA_SESSION_ENCRYPT, session);
    const TPM2B_DIGEST current{};
    const TPML_PCR_SELECTION pcrs = Sha256Pcrs(blob.pcrMask);
    Check(Esys_PolicyPCR(tpm.esys(), session.handle(), ESYS_TR_NONE, ESYS_TR_NONE, ESYS_TR_NONE,
                         &current, &pcrs),
          "checking the boot state");
  } else {
    StartSaltedSession(tpm, primary, TPM2_SE_HMAC, TPMA_SESSION_ENCRYPT, session);
  }
  TPM2B_SENSITIVE_DATA* unsealed = nullptr;
  const TSS2_RC rc = Esys_Unseal(tpm.esys(), object.handle(), session.handle(), ESYS_TR_NONE,
                                 ESYS_TR_NONE, &unsealed);
  const auto wipeAndFree = [](TPM2B_SENSITIVE_DATA* p) {
    SecureWipe(p, sizeof *p);
    Esys_Free(p);
  };
  const std::unique_ptr<TPM2B_SENSITIVE_DATA, decltype(wipeAndFree)> owned(unsealed, wipeAndFree);
  Check(rc, "unsealing the key");
  if (unsealed->size != kSecretSize) {
    throw TpmError(Refusal::kDamaged, kDamagedBlob);
  }
  std::memcpy(secret, unsealed->buffer, kSecretSize);
  tpm.WipeCopiesOf(secret);
}

}  // namespace vantry::platform::tpm

#endif  // VANTRY_WITH_TPM
