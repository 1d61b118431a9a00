#!/usr/bin/env python3
"""A Python host of the C interface through ctypes: python3 ctypes_host.py LIBRARY

Reaches every status a host can meet from a real condition (wrong key, foreign file, odd size,
a file too large, missing folder, read-only target, bad arguments, a process out of memory)
and checks the message and system code that come with it. Exits 1 when a check fails."""
import ctypes
import errno
import os
import resource
import sys
import tempfile

OK, WRONG_KEY, BLOCK_SIZE, TOO_LARGE, FILE, INVALID_ARGUMENT, OUT_OF_MEMORY = range(7)
KEY_MACHINE, KEY_TEXT, KEY_BYTES = range(3)
MAX_DATA_LENGTH = 2147483600

lib = ctypes.CDLL(sys.argv[1])
lib.vantry_save.argtypes = [ctypes.c_char_p, ctypes.c_void_p, ctypes.c_size_t, ctypes.c_int,
                            ctypes.c_void_p, ctypes.c_size_t]
lib.vantry_save.restype = ctypes.c_int
lib.vantry_load.argtypes = [ctypes.c_char_p, ctypes.c_int, ctypes.c_void_p, ctypes.c_size_t,
                            ctypes.POINTER(ctypes.POINTER(ctypes.c_ubyte)),
                            ctypes.POINTER(ctypes.c_size_t)]
lib.vantry_load.restype = ctypes.c_int
lib.vantry_free.argtypes = [ctypes.c_void_p, ctypes.c_size_t]
lib.vantry_free.restype = None
lib.vantry_last_error.restype = ctypes.c_char_p
lib.vantry_last_system_error.restype = ctypes.c_int
lib.vantry_status_text.argtypes = [ctypes.c_int]
lib.vantry_status_text.restype = ctypes.c_char_p
lib.vantry_version.restype = ctypes.c_char_p
lib.vantry_version_number.restype = ctypes.c_uint32

failures = []


def check(ok, what):
    print(("ok: " if ok else "FAILED: ") + what)
    if not ok:
        failures.append(what)


def save(name, data, key=b"a key", kind=KEY_TEXT, length=None):
    raw = name.encode() if isinstance(name, str) else name
    buffer = ctypes.create_string_buffer(data, len(data) or 1)
    key_length = 0 if key is None else len(key)
    return lib.vantry_save(raw, buffer, len(data) if length is None else length, kind, key,
                           key_length)


def load(name, key=b"a key", kind=KEY_TEXT):
    """(status, bytes or None)"""
    raw = name.encode() if isinstance(name, str) else name
    block = ctypes.POINTER(ctypes.c_ubyte)()
    length = ctypes.c_size_t(77)
    key_length = 0 if key is None else len(key)
    status = lib.vantry_load(raw, kind, key, key_length, ctypes.byref(block), ctypes.byref(length))
    if status != OK:
        check(not block and length.value == 0, "nothing is handed out after a failure")
        return status, None
    data = ctypes.string_at(block, length.value)
    lib.vantry_free(block, length.value)
    return status, data


def last():
    return lib.vantry_last_error().decode(), lib.vantry_last_system_error()


def expect(status, wanted, message, code=0):
    got_message, got_code = last()
    check(status == wanted and got_message == message and got_code == code,
          f"status {wanted} {message!r} code {code}"
          + ("" if status == wanted else f" (got {status} {got_message!r} {got_code})"))


def in_child(action):
    """Runs action() in a forked child and returns its exit status."""
    pid = os.fork()
    if pid == 0:
        try:
            os._exit(action())
        except BaseException as e:  # the parent only sees the status
            print(f"child: {e!r}")
            os._exit(99)
    return os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1])


def padded(data):
    return data + bytes((-len(data)) % 16 + 32)


with tempfile.TemporaryDirectory() as work:
    os.chmod(work, 0o755)
    good = os.path.join(work, "good.vty")
    data = b"Dear diary, today I called Vantry from Python."

    check(lib.vantry_version().decode() == "%d.%d.%d" % (
        lib.vantry_version_number() // 10000, lib.vantry_version_number() // 100 % 100,
        lib.vantry_version_number() % 100), "version")

    expect(save(good, data), OK, "")
    status, loaded = load(good)
    check(status == OK and loaded == padded(data), "round trip")
    status, loaded = load(good, b"a key\0\0\0\0\0\0\0\0\0\0\0", KEY_BYTES)
    check(status == OK and loaded == padded(data), "the text and its bytes are one key")

    # Wrong key, and files that are no protected file under any key.
    expect(load(good, b"another key")[0], WRONG_KEY,
           f"Sealkit ERROR: File {good} cannot be Correctly Decrypted!")
    foreign = os.path.join(work, "foreign.txt")
    with open(foreign, "wb") as f:
        f.write(b"just some text that was never protected\n" * 3)
    expect(load(foreign)[0], WRONG_KEY,
           f"Sealkit ERROR: File {foreign} cannot be Correctly Decrypted!")
    empty = os.path.join(work, "empty.vty")
    open(empty, "wb").close()
    expect(load(empty)[0], WRONG_KEY,
           f"Sealkit ERROR: File {empty} cannot be Correctly Decrypted!")

    # The right key, but the cipher text was cut.
    odd = os.path.join(work, "odd.vty")
    with open(good, "rb") as f, open(odd, "wb") as g:
        g.write(f.read()[:-3])
    expect(load(odd)[0], BLOCK_SIZE, "Illegal Block Size!")

    # Too large, both ways: a 2 GiB file (sparse) and data whose file could not be loaded.
    big = os.path.join(work, "big.vty")
    with open(big, "wb") as f:
        f.truncate(1 << 31)
    expect(load(big)[0], TOO_LARGE, f"cannot read the size of file {big}: File too large")
    os.remove(big)
    expect(save(good, b"x", length=MAX_DATA_LENGTH + 1), TOO_LARGE,
           f"vantry_save: {MAX_DATA_LENGTH + 1} bytes are more than a protected file holds")

    # File system: a missing folder, a folder in the target's place.
    missing = os.path.join(work, "no-folder", "x.vty")
    expect(save(missing, data), FILE,
           f"cannot create file {missing}: No such file or directory", errno.ENOENT)
    expect(load(missing)[0], FILE,
           f"cannot open file for reading {missing}: No such file or directory", errno.ENOENT)

    # A read-only target in a folder the caller cannot write; root may write anything, so the
    # save runs as another user then.
    locked_folder = os.path.join(work, "locked")
    os.mkdir(locked_folder)
    readonly = os.path.join(locked_folder, "readonly.vty")
    expect(save(readonly, b"old"), OK, "")
    before = open(readonly, "rb").read()
    os.chmod(readonly, 0o444)
    os.chmod(locked_folder, 0o555)

    def save_read_only():
        if os.geteuid() == 0:
            os.setgid(65534)
            os.setuid(65534)
        status = save(readonly, data)
        message, code = last()
        print(f"   read-only target: {status} {message!r} {code}")
        return 0 if status == FILE and code == errno.EACCES and \
            message == f"cannot create file {readonly}: Permission denied" else 1

    check(in_child(save_read_only) == 0, "a read-only target is FILE with EACCES")
    check(open(readonly, "rb").read() == before and os.listdir(locked_folder) == ["readonly.vty"],
          "and stays as it was, with no temporary beside it")

    # Bad arguments, each refused before anything is touched.
    for args, message in [
        ((None, data), "vantry_save: no file name"),
        (("", data), "vantry_save: no file name"),
        ((good, data, b""), "a key text must not be empty"),
        ((good, data, b"a\0b"), "a key text must not contain a zero byte"),
        ((good, data, b"short", KEY_BYTES), "a raw key must have exactly 16 bytes"),
        ((good, data, b"k", KEY_MACHINE), "the machine key takes no key data"),
        ((good, data, b"k", 7), "unknown key kind 7"),
    ]:
        expect(save(*args) if args[0] is not None else
               lib.vantry_save(None, data, len(data), KEY_TEXT, b"k", 1),
               INVALID_ARGUMENT, message)
    expect(lib.vantry_load(good.encode(), KEY_TEXT, b"k", 1, None, None), INVALID_ARGUMENT,
           "vantry_load: no place for the loaded block or its length")
    check(load(good)[1] == padded(data), "refused calls left the file alone")

    # Out of memory: a process limited to little more address space than it uses loads a
    # file of a gigabyte. Its header is right for the key, so the load gets past the key check
    # to where it needs memory for the whole file.
    small = os.path.join(work, "small.vty")
    expect(save(small, b"x"), OK, "")
    with open(small, "rb") as f:
        header = f.read(32)
    huge = os.path.join(work, "huge.vty")
    with open(huge, "wb") as f:
        f.write(header)
        f.truncate(1 << 30)

    def load_without_memory():
        with open("/proc/self/statm") as statm:
            used = int(statm.read().split()[0]) * os.sysconf("SC_PAGE_SIZE")
        resource.setrlimit(resource.RLIMIT_AS, (used + (256 << 20), resource.RLIM_INFINITY))
        status, _ = load(huge)
        message, code = last()
        print(f"   out of memory: {status} {message!r} {code}")
        return 0 if status == OUT_OF_MEMORY and message == "out of memory" else 1

    check(in_child(load_without_memory) == 0, "a process without memory gets OUT_OF_MEMORY")

    texts = [lib.vantry_status_text(s).decode() for s in range(8)]
    check(len(set(texts)) == 8 and lib.vantry_status_text(99) == b"unknown status",
          "every status has a text of its own")
    os.chmod(locked_folder, 0o755)

print(f"{len(failures)} failed")
sys.exit(1 if failures else 0)
