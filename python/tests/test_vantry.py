"""The vantry package against the built library (VANTRY_LIBRARY names it): python3 -m unittest.

What the package adds to the C interface is checked here: every kind of name and buffer reaches
the library intact, each status becomes its own exception with the library's message and the
system's code, and the library is found (or the failure says where it was looked for)."""
import array
import errno
import os
import pathlib
import pickle
import resource
import subprocess
import sys
import tempfile
import unittest

import vantry

RAW = vantry.RawKey(bytes(range(1, 33)))
# A fixed test pair from 'vantry keygen': the identity opens what is sealed to the recipient.
RECIPIENT = vantry.Key.recipient(
    "vantry1fz226j8yyp4nl8dvse7nw6yhsfgv2v524q4pha9awz0dy0y4rfsqa8rywn")
IDENTITY = vantry.Key.identity(
    "VANTRY-SECRET-KEY-1MMZKXH5MF2QLE8YSDFR67KLW03JAKJ3XYQTVVHK2QZ2P0RG4840SMR9JF5")


def in_child(action):
    """action() in a forked child: what it returned or raised (class name, text, errno)."""
    read_end, write_end = os.pipe()
    pid = os.fork()
    if pid == 0:
        os.close(read_end)
        try:
            action()
            result = None
        except BaseException as e:
            result = (type(e).__name__, str(e), getattr(e, "errno", None))
        os.write(write_end, pickle.dumps(result))
        os._exit(0)
    os.close(write_end)
    with os.fdopen(read_end, "rb") as f:
        result = pickle.loads(f.read())
    os.waitpid(pid, 0)
    return result


def as_other_user(action):
    def demoted():
        if os.geteuid() == 0:
            os.setgid(65534)
            os.setuid(65534)
        action()
    return demoted


def with_little_memory(action):
    def limited():
        with open("/proc/self/statm") as statm:
            used = int(statm.read().split()[0]) * os.sysconf("SC_PAGE_SIZE")
        resource.setrlimit(resource.RLIMIT_AS, (used + (256 << 20), resource.RLIM_INFINITY))
        action()
    return limited


def environment(**values):
    """An action that runs with these environment variables (the library reads them)."""
    def wrap(action):
        def changed():
            os.environ.update(values)
            action()
        return changed
    return wrap


class VantryTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp()
        os.chmod(self.folder, 0o755)
        self.addCleanup(subprocess.run, ["rm", "-rf", self.folder])
        os.environ["XDG_DATA_HOME"] = self.path("account-a")

    def path(self, name):
        return os.path.join(self.folder, name)

    def changed(self, source, name, edit):
        with open(source, "rb") as f:
            data = bytearray(f.read())
        with open(self.path(name), "wb") as f:
            f.write(edit(data))
        return self.path(name)

    def test_every_kind_of_name_and_buffer_round_trips(self):
        data = bytes(range(256)) * 300  # several segments of a sealed file, zero bytes inside
        cases = [
            ("str name, bytes", self.path("café-заметки.vty"), data),
            ("bytes name, bytearray", os.fsencode(self.path("b.vty")), bytearray(data)),
            ("PathLike name, memoryview", pathlib.Path(self.path("p.vty")), memoryview(data)),
            ("undecodable name", os.fsencode(self.folder) + b"/\xff\xfe.vty", data[:5]),
            ("strided view", self.path("s.vty"), memoryview(data)[1::3]),
            ("a slice of bytes", self.path("slice.vty"), memoryview(data)[7:100007]),
            ("array of words", self.path("a.vty"), array.array("I", [1, 2, 0xFFFFFFFF])),
            ("empty", self.path("e.vty"), b""),
        ]
        for what, name, given in cases:
            with self.subTest(what):
                expected = memoryview(given).tobytes()
                vantry.seal(name, given, RAW)
                self.assertEqual(vantry.unseal(name, RAW), expected)
                self.assertTrue(os.path.exists(name))
                vantry.save(name, given, "a key")
                padded = expected + bytes(-len(expected) % 16 + 32)
                self.assertEqual(vantry.load(name, raw_key=b"a key" + bytes(11)), padded)

    def test_each_status_is_its_own_exception(self):
        protected, sealed = self.path("p.vty"), self.path("s.vty")
        vantry.save(protected, b"x" * 40, "a key")
        vantry.seal(sealed, b"y" * 70000, RAW)
        vantry.seal(self.path("pass.vty"), b"z", vantry.Passphrase("pw"))
        with open(self.path("big.vty"), "wb") as f:
            f.truncate(1 << 31)
        with open(protected, "rb") as f:
            header = f.read(32)
        with open(self.path("huge.vty"), "wb") as f:
            f.write(header)
            f.truncate(1 << 30)
        locked = self.path("locked")
        os.mkdir(locked)
        vantry.save(os.path.join(locked, "old.vty"), b"old", "a key")
        os.chmod(locked, 0o555)
        self.addCleanup(os.chmod, locked, 0o755)
        missing = self.path("no-folder/café.vty")
        cut_in_header = self.changed(sealed, "cut.vty", lambda d: d[:50])
        version = self.changed(sealed, "version.vty", lambda d: d[:8] + b"\x7f" + d[9:])
        flipped = self.changed(sealed, "flipped.vty", lambda d: d[:-5] + bytes([d[-5] ^ 1]) + d[-4:])
        odd = self.changed(protected, "odd.vty", lambda d: d[:-3])
        cases = [
            (lambda: vantry.load(protected, "another key"), vantry.WrongKeyError, 0),
            (lambda: vantry.load(odd, "a key"), vantry.BlockSizeError, 0),
            (lambda: vantry.load(self.path("big.vty"), "a key"), vantry.TooLargeError, 0),
            (lambda: vantry.load(missing, "a key"), vantry.FileError, errno.ENOENT),
            (as_other_user(lambda: vantry.save(os.path.join(locked, "old.vty"), b"new", "a key")),
             vantry.FileError, errno.EACCES),
            (lambda: vantry.save(protected, b"", raw_key=b"a\0b" + bytes(13)),
             vantry.InvalidArgumentError, 0),
            (with_little_memory(lambda: vantry.load(self.path("huge.vty"), "a key")),
             vantry.OutOfMemoryError, 0),
            (lambda: vantry.unseal(protected, RAW), vantry.NotSealedError, 0),
            (lambda: vantry.unseal(version, RAW), vantry.UnsupportedVersionError, 0),
            (lambda: vantry.unseal(flipped, RAW), vantry.DamagedError, 0),
            (lambda: vantry.unseal(cut_in_header, RAW), vantry.TruncatedError, 0),
            (environment(XDG_DATA_HOME=self.path("account-b"))(
                lambda: vantry.unseal(self.path("acct.vty"))), vantry.OtherAccountError, 0),
            (lambda: vantry.unseal(self.path("pass.vty"), RAW), vantry.WrongKeyKindError, 0),
            (environment(XDG_DATA_HOME="relative", HOME="relative")(
                lambda: vantry.seal(self.path("none.vty"), b"")),
             vantry.SecretUnavailableError, 0),
        ]
        vantry.seal(self.path("acct.vty"), b"a's")
        for action, expected, code in cases:
            with self.subTest(expected.__name__):
                name, text, got_code = in_child(action)
                self.assertEqual((name, got_code or 0), (expected.__name__, code), text)
        # The library's message reaches the caller whole, a name outside ASCII included.
        with self.assertRaises(OSError) as caught:
            vantry.unseal(missing, RAW)
        self.assertEqual(str(caught.exception),
                         "cannot open file for reading %s: No such file or directory" % missing)
        self.assertEqual((caught.exception.errno, caught.exception.filename),
                         (errno.ENOENT, missing))
        # A status a newer library adds is still an error of its own number.
        self.assertEqual(vantry.errors.error_for(99, "new").status, 99)

    def test_several_keys_and_buffers(self):
        """Each key kind reaches the library in its slot of the key array, a copied buffer
        arrives whole, and each refusal is its own exception."""
        data = bytes(range(256)) * 300
        name, wrong = self.path("several.vty"), vantry.Key.passphrase("wrong")
        vantry.seal(name, data, RAW, RECIPIENT, vantry.Key.passphrase("pässword"))
        blob = vantry.seal_buffer(memoryview(data)[::2], RECIPIENT, vantry.Key.account())
        damaged = blob[:-1] + bytes([blob[-1] ^ 1])
        mistyped = vantry.Key.recipient(RECIPIENT.material.replace(b"fz2", b"fz3"))
        cases = [
            ("file, the identity", lambda: vantry.unseal(name, IDENTITY), data),
            ("file, any of several", lambda: vantry.unseal(name, wrong, vantry.Passphrase("pässword")),
             data),
            ("buffer, the account", lambda: vantry.unseal_buffer(blob, wrong, vantry.ACCOUNT),
             data[::2]),
            ("buffer, empty", lambda: vantry.unseal_buffer(vantry.seal_buffer(b"", RAW), RAW),
             b""),
            ("buffer, damaged", lambda: vantry.unseal_buffer(damaged, IDENTITY),
             vantry.DamagedError),
            ("file, 17 keys", lambda: vantry.unseal(name, *[RAW] * 17),
             vantry.InvalidArgumentError),
            ("mistyped recipient", lambda: vantry.seal_buffer(data, mistyped),
             vantry.InvalidArgumentError),
            ("no TPM", lambda: in_child(environment(VANTRY_TPM_TCTI="device:/nonexistent")(
                lambda: vantry.seal_buffer(b"x", vantry.Key.tpm([7]))))[0], "NotAvailableError"),
        ]
        for what, action, expected in cases:
            with self.subTest(what):
                if isinstance(expected, type):
                    self.assertRaises(expected, action)
                else:
                    self.assertEqual(action(), expected)
        vantry.seal(self.path("default.vty"), b"the account's")
        self.assertEqual(vantry.unseal(self.path("default.vty"), vantry.ACCOUNT), b"the account's")
        self.assertNotIn("pässword", repr(vantry.Passphrase("pässword")))
        self.assertEqual(vantry.sealed_slots(name), (2, [
            vantry.Slot(1, "raw key", ""), vantry.Slot(2, "recipient", "recipient tag fb12def4"),
            vantry.Slot(3, "passphrase", "600000 PBKDF2 iterations")]))

    def test_the_library_named_or_found(self):
        self.assertEqual(vantry.__version__, vantry.library_version())
        script = "import vantry\ntry:\n vantry.status_text(0)\nexcept ImportError as e:\n print(e)"
        found = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                               env=dict(os.environ, VANTRY_LIBRARY=self.path("none.so")))
        self.assertIn("cannot load the Vantry library; tried: %s (" % self.path("none.so"),
                      found.stdout)
        self.assertIn("VANTRY_LIBRARY", found.stdout)


if __name__ == "__main__":
    unittest.main()
