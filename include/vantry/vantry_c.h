/* The C interface of Vantry: for hosts in any language and built with any compiler.
 *
 * It reads and writes the same protected files as the six entry points of vantry.h (a 32-byte
 * SHA-256 key check digest, then the AES-128 cipher text of the zero-padded data), keyed the
 * same way: a file saved here loads through LoadVantryWithKey2 and the other way round.
 *
 * Every function is plain C, compiles as C99 and C++, never throws (C++ callers see it declared
 * noexcept), and reports failure by its result, a vantry_status. Lengths are size_t. File names
 * are UTF-8 (on Windows they are converted to UTF-16 and handed to the wide Win32 functions; on
 * POSIX systems the bytes go to the system unchanged). The calling convention is named on every
 * function, VANTRY_CALL: cdecl on Windows (the caller removes the arguments), whatever a host's
 * compiler defaults to; the names are exported undecorated.
 *
 * Threads: any number of calls may run at once on different threads. Two calls naming the
 * same file exclude each other: the second fails with VANTRY_ERROR_FILE (the file is opened
 * without sharing while it is read or replaced).
 *
 * Secrets: copies of key texts and key bytes, and plain text held by the library, are wiped
 * before their memory is released; vantry_free wipes a loaded block before freeing it.
 */
#ifndef VANTRY_VANTRY_C_H_
#define VANTRY_VANTRY_C_H_

#include <stddef.h>
#include <stdint.h>

#include "vantry/export.h"

/* The calling convention of every function here, for hosts that declare function pointers to
 * them (GetProcAddress, dlsym): VANTRY_CALL goes between the result type and the name. */
#if defined(_WIN32)
#define VANTRY_CALL __cdecl
#else
#define VANTRY_CALL
#endif

/* The functions never throw; C++ callers may rely on it. */
#if defined(__cplusplus)
#define VANTRY_NOEXCEPT noexcept
#else
#define VANTRY_NOEXCEPT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The version of this header. vantry_version_number() gives the version of the library that
 * is running, which a host loading the library at run time compares with these. */
#define VANTRY_VERSION_MAJOR 1
#define VANTRY_VERSION_MINOR 1
#define VANTRY_VERSION_PATCH 0
#define VANTRY_VERSION_STRING "1.1.0"

/* The result of every saving or loading call. The values never change; new ones may be added
 * after the last, so a host treats an unknown value as a failure. */
enum vantry_status_values {
  VANTRY_OK = 0,
  /* The file is not a protected file under this key: another key saved it, or it is no
   * protected file at all (shorter than the 32-byte header, a foreign file). */
  VANTRY_ERROR_WRONG_KEY = 1,
  /* The key matches, but the cipher text after the header is not a whole number of 16-byte
   * blocks: the file was cut short or grown. */
  VANTRY_ERROR_BLOCK_SIZE = 2,
  /* The data to save is longer than VANTRY_MAX_DATA_LENGTH, or the file to load, or the data
   * of the sealed file to unseal, is 2 GiB or larger. */
  VANTRY_ERROR_TOO_LARGE = 3,
  /* A file could not be opened, created, read, written or put in place: it does not exist, a
   * folder is missing, access is denied, another program holds it, the disk is full.
   * vantry_last_system_error() gives the system's code. */
  VANTRY_ERROR_FILE = 4,
  /* An argument is not allowed (see each function); nothing was touched. */
  VANTRY_ERROR_INVALID_ARGUMENT = 5,
  VANTRY_ERROR_OUT_OF_MEMORY = 6,
  /* A failure the library has no status for; a fault of the library. */
  VANTRY_ERROR_INTERNAL = 7
};

/* Where the key comes from. */
enum vantry_key_kinds {
  /* The machine key, made from the serial number of the system volume (C:\ on Windows), as
   * the entry points without a key use it. key must be NULL and key_length 0. */
  VANTRY_KEY_MACHINE = 0,
  /* A key text of key_length bytes (no terminator needed; none may occur inside). Its first
   * 16 bytes are the AES-128 key, zero bytes making up a shorter text; bytes after the 16th
   * take no part, as with the entry points. An empty text is refused: it would be the key of
   * 16 zero bytes, which VANTRY_KEY_BYTES gives when that is what is meant. The bytes are
   * used as they are: a text outside ASCII must be encoded the same way by every host that
   * shares the file. */
  VANTRY_KEY_TEXT = 1,
  /* The AES-128 key itself: exactly VANTRY_KEY_BYTES_LENGTH bytes. A text key equals the bytes
   * of its first 16 characters followed by zero bytes. The file's key check digest covers the
   * key only up to its first zero byte, so a key with a nonzero byte after a zero byte could not
   * be told from another one: it is refused (VANTRY_ERROR_INVALID_ARGUMENT). Raw keys must be
   * a run of nonzero bytes followed only by zero bytes; all 16 zero is the empty key text.
   * Derive raw keys so (or use a key text). */
  VANTRY_KEY_BYTES = 2
};

#define VANTRY_KEY_BYTES_LENGTH 16

/* The longest data that can be saved: its protected file (32 bytes of header, the data
 * padded to whole 16-byte blocks) must stay below 2 GiB to load again. */
#define VANTRY_MAX_DATA_LENGTH ((size_t)2147483600u)

/* Encrypts length bytes at data into the protected file name (UTF-8), replacing it if it
 * exists. data may be NULL when length is 0 (the file is then the header alone).
 *
 * The file is written beside its final name and put in place only when complete, so a
 * failed save leaves an earlier file of that name exactly as it was.
 *
 * Returns VANTRY_OK, or VANTRY_ERROR_INVALID_ARGUMENT (name NULL or empty, data NULL with a
 * length, a key that does not fit its kind, an unknown kind), VANTRY_ERROR_TOO_LARGE,
 * VANTRY_ERROR_FILE, VANTRY_ERROR_OUT_OF_MEMORY. */
VANTRY_API int VANTRY_CALL vantry_save(const char* name, const void* data, size_t length,
                                       int key_kind, const void* key,
                                       size_t key_length) VANTRY_NOEXCEPT;

/* Decrypts the protected file name (UTF-8) into a new block, stored in *data, and its length
 * in *length. As with the entry points the block holds the saved data, the zero bytes that
 * padded its last block, then 32 zero bytes: *length is the size of the file, not the length
 * that was saved, which the format does not record. Release the block with vantry_free.
 *
 * On failure *data is NULL and *length 0 (when the pointers themselves are not NULL).
 * Returns VANTRY_OK, or VANTRY_ERROR_INVALID_ARGUMENT (name NULL or empty, data or length
 * NULL, a key that does not fit its kind), VANTRY_ERROR_WRONG_KEY, VANTRY_ERROR_BLOCK_SIZE,
 * VANTRY_ERROR_TOO_LARGE, VANTRY_ERROR_FILE, VANTRY_ERROR_OUT_OF_MEMORY. */
VANTRY_API int VANTRY_CALL vantry_load(const char* name, int key_kind, const void* key,
                                       size_t key_length, unsigned char** data,
                                       size_t* length) VANTRY_NOEXCEPT;

/* Wipes the length bytes of a block from vantry_load and frees it; length is the one the
 * load gave. NULL is allowed. */
VANTRY_API void VANTRY_CALL vantry_free(void* data, size_t length) VANTRY_NOEXCEPT;

/* What the last vantry_save or vantry_load of the calling thread reported: the library's
 * message in UTF-8 ("" after success), for example "Sealkit ERROR: File notes.vty cannot be
 * Correctly Decrypted!" or "cannot open file for reading notes.vty: <system message>". The
 * text stays valid until the thread's next call of either; it is cut, at a character
 * boundary, to at most 1023 bytes. */
VANTRY_API const char* VANTRY_CALL vantry_last_error(void) VANTRY_NOEXCEPT;

/* The system's error code of the thread's last VANTRY_ERROR_FILE: errno on POSIX systems,
 * GetLastError() on Windows; 0 after any other result, and for a file failure that the
 * library found itself rather than a system call. */
VANTRY_API int VANTRY_CALL vantry_last_system_error(void) VANTRY_NOEXCEPT;

/* A fixed English text for a status: "wrong key or not a protected file", ... Never NULL. */
VANTRY_API const char* VANTRY_CALL vantry_status_text(int status) VANTRY_NOEXCEPT;

/* The version of the library that is running: "1.1.0", and major * 10000 + minor * 100 +
 * patch (10100). */
VANTRY_API const char* VANTRY_CALL vantry_version(void) VANTRY_NOEXCEPT;
VANTRY_API uint32_t VANTRY_CALL vantry_version_number(void) VANTRY_NOEXCEPT;

/* ---- Sealed files ------------------------------------------------------------------------
 * Authenticated files beside the protected ones (docs/sealed-format.md): AES-256-GCM in 64 KiB
 * segments, the exact length kept, every change, reordering or cut detected and reported by its
 * own status before any of the data is returned. Protected files stay for compatibility;
 * sealed files are what new data should use. */

/* Statuses of the sealed-file functions, beside those above (a wrong key is
 * VANTRY_ERROR_WRONG_KEY). vantry_last_error() says more: which segment, which byte offset. */
enum vantry_sealed_status_values {
  /* The file does not start as a sealed file does (a protected file, for instance). */
  VANTRY_ERROR_NOT_SEALED = 8,
  /* A sealed file of a later version, or a key kind this library does not know. */
  VANTRY_ERROR_UNSUPPORTED_VERSION = 9,
  /* The header or a segment does not authenticate: the file was changed or damaged. */
  VANTRY_ERROR_DAMAGED = 10,
  /* The file ends before its last segment (or inside its header). */
  VANTRY_ERROR_TRUNCATED = 11,
  /* Sealed with another account's or machine's secret. */
  VANTRY_ERROR_OTHER_ACCOUNT = 12,
  /* Sealed with another kind of key (a passphrase where a raw key was given, ...). */
  VANTRY_ERROR_WRONG_KEY_KIND = 13,
  /* This account's or machine's secret cannot be read or created (or the TPM failed, or a
   * recovery recipients list a seal with the secret adds is refused: see vantry/sealed.h). */
  VANTRY_ERROR_SECRET_UNAVAILABLE = 14,
  /* A kind of key this system cannot use: recipients and identities on Windows, a TPM on
   * Windows or where there is none or this user may not use it. */
  VANTRY_ERROR_NOT_AVAILABLE = 15,
  /* The TPM refuses the file's TPM slot: the PCRs it is bound to changed since sealing. */
  VANTRY_ERROR_BOOT_STATE_CHANGED = 16,
  /* The TPM is in dictionary-attack lockout. */
  VANTRY_ERROR_TPM_LOCKOUT = 17
};

/* Keys of sealed files. */
enum vantry_sealed_key_kinds {
  /* This account's key (key NULL, key_length 0): on POSIX 32 random bytes in a file only the
   * account can read, created on first use; on Windows a random key per file wrapped by the
   * data protection API (CryptProtectData, user scope). */
  VANTRY_SEALED_ACCOUNT = 0,
  /* A passphrase: all key_length bytes, at least one, through PBKDF2-HMAC-SHA256 (600,000
   * iterations). */
  VANTRY_SEALED_PASSPHRASE = 1,
  /* A raw key of exactly VANTRY_SEALED_RAW_KEY_LENGTH bytes, any values. */
  VANTRY_SEALED_RAW = 2,
  /* This machine's key (key NULL, key_length 0): on POSIX a secret file created by root on
   * first use; on Windows the data protection API's local-machine scope. */
  VANTRY_SEALED_MACHINE = 3,
  /* A random key sealed by this machine's TPM 2.0 (the TPM VANTRY_TPM_TCTI names, else
   * /dev/tpmrm0; not on Windows). key NULL, key_length 0: opens on this TPM whatever its PCRs
   * hold; or key a uint32_t PCR mask (bit n for SHA-256 PCR n, 0 to 23), key_length 4: also
   * bound to those PCRs' present values. A sealed file of another machine's TPM reads
   * VANTRY_ERROR_OTHER_ACCOUNT. */
  VANTRY_SEALED_TPM = 4,
  /* A recipient, for sealing: key its text ("vantry1...", from 'vantry keygen'), key_length
   * its length. The holder of its identity unseals. Not on Windows (VANTRY_ERROR_NOT_AVAILABLE);
   * a file with another slot still opens there through that slot. */
  VANTRY_SEALED_RECIPIENT = 5,
  /* An identity, for unsealing: key its text ("VANTRY-SECRET-KEY-1..."), key_length its
   * length. */
  VANTRY_SEALED_IDENTITY = 6
};

#define VANTRY_SEALED_RAW_KEY_LENGTH 32

/* Seals length bytes at data as the file name (UTF-8), which appears (or replaces an earlier
 * one) only once all of it is on disk. Returns VANTRY_OK, VANTRY_ERROR_INVALID_ARGUMENT,
 * VANTRY_ERROR_FILE, VANTRY_ERROR_SECRET_UNAVAILABLE, VANTRY_ERROR_OUT_OF_MEMORY. */
VANTRY_API int VANTRY_CALL vantry_seal(const char* name, const void* data, size_t length,
                                       int key_kind, const void* key,
                                       size_t key_length) VANTRY_NOEXCEPT;

/* Authenticates the sealed file name and returns its data in a new block (*data, *length) that
 * the caller releases with vantry_free; nothing is returned unless the whole file verified.
 * Data of 2 GiB or more is VANTRY_ERROR_TOO_LARGE. */
VANTRY_API int VANTRY_CALL vantry_unseal(const char* name, int key_kind, const void* key,
                                         size_t key_length, unsigned char** data,
                                         size_t* length) VANTRY_NOEXCEPT;

/* ---- Several keys per sealed file -----------------------------------------------------------
 * A sealed file has a random file key wrapped in one slot for each of its keys (at most
 * VANTRY_SEALED_MAX_KEYS); any one of them unseals it. */

/* One key: a kind of vantry_sealed_key_kinds with its key and key_length, as vantry_seal takes
 * them. */
typedef struct vantry_sealed_key {
  int kind;
  const void* key;
  size_t key_length;
} vantry_sealed_key;

#define VANTRY_SEALED_MAX_KEYS 16

/* As vantry_seal, with a slot for each of the key_count keys (1 to VANTRY_SEALED_MAX_KEYS). */
VANTRY_API int VANTRY_CALL vantry_seal_keys(const char* name, const void* data, size_t length,
                                            const vantry_sealed_key* keys,
                                            size_t key_count) VANTRY_NOEXCEPT;

/* As vantry_unseal, opening the file with whichever of the key_count keys has a slot in it. */
VANTRY_API int VANTRY_CALL vantry_unseal_keys(const char* name, const vantry_sealed_key* keys,
                                              size_t key_count, unsigned char** data,
                                              size_t* length) VANTRY_NOEXCEPT;

/* Buffer to buffer, for hosts that keep sealed blobs (in a database, say): the sealed bytes of
 * length bytes at data, or the data of sealed_length sealed bytes, in a new block
 * (*out, *out_length) that the caller releases with vantry_free. Nothing is returned unless all
 * of it sealed, or verified. */
VANTRY_API int VANTRY_CALL vantry_seal_buffer(const void* data, size_t length,
                                              const vantry_sealed_key* keys, size_t key_count,
                                              unsigned char** out,
                                              size_t* out_length) VANTRY_NOEXCEPT;
VANTRY_API int VANTRY_CALL vantry_unseal_buffer(const void* sealed, size_t sealed_length,
                                                const vantry_sealed_key* keys, size_t key_count,
                                                unsigned char** out,
                                                size_t* out_length) VANTRY_NOEXCEPT;

/* The slots of the sealed file name, read without a key: one line for each, "N<TAB>kind
 * name<TAB>identifier or cost\n" (never a secret), as UTF-8 text in a new NUL-terminated
 * block (*listing, *listing_length without the NUL) that the caller releases with vantry_free;
 * *version is the file's format version. */
VANTRY_API int VANTRY_CALL vantry_sealed_slots(const char* name, int* version, char** listing,
                                               size_t* listing_length) VANTRY_NOEXCEPT;

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* VANTRY_VANTRY_C_H_ */
