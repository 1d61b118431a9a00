"""Vantry for Python: sealed files (authenticated, the format for new data) and protected files
(the older format, kept for compatibility), through the library's C interface.

    import vantry
    vantry.seal("notes.vty", b"Dear diary", vantry.Passphrase("correct horse"))
    data = vantry.unseal("notes.vty", vantry.Passphrase("correct horse"))

    # Several keys: any one of them unseals; a buffer sealed without a file.
    vantry.seal("shared.vty", data, vantry.Key.recipient("vantry1..."), vantry.Key.account())
    blob = vantry.seal_buffer(data, vantry.Key.raw(key_bytes))

Names are str, bytes or os.PathLike; data is any bytes-like object (bytes, bytearray,
memoryview, array). Every failure raises a vantry.VantryError subclass named after its cause
(vantry.WrongKeyError, vantry.DamagedError, vantry.FileError, ...), carrying the library's
message. Calls may run on several threads at once.

Secrets: the library wipes its own copies of keys and plain text, and the module wipes the
ctypes buffers it makes; but Python cannot wipe a str or bytes object, so the keys given, the
data sealed and the bytes unsealed stay in the process's memory until it is reused."""
import collections
import contextlib
import ctypes
import os
import struct
import sys

from . import _library
from .errors import (BY_STATUS, BlockSizeError, BootStateChangedError, DamagedError, FileError,
                     InternalError, InvalidArgumentError, NotAvailableError, NotSealedError,
                     OtherAccountError, OutOfMemoryError, SecretUnavailableError,
                     TooLargeError, TpmLockoutError, TruncatedError, UnsupportedVersionError,
                     VantryError, WrongKeyError, WrongKeyKindError, error_for)
from ._library import LibraryNotFound

__version__ = "1.1.0"

__all__ = [
    "seal", "unseal", "seal_buffer", "unseal_buffer", "sealed_slots", "Slot", "save", "load",
    "Key", "Passphrase", "RawKey", "ACCOUNT", "MACHINE",
    "status_text", "library_version", "LibraryNotFound", "VantryError", "WrongKeyError",
    "BlockSizeError", "TooLargeError", "FileError", "InvalidArgumentError", "OutOfMemoryError",
    "InternalError", "NotSealedError", "UnsupportedVersionError", "DamagedError",
    "TruncatedError", "OtherAccountError", "WrongKeyKindError", "SecretUnavailableError",
    "NotAvailableError", "BootStateChangedError", "TpmLockoutError",
]

# Key kinds of sealed files and of protected files, as vantry_c.h numbers them.
_SEALED_ACCOUNT, _SEALED_PASSPHRASE, _SEALED_RAW, _SEALED_MACHINE = 0, 1, 2, 3
_SEALED_TPM, _SEALED_RECIPIENT, _SEALED_IDENTITY = 4, 5, 6
_KEY_MACHINE, _KEY_TEXT, _KEY_BYTES = 0, 1, 2
RAW_KEY_LENGTH = 32
PROTECTED_RAW_KEY_LENGTH = 16


class Key:
    """A key of sealed files: Key.passphrase(), .raw(), .account(), .machine(), .tpm(),
    .recipient() (to seal for the holder of its identity) or .identity() (to unseal).

    Secrets: the key keeps its bytes in a Python bytes object, and Python gives no way to wipe
    a str or bytes before its memory is reused, so a passphrase, raw key or identity stays in
    the process's memory until that memory is written over. Where that matters, keep the
    secret out of a long-lived process or use the account's, machine's or TPM's key."""

    __slots__ = ("kind", "material", "_name")

    def __init__(self, kind, material, name):
        self.kind, self.material, self._name = kind, material, name

    def __repr__(self):  # never the secret itself
        return "vantry.%s" % self._name

    def __eq__(self, other):
        return isinstance(other, Key) and (self.kind, self.material) == (other.kind,
                                                                         other.material)

    def __hash__(self):
        return hash((self.kind, self.material))

    @classmethod
    def passphrase(cls, passphrase):
        """A passphrase, str (taken as UTF-8) or bytes, stretched by PBKDF2-HMAC-SHA256."""
        return cls(_SEALED_PASSPHRASE, _text(passphrase, "passphrase"),
                   "Key.passphrase(...)")

    @classmethod
    def raw(cls, key):
        """A raw key of exactly 32 bytes, any values (from a key store, a KDF of the host's)."""
        material = bytes(key)
        if len(material) != RAW_KEY_LENGTH:
            raise ValueError("a raw key has %d bytes, not %d" % (RAW_KEY_LENGTH, len(material)))
        return cls(_SEALED_RAW, material, "Key.raw(...)")

    @classmethod
    def account(cls):
        """This account's secret, the default key (on Windows the data protection API, user
        scope)."""
        return ACCOUNT

    @classmethod
    def machine(cls):
        """This machine's secret (root's secret file; on Windows the data protection API,
        machine scope)."""
        return MACHINE

    @classmethod
    def tpm(cls, pcrs=()):
        """A random key sealed by this machine's TPM 2.0; with pcrs, the numbers of SHA-256 PCRs
        (0 to 23) whose present values it is also bound to. Not on Windows."""
        mask = 0
        for pcr in pcrs:
            if not 0 <= pcr < 32:
                raise ValueError("PCR %r: PCRs are numbered 0 to 23" % (pcr,))
            mask |= 1 << pcr
        return cls(_SEALED_TPM, struct.pack("=I", mask) if mask else b"",
                   "Key.tpm(%s)" % ", ".join(str(p) for p in sorted(set(pcrs))))

    @classmethod
    def recipient(cls, text):
        """A recipient ("vantry1...", from 'vantry keygen'), for sealing: the holder of its
        identity unseals. Not on Windows."""
        material = _text(text, "recipient")
        return cls(_SEALED_RECIPIENT, material,
                   "Key.recipient(%r)" % material.decode("utf-8", "replace"))

    @classmethod
    def identity(cls, text):
        """An identity ("VANTRY-SECRET-KEY-1..."), for unsealing what was sealed to its
        recipient. It is a secret: see the class's note."""
        return cls(_SEALED_IDENTITY, _text(text, "identity"), "Key.identity(...)")


def Passphrase(passphrase):
    """Key.passphrase(passphrase)."""
    return Key.passphrase(passphrase)


def RawKey(key):
    """Key.raw(key)."""
    return Key.raw(key)


# This account's secret (the default: on Windows the data protection API, user scope) and this
# machine's (root's secret file; on Windows the data protection API, machine scope).
ACCOUNT = Key(_SEALED_ACCOUNT, b"", "ACCOUNT")
MACHINE = Key(_SEALED_MACHINE, b"", "MACHINE")


def _text(value, what):
    if isinstance(value, str):
        return value.encode("utf-8")
    if isinstance(value, (bytes, bytearray, memoryview)):
        return bytes(value)
    raise TypeError("a %s is str or bytes, not %s" % (what, type(value).__name__))


def _name(name):
    """The file name as the C interface takes it: UTF-8 bytes on Windows; on POSIX systems the
    bytes the system would get from Python itself (os.fsencode), so every name Python can open
    works, an undecodable one included."""
    name = os.fspath(name)
    if isinstance(name, str):
        name = name.encode("utf-8") if sys.platform == "win32" else os.fsencode(name)
    if not name:
        raise ValueError("no file name")
    if b"\0" in name:
        raise ValueError("a file name must not contain a zero byte")
    return name


@contextlib.contextmanager
def _data(data):
    """A pointer to the bytes of data and their number, valid inside the with block. bytes and
    writable buffers are passed as they are; any other buffer (a slice of bytes, a strided
    view, a read-only mapping) is copied into a ctypes buffer that is wiped when the block
    ends, since it holds plain text."""
    view = memoryview(data)
    if view.nbytes == 0:
        yield None, 0
        return
    if isinstance(view.obj, bytes) and view.c_contiguous and view.nbytes == len(view.obj):
        # bytes hands its own storage, which the library only reads.
        yield ctypes.cast(ctypes.c_char_p(view.obj), ctypes.c_void_p), view.nbytes
        return
    if not view.readonly and view.c_contiguous:
        yield ctypes.addressof(ctypes.c_char.from_buffer(view.cast("B"))), view.nbytes
        return
    copy = (ctypes.c_char * view.nbytes)()
    try:
        target = memoryview(copy).cast("B")
        if view.c_contiguous:
            target[:] = view.cast("B")
        else:
            try:
                target.cast(view.format)[:] = view
            except (TypeError, ValueError, NotImplementedError):
                # A view of several dimensions or an explicit byte order: only a bytes copy,
                # which Python cannot wipe, gathers it.
                target[:] = view.tobytes()
        yield ctypes.addressof(copy), view.nbytes
    finally:
        ctypes.memset(copy, 0, view.nbytes)


def _check(status, name):
    if status != 0:
        lib = _library.library()
        message = lib.vantry_last_error().decode("utf-8", "replace")
        raise error_for(status, message or status_text(status), lib.vantry_last_system_error(),
                        os.fsdecode(name) if name else None)


def _block_call(function, name, *arguments):
    """Calls a function of the C interface that hands out a block and returns the block as
    bytes; the block itself is wiped and freed by the library."""
    lib = _library.library()
    block, length = _library.Block(), ctypes.c_size_t()
    status = function(*arguments, ctypes.byref(block), ctypes.byref(length))
    _check(status, name)
    try:
        return ctypes.string_at(block, length.value)
    finally:
        lib.vantry_free(block, length.value)


def _keys(keys):
    """The keys as the C interface takes them: this account's secret when there are none."""
    keys = keys or (ACCOUNT,)
    for key in keys:
        if not isinstance(key, Key):
            raise TypeError("a key of a sealed file is a vantry.Key (Key.passphrase, Key.raw, "
                            "ACCOUNT, ...), not %s" % type(key).__name__)
    return keys


def _key_array(keys):
    """A vantry_sealed_key array over the keys' own bytes (no copy of a secret is made); the
    keys must outlive the call."""
    keys = _keys(keys)
    array = (_library.SealedKey * len(keys))()
    for entry, key in zip(array, keys):
        entry.kind, entry.key_length = key.kind, len(key.material)
        entry.key = ctypes.cast(ctypes.c_char_p(key.material), ctypes.c_void_p) \
            if key.material else None
    return array, len(keys)


def seal(name, data, *keys):
    """Seals data as the file name, which appears (or replaces an earlier file) only once all
    of it is on disk. Any one of the keys (at most 16) unseals it; without a key, this
    account's secret seals it."""
    keys, name = _keys(keys), _name(name)
    lib = _library.library()
    with _data(data) as (pointer, length):
        if len(keys) == 1:
            key = keys[0]
            status = lib.vantry_seal(name, pointer, length, key.kind, key.material or None,
                                     len(key.material))
        else:
            status = lib.vantry_seal_keys(name, pointer, length, *_key_array(keys))
    _check(status, name)


def unseal(name, *keys):
    """The data of the sealed file name as bytes, returned only when all of it authenticated.
    Any of the keys that has a slot in the file opens it; without a key, this account's
    secret."""
    keys, name = _keys(keys), _name(name)
    lib = _library.library()
    if len(keys) == 1:
        key = keys[0]
        return _block_call(lib.vantry_unseal, name, name, key.kind, key.material or None,
                           len(key.material))
    return _block_call(lib.vantry_unseal_keys, name, name, *_key_array(keys))


def seal_buffer(data, *keys):
    """The sealed bytes of data (for a host that keeps sealed blobs itself, in a database for
    instance), which any one of the keys unseals; without a key, this account's secret."""
    with _data(data) as (pointer, length):
        return _block_call(_library.library().vantry_seal_buffer, None, pointer, length,
                           *_key_array(keys))


def unseal_buffer(sealed, *keys):
    """The data of the sealed bytes, returned only when all of it authenticated, opened with
    whichever of the keys has a slot; without a key, this account's secret."""
    with _data(sealed) as (pointer, length):
        return _block_call(_library.library().vantry_unseal_buffer, None, pointer, length,
                           *_key_array(keys))


Slot = collections.namedtuple("Slot", "number kind detail")
Slot.__doc__ = """A slot of a sealed file: its number (from 1), its kind ("raw key",
"recipient", ...) and what identifies it or what it costs ("recipient tag 1a2b3c4d", "600000
PBKDF2 iterations"); never a secret."""


def sealed_slots(name):
    """The format version of the sealed file name and its slots, a list of Slot: which keys
    open it, read without a key."""
    name = _name(name)
    lib = _library.library()
    version, listing, length = ctypes.c_int(), _library.Block(), ctypes.c_size_t()
    _check(lib.vantry_sealed_slots(name, ctypes.byref(version), ctypes.byref(listing),
                                   ctypes.byref(length)), name)
    try:
        text = ctypes.string_at(listing, length.value).decode("utf-8", "replace")
    finally:
        lib.vantry_free(listing, length.value + 1)  # the block holds a terminating NUL too
    slots = []
    for line in text.splitlines():
        number, kind, detail = line.split("\t", 2)
        slots.append(Slot(int(number), kind, detail))
    return version.value, slots


def _protected_key(key, raw_key):
    if raw_key is not None:
        if key is not None:
            raise ValueError("give a key text or a raw key, not both")
        material = bytes(raw_key)
        if len(material) != PROTECTED_RAW_KEY_LENGTH:
            raise ValueError("a raw key of a protected file has %d bytes, not %d"
                             % (PROTECTED_RAW_KEY_LENGTH, len(material)))
        return _KEY_BYTES, material
    if key is None:
        return _KEY_MACHINE, None
    return _KEY_TEXT, _text(key, "key text")


def save(name, data, key=None, *, raw_key=None):
    """Writes data as the protected file name (the compatibility format: no authentication,
    the length rounded up to 16 bytes). key is the key text (its first 16 bytes count), or
    raw_key the 16 key bytes; with neither, the machine key."""
    kind, material = _protected_key(key, raw_key)
    name = _name(name)
    with _data(data) as (pointer, length):
        status = _library.library().vantry_save(name, pointer, length, kind, material,
                                                len(material or b""))
    _check(status, name)


def load(name, key=None, *, raw_key=None):
    """The contents of the protected file name, as the library gives them: the data saved, the
    zero bytes that padded its last 16-byte block, then 32 zero bytes (the format does not
    record the length that was saved)."""
    kind, material = _protected_key(key, raw_key)
    name = _name(name)
    return _block_call(_library.library().vantry_load, name, name, kind, material,
                       len(material or b""))


def status_text(status):
    """The library's fixed English text of a status: "wrong key or not a protected file"."""
    return _library.library().vantry_status_text(status).decode()


def library_version():
    """The version of the library that is running, "1.1.0"."""
    return _library.library().vantry_version().decode()
