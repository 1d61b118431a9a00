"""The exceptions of the vantry package: one class per status of the C interface.

Each carries the status, the library's message (which names the file and, for sealed files,
the segment or offset) and, for file failures, the system's error code. Classes also derive
from the built-in exception a Python caller would catch for the same trouble: a file failure is
an OSError, a refused argument a ValueError, an exhausted memory a MemoryError."""


class VantryError(Exception):
    """A failure reported by the library. status is its number in vantry_c.h."""

    status = None

    def __init__(self, message, status=None):
        super().__init__(message)
        if status is not None:
            self.status = status

    @property
    def message(self):
        return self.args[0]


class WrongKeyError(VantryError):
    """Another key saved or sealed the file, or it is no protected file at all."""
    status = 1


class BlockSizeError(VantryError):
    """The key matches, but the protected file's cipher text was cut short or grown."""
    status = 2


class TooLargeError(VantryError):
    """The data or the protected file is larger than the format holds."""
    status = 3


class FileError(VantryError, OSError):
    """A file could not be opened, created, read, written or put in place. errno is the
    system's code (0 when the library found the fault itself), filename the name given."""
    status = 4

    def __init__(self, message, system_error=0, filename=None):
        OSError.__init__(self, system_error, message, filename)
        self.args = (message,)

    def __str__(self):
        return self.args[0]


class InvalidArgumentError(VantryError, ValueError):
    """An argument was refused before anything was touched."""
    status = 5


class OutOfMemoryError(VantryError, MemoryError):
    status = 6


class InternalError(VantryError):
    """A failure the library has no status for: a fault of the library."""
    status = 7


class NotSealedError(VantryError):
    """The file does not start as a sealed file does (a protected file, for instance)."""
    status = 8


class UnsupportedVersionError(VantryError):
    """A sealed file of a later version, or a key kind this library does not know."""
    status = 9


class DamagedError(VantryError):
    """The header or a segment does not authenticate: the file was changed or damaged."""
    status = 10


class TruncatedError(VantryError):
    """The sealed file ends before its last segment (or inside its header)."""
    status = 11


class OtherAccountError(VantryError):
    """The file was sealed with another account's or machine's secret."""
    status = 12


class WrongKeyKindError(VantryError):
    """The file was sealed with another kind of key (a passphrase where a raw key was given)."""
    status = 13


class SecretUnavailableError(VantryError):
    """This account's or machine's secret cannot be read or created."""
    status = 14


class NotAvailableError(VantryError):
    """A kind of key this system cannot use: recipients and identities on Windows, a TPM on
    Windows or where there is none or this user may not use it."""
    status = 15


class BootStateChangedError(VantryError):
    """The TPM refuses the file's TPM slot: the PCRs it is bound to changed since sealing."""
    status = 16


class TpmLockoutError(VantryError):
    """The TPM is in dictionary-attack lockout."""
    status = 17


# Each status to its class; a status this package does not know yet (a newer library) is a
# plain VantryError that still carries the number and the library's message.
BY_STATUS = {cls.status: cls for cls in [
    WrongKeyError, BlockSizeError, TooLargeError, FileError, InvalidArgumentError,
    OutOfMemoryError, InternalError, NotSealedError, UnsupportedVersionError, DamagedError,
    TruncatedError, OtherAccountError, WrongKeyKindError, SecretUnavailableError,
    NotAvailableError, BootStateChangedError, TpmLockoutError]}


def error_for(status, message, system_error=0, filename=None):
    """The exception for a failed call: its class by status, the library's message."""
    cls = BY_STATUS.get(status)
    if cls is FileError:
        return FileError(message, system_error, filename)
    if cls is None:
        return VantryError(message, status)
    return cls(message)
