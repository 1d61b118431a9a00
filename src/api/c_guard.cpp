// The C interface's one mapping of failures to statuses: what the bodies of vantry_c.h's
// functions throw becomes a status and this thread's last error, and each status has its text.
#include "api/c_guard.h"

#include <cstring>
#include <new>
#include <stdexcept>
#include <system_error>

#include "vantry/cipher_error.h"
#include "vantry/file_error.h"
#include "vantry/sealed.h"
#include "vantry/vantry_c.h"

namespace vantry {
namespace {

constexpr std::size_t kMessageCapacity = 1024;

// Plain data only: thread_local objects with constructors or destructors would run code at
// thread start and exit inside the host's threads, and on some runtimes at library unload.
struct LastError {
  int systemCode;
  char message[kMessageCapacity];
};
thread_local LastError t_lastError = {0, {0}};

void Record(int systemCode, const char* text) noexcept {
  std::size_t n = std::strlen(text);
  if (n >= kMessageCapacity) {
    n = kMessageCapacity - 1;
    // Back to the first byte of a UTF-8 sequence, so the cut leaves whole characters.
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) {
      --n;
    }
  }
  std::memcpy(t_lastError.message, text, n);
  t_lastError.message[n] = '\0';
  t_lastError.systemCode = systemCode;
}

int FromFileError(const FileError& e) noexcept {
  if (e.cause() == FileError::Cause::kSize &&
      e.code() == std::make_error_code(std::errc::file_too_large)) {
    Record(0, e.what());
    return VANTRY_ERROR_TOO_LARGE;
  }
  Record(e.code().category() == std::system_category() ? e.code().value() : 0, e.what());
  return VANTRY_ERROR_FILE;
}

// The statuses of the cipher's own failures; a raw key the key check cannot tell from others
// is a key that does not fit its kind.
int StatusOfCipherError(CipherError::Kind kind) noexcept {
  switch (kind) {
    case CipherError::Kind::kWrongKey:
      return VANTRY_ERROR_WRONG_KEY;
    case CipherError::Kind::kIllegalBlockSize:
      return VANTRY_ERROR_BLOCK_SIZE;
    case CipherError::Kind::kIndistinctKey:
      return VANTRY_ERROR_INVALID_ARGUMENT;
    default:
      return VANTRY_ERROR_INTERNAL;
  }
}

int StatusOfSealedError(SealedError::Kind kind) noexcept {
  switch (kind) {
    case SealedError::Kind::kNotSealed:
      return VANTRY_ERROR_NOT_SEALED;
    case SealedError::Kind::kUnsupportedVersion:
      return VANTRY_ERROR_UNSUPPORTED_VERSION;
    case SealedError::Kind::kWrongKey:
      return VANTRY_ERROR_WRONG_KEY;
    case SealedError::Kind::kWrongKind:
      return VANTRY_ERROR_WRONG_KEY_KIND;
    case SealedError::Kind::kOtherAccount:
      return VANTRY_ERROR_OTHER_ACCOUNT;
    case SealedError::Kind::kDamaged:
      return VANTRY_ERROR_DAMAGED;
    case SealedError::Kind::kTruncated:
      return VANTRY_ERROR_TRUNCATED;
    case SealedError::Kind::kSecretUnavailable:
      return VANTRY_ERROR_SECRET_UNAVAILABLE;
    case SealedError::Kind::kInvalidKey:
      return VANTRY_ERROR_INVALID_ARGUMENT;
    case SealedError::Kind::kNotAvailable:
      return VANTRY_ERROR_NOT_AVAILABLE;
    case SealedError::Kind::kBootStateChanged:
      return VANTRY_ERROR_BOOT_STATE_CHANGED;
    case SealedError::Kind::kTpmLockout:
      return VANTRY_ERROR_TPM_LOCKOUT;
  }
  return VANTRY_ERROR_INTERNAL;
}

}  // namespace

int GuardCall(void (*body)(void*), void* context) noexcept {
  try {
    body(context);
    Record(0, "");
    return VANTRY_OK;
  } catch (const StatusError& e) {
    Record(0, e.what());
    return e.status();
  } catch (const FileError& e) {
    return FromFileError(e);
  } catch (const CipherError& e) {
    Record(0, e.what());
    return StatusOfCipherError(e.kind());
  } catch (const SealedError& e) {
    Record(0, e.what());
    return StatusOfSealedError(e.kind());
  } catch (const std::bad_alloc&) {
    Record(0, "out of memory");
    return VANTRY_ERROR_OUT_OF_MEMORY;
  } catch (const std::invalid_argument& e) {
    Record(0, e.what());
    return VANTRY_ERROR_INVALID_ARGUMENT;
  } catch (const std::exception& e) {
    Record(0, e.what());
    return VANTRY_ERROR_INTERNAL;
  } catch (...) {
    Record(0, "unknown failure");
    return VANTRY_ERROR_INTERNAL;
  }
}

}  // namespace vantry

extern "C" {

const char* VANTRY_CALL vantry_last_error(void) VANTRY_NOEXCEPT {
  return vantry::t_lastError.message;
}

int VANTRY_CALL vantry_last_system_error(void) VANTRY_NOEXCEPT {
  return vantry::t_lastError.systemCode;
}

const char* VANTRY_CALL vantry_status_text(int status) VANTRY_NOEXCEPT {
  switch (status) {
    case VANTRY_OK:
      return "success";
    case VANTRY_ERROR_WRONG_KEY:
      return "wrong key or not a protected file";
    case VANTRY_ERROR_BLOCK_SIZE:
      return "cipher text is not a whole number of blocks";
    case VANTRY_ERROR_TOO_LARGE:
      return "too large for a protected file";
    case VANTRY_ERROR_FILE:
      return "file error";
    case VANTRY_ERROR_INVALID_ARGUMENT:
      return "invalid argument";
    case VANTRY_ERROR_OUT_OF_MEMORY:
      return "out of memory";
    case VANTRY_ERROR_INTERNAL:
      return "internal error";
    case VANTRY_ERROR_NOT_SEALED:
      return "not a sealed file";
    case VANTRY_ERROR_UNSUPPORTED_VERSION:
      return "sealed file of an unsupported version";
    case VANTRY_ERROR_DAMAGED:
      return "sealed file damaged";
    case VANTRY_ERROR_TRUNCATED:
      return "sealed file truncated";
    case VANTRY_ERROR_OTHER_ACCOUNT:
      return "sealed for another account or machine";
    case VANTRY_ERROR_WRONG_KEY_KIND:
      return "sealed with another kind of key";
    case VANTRY_ERROR_SECRET_UNAVAILABLE:
      return "the account's or machine's secret is unavailable";
    case VANTRY_ERROR_NOT_AVAILABLE:
      return "this kind of key is not available on this system";
    case VANTRY_ERROR_BOOT_STATE_CHANGED:
      return "this machine's boot state changed since the file was sealed";
    case VANTRY_ERROR_TPM_LOCKOUT:
      return "the TPM is in dictionary-attack lockout";
    default:
      return "unknown status";
  }
}

}  // extern "C"
