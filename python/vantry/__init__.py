"""Vantry for Python: sealed files (authenticated, the format for new data) and protected files
(the older format, kept for compatibility), through the library's C interface.

    import vantry
    vantry.seal("notes.vty", b"Dear diary", vantry.Passphrase("correct horse"))
    data = vantry.unseal("notes.vty", vantry.Passphrase("correct horse"))

Names are str, bytes or os.PathLike; data is any bytes-like object (bytes, bytearray,
memoryview, array). Every failure raises a vantry.VantryError subclass named after its cause
(vantry.WrongKeyError, vantry.DamagedError, vantry.FileError, ...), carrying the library's
message. Calls may run on several threads at once."""
import ctypes
import os
import sys

from . import _library
from .errors import (BY_STATUS, BlockSizeError, DamagedError, FileError, InternalError,
                     InvalidArgumentError, NotSealedError, OtherAccountError, OutOfMemoryError,
                     SecretUnavailableError, TooLargeError, TruncatedError,
                     UnsupportedVersionError, VantryError, WrongKeyError, WrongKeyKindError,
                     error_for)
from ._library import LibraryNotFound

__version__ = "1.1.0"

__all__ = [
    "seal", "unseal", "save", "load", "Key", "Passphrase", "RawKey", "ACCOUNT", "MACHINE",
    "status_text", "library_version", "LibraryNotFound", "VantryError", "WrongKeyError",
    "BlockSizeError", "TooLargeError", "FileError", "InvalidArgumentError", "OutOfMemoryError",
    "InternalError", "NotSealedError", "UnsupportedVersionError", "DamagedError",
    "TruncatedError", "OtherAccountError", "WrongKeyKindError", "SecretUnavailableError",
]

# Key kinds of sealed files and of protected files, as vantry_c.h numbers them.
_SEALED_ACCOUNT, _SEALED_PASSPHRASE, _SEALED_RAW, _SEALED_MACHINE = 0, 1, 2, 3
_KEY_MACHINE, _KEY_TEXT, _KEY_BYTES = 0, 1, 2
RAW_KEY_LENGTH = 32
PROTECTED_RAW_KEY_LENGTH = 16


class Key:
    """A key of sealed files. Make one with Passphrase(), RawKey(), or use ACCOUNT or MACHINE."""

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


def Passphrase(passphrase):
    """A passphrase, str (taken as UTF-8) or bytes, stretched by PBKDF2-HMAC-SHA256."""
    return Key(_SEALED_PASSPHRASE, _text(passphrase, "passphrase"), "Passphrase(...)")


def RawKey(key):
    """A raw key of exactly 32 bytes, any values (from a key store, a KDF of the host's)."""
    material = bytes(key)
    if len(material) != RAW_KEY_LENGTH:
        raise ValueError("a raw key has %d bytes, not %d" % (RAW_KEY_LENGTH, len(material)))
    return Key(_SEALED_RAW, material, "RawKey(...)")


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


def _data(data):
    """A pointer to the bytes of data and their number, and the object that keeps them alive."""
    view = memoryview(data)
    if not view.contiguous:
        view = memoryview(view.tobytes())
    view = view.cast("B")
    if view.nbytes == 0:
        return None, 0, view
    if view.readonly:
        # ctypes gives no pointer into a read-only buffer without copying it: bytes hands its
        # own storage, which the library only reads.
        keep = view.obj if isinstance(view.obj, bytes) and len(view.obj) == view.nbytes \
            else view.tobytes()
        return ctypes.cast(ctypes.c_char_p(keep), ctypes.c_void_p), view.nbytes, keep
    return ctypes.addressof(ctypes.c_char.from_buffer(view)), view.nbytes, view


def _check(status, name):
    if status != 0:
        lib = _library.library()
        message = lib.vantry_last_error().decode("utf-8", "replace")
        raise error_for(status, message or status_text(status), lib.vantry_last_system_error(),
                        os.fsdecode(name) if name else None)


def _block_call(function, name, *arguments):
    """Calls a loading function of the C interface and returns its block as bytes; the block
    itself is wiped and freed by the library."""
    lib = _library.library()
    block, length = _library.Block(), ctypes.c_size_t()
    status = function(name, *arguments, ctypes.byref(block), ctypes.byref(length))
    _check(status, name)
    try:
        return ctypes.string_at(block, length.value)
    finally:
        lib.vantry_free(block, length.value)


def _one_key(keys):
    if not keys:
        return ACCOUNT
    if len(keys) > 1:
        raise ValueError("this version of the library takes one key per sealed file")
    if not isinstance(keys[0], Key):
        raise TypeError("a key of a sealed file is a vantry.Key (Passphrase, RawKey, ACCOUNT, "
                        "MACHINE), not %s" % type(keys[0]).__name__)
    return keys[0]


def seal(name, data, *keys):
    """Seals data as the file name, which appears (or replaces an earlier file) only once all
    of it is on disk. Without a key, this account's secret seals it."""
    key = _one_key(keys)
    name = _name(name)
    pointer, length, keep = _data(data)
    _check(_library.library().vantry_seal(name, pointer, length, key.kind, key.material or None,
                                          len(key.material)), name)
    del keep


def unseal(name, *keys):
    """The data of the sealed file name as bytes, returned only when all of it authenticated.
    Without a key, this account's secret opens it."""
    key = _one_key(keys)
    name = _name(name)
    return _block_call(_library.library().vantry_unseal, name, key.kind,
                       key.material or None, len(key.material))


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
    pointer, length, keep = _data(data)
    _check(_library.library().vantry_save(name, pointer, length, kind, material,
                                          len(material or b"")), name)
    del keep


def load(name, key=None, *, raw_key=None):
    """The contents of the protected file name, as the library gives them: the data saved, the
    zero bytes that padded its last 16-byte block, then 32 zero bytes (the format does not
    record the length that was saved)."""
    kind, material = _protected_key(key, raw_key)
    name = _name(name)
    return _block_call(_library.library().vantry_load, name, kind, material,
                       len(material or b""))


def status_text(status):
    """The library's fixed English text of a status: "wrong key or not a protected file"."""
    return _library.library().vantry_status_text(status).decode()


def library_version():
    """The version of the library that is running, "1.1.0"."""
    return _library.library().vantry_version().decode()
