"""Finding libvantry and declaring the functions of vantry_c.h to ctypes.

Every function is declared with its argument and result types once, here: without them ctypes
passes every integer as a C int, cutting size_t lengths and pointers on 64-bit systems."""
import ctypes
import ctypes.util
import os
import sys
import threading

# The major version of the C interface these declarations follow; a library of another major
# version may have changed them.
INTERFACE_MAJOR = 1

Block = ctypes.POINTER(ctypes.c_ubyte)


class SealedKey(ctypes.Structure):
    """vantry_sealed_key: one key of the several-key calls. key points into memory the caller
    keeps alive for the call."""
    _fields_ = [("kind", ctypes.c_int), ("key", ctypes.c_void_p), ("key_length", ctypes.c_size_t)]


_KEYS = ctypes.POINTER(SealedKey)
_OUT = [ctypes.POINTER(Block), ctypes.POINTER(ctypes.c_size_t)]

_DECLARATIONS = {
    # name: (result type, argument types)
    "vantry_save": (ctypes.c_int, [ctypes.c_char_p, ctypes.c_void_p, ctypes.c_size_t,
                                   ctypes.c_int, ctypes.c_void_p, ctypes.c_size_t]),
    "vantry_load": (ctypes.c_int, [ctypes.c_char_p, ctypes.c_int, ctypes.c_void_p,
                                   ctypes.c_size_t, ctypes.POINTER(Block),
                                   ctypes.POINTER(ctypes.c_size_t)]),
    "vantry_seal": (ctypes.c_int, [ctypes.c_char_p, ctypes.c_void_p, ctypes.c_size_t,
                                   ctypes.c_int, ctypes.c_void_p, ctypes.c_size_t]),
    "vantry_unseal": (ctypes.c_int, [ctypes.c_char_p, ctypes.c_int, ctypes.c_void_p,
                                     ctypes.c_size_t, ctypes.POINTER(Block),
                                     ctypes.POINTER(ctypes.c_size_t)]),
    "vantry_seal_keys": (ctypes.c_int, [ctypes.c_char_p, ctypes.c_void_p, ctypes.c_size_t,
                                        _KEYS, ctypes.c_size_t]),
    "vantry_unseal_keys": (ctypes.c_int, [ctypes.c_char_p, _KEYS, ctypes.c_size_t] + _OUT),
    "vantry_seal_buffer": (ctypes.c_int, [ctypes.c_void_p, ctypes.c_size_t, _KEYS,
                                          ctypes.c_size_t] + _OUT),
    "vantry_unseal_buffer": (ctypes.c_int, [ctypes.c_void_p, ctypes.c_size_t, _KEYS,
                                            ctypes.c_size_t] + _OUT),
    "vantry_sealed_slots": (ctypes.c_int, [ctypes.c_char_p, ctypes.POINTER(ctypes.c_int)] + _OUT),
    "vantry_free": (None, [ctypes.c_void_p, ctypes.c_size_t]),
    "vantry_last_error": (ctypes.c_char_p, []),
    "vantry_last_system_error": (ctypes.c_int, []),
    "vantry_status_text": (ctypes.c_char_p, [ctypes.c_int]),
    "vantry_version": (ctypes.c_char_p, []),
    "vantry_version_number": (ctypes.c_uint32, []),
}


class LibraryNotFound(ImportError):
    """libvantry could not be loaded: the message lists where it was looked for."""


def _installed_folder():
    """The library folder of an installation that placed this package beside the library
    (a system package or a prefix install writes _installed.py), or None."""
    try:
        from . import _installed
    except ImportError:
        return None
    return os.path.normpath(os.path.join(os.path.dirname(__file__), _installed.LIBRARY_FOLDER))


def _candidates():
    """Where the library may be, most specific first."""
    if os.environ.get("VANTRY_LIBRARY"):
        # Named by the user: the only place looked at, so a wrong name is not papered over.
        return [os.environ["VANTRY_LIBRARY"]]
    if sys.platform == "win32":
        names = ["vantry.dll"]
    elif sys.platform == "darwin":
        names = ["libvantry.%d.dylib" % INTERFACE_MAJOR, "libvantry.dylib"]
    else:
        names = ["libvantry.so.%d" % INTERFACE_MAJOR]
    found = []
    folder = _installed_folder()
    if folder:
        found += [os.path.join(folder, name) for name in names]
    found += names  # the system's loader: its cache, its default folders, the library path
    other = ctypes.util.find_library("vantry")
    if other and other not in found:
        found.append(other)
    return found


def _declare(library):
    for name, (result, arguments) in _DECLARATIONS.items():
        function = getattr(library, name)
        function.restype = result
        function.argtypes = arguments
    major = library.vantry_version_number() // 10000
    if major != INTERFACE_MAJOR:
        raise LibraryNotFound("%s is version %s of the library; this package needs version %d"
                              % (library._name, library.vantry_version().decode(),
                                 INTERFACE_MAJOR))
    return library


_lock = threading.Lock()
_library = None


def library():
    """The loaded library, loaded on first use."""
    global _library
    with _lock:
        if _library is None:
            tried = []
            for candidate in _candidates():
                try:
                    loaded = ctypes.CDLL(candidate)
                except OSError as error:
                    tried.append("%s (%s)" % (candidate, error))
                    continue
                _library = _declare(loaded)
                break
            else:
                raise LibraryNotFound(
                    "cannot load the Vantry library; tried: %s. Install the library package, "
                    "or name the library file in the environment variable VANTRY_LIBRARY"
                    % "; ".join(tried))
        return _library
