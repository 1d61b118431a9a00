#!/usr/bin/env python3
"""An independent sealed-file implementation, written from docs/sealed-format.md with python3
`cryptography`, checked against the vantry tool in both directions.

  sealed_interop.py VANTRY_TOOL      seals with Python and unseals with the tool, and back,
                                     for raw keys (every boundary length), passphrases and
                                     the account secret the tool created
  sealed_interop.py --make-vectors DIR x
                                     writes the known-answer files DIR/vectors.txt names
                                     (the C++ tests compare the library's output with them)
"""
import hashlib
import hmac
import os
import struct
import subprocess
import sys
import tempfile

from cryptography.hazmat.primitives import hashes
from cryptography.hazmat.primitives.ciphers.aead import AESGCM
from cryptography.hazmat.primitives.kdf.hkdf import HKDF
from cryptography.hazmat.primitives.kdf.pbkdf2 import PBKDF2HMAC

MAGIC = b"\x89VTYS\r\n\x1a"
PASSPHRASE, RAW, ACCOUNT = 1, 2, 3
SEGMENT = 65536
TAG = 16


def hkdf(ikm, salt, label):
    return HKDF(hashes.SHA256(), 32, salt, b"vantry sealed v1 " + label).derive(ikm)


def key_material(kind, key, salt, iterations):
    if kind == PASSPHRASE:
        return PBKDF2HMAC(hashes.SHA256(), 32, salt, iterations).derive(key)
    return key


def seal(kind, key, plain, salt=None, prefix=None, iterations=600000):
    salt = salt if salt is not None else os.urandom(16)
    prefix = prefix if prefix is not None else os.urandom(7)
    ikm = key_material(kind, key, salt, iterations)
    params = {PASSPHRASE: struct.pack(">I", iterations), RAW: b"",
              ACCOUNT: HKDF(hashes.SHA256(), 16, None, b"vantry sealed v1 secret id").derive(key)
              }[kind]
    body = MAGIC + bytes([1, kind]) + struct.pack(">H", len(params)) + params
    body += salt + prefix + hkdf(ikm, salt, b"key check")
    body += hashlib.sha256(body).digest()[:8]
    out = [body, hmac.new(hkdf(ikm, salt, b"header"), body, hashlib.sha256).digest()]
    aead = AESGCM(hkdf(ikm, salt, b"payload"))
    count = max(1, (len(plain) + SEGMENT - 1) // SEGMENT)
    for i in range(count):
        nonce = prefix + struct.pack(">IB", i, 1 if i == count - 1 else 0)
        out.append(aead.encrypt(nonce, plain[i * SEGMENT:(i + 1) * SEGMENT], None))
    return b"".join(out)


def unseal(kind, key, data):
    assert data[:8] == MAGIC and data[8] == 1 and data[9] == kind, "not this kind of sealed file"
    (plen,) = struct.unpack(">H", data[10:12])
    params, pos = data[12:12 + plen], 12 + plen
    salt, prefix, check = data[pos:pos + 16], data[pos + 16:pos + 23], data[pos + 23:pos + 55]
    pos += 55
    assert hashlib.sha256(data[:pos]).digest()[:8] == data[pos:pos + 8], "header damaged"
    iterations = struct.unpack(">I", params)[0] if kind == PASSPHRASE else 0
    ikm = key_material(kind, key, salt, iterations)
    assert hmac.compare_digest(hkdf(ikm, salt, b"key check"), check), "wrong key"
    mac = hmac.new(hkdf(ikm, salt, b"header"), data[:pos + 8], hashlib.sha256).digest()
    assert hmac.compare_digest(mac, data[pos + 8:pos + 40]), "header MAC"
    pos += 40
    aead = AESGCM(hkdf(ikm, salt, b"payload"))
    chunks = [data[p:p + SEGMENT + TAG] for p in range(pos, len(data), SEGMENT + TAG)] or [b""]
    plain = []
    for i, chunk in enumerate(chunks):
        last = i == len(chunks) - 1
        plain.append(aead.decrypt(prefix + struct.pack(">IB", i, int(last)), chunk, None))
        assert not (last and i > 0 and not plain[-1]), "empty last segment"
    return b"".join(plain)


LENGTHS = [0, 1, 15, 16, 17, 65535, 65536, 65537, 131072, 3 * 1024 * 1024 + 5]


def run(tool, args, stdin=None, env=None):
    result = subprocess.run([tool] + args, input=stdin, capture_output=True, env=env)
    if result.returncode != 0:
        raise AssertionError(f"{args}: exit {result.returncode}: {result.stderr.decode()}")
    return result.stdout


def check_tool(tool):
    work = tempfile.mkdtemp()
    raw = os.urandom(32)
    raw_file = os.path.join(work, "raw.hex")
    with open(raw_file, "w") as f:
        f.write(raw.hex())
    env = dict(os.environ, VANTRY_TEST_PASSPHRASE="correct horse battery staple, all of it",
               XDG_DATA_HOME=os.path.join(work, "data"))
    # The account's secret, created by the tool's first seal, read as the document says.
    open(os.path.join(work, "empty"), "wb").close()
    run(tool, ["seal", os.path.join(work, "empty"), os.path.join(work, "empty.vts")], env=env)
    with open(os.path.join(work, "data", "vantry", "account-secret"), "rb") as f:
        secret = f.read()
    keys = [(RAW, raw, ["--key-hex-file", raw_file], LENGTHS),
            (PASSPHRASE, env["VANTRY_TEST_PASSPHRASE"].encode(),
             ["--key-env", "VANTRY_TEST_PASSPHRASE"], [0, 65537]),
            (ACCOUNT, secret, [], [1, 65536])]
    failures = 0
    for kind, key, option, lengths in keys:
        for n in lengths:
            plain = os.urandom(n)
            sealed_file = os.path.join(work, f"py-{kind}-{n}.vts")
            with open(sealed_file, "wb") as f:
                f.write(seal(kind, key, plain))
            try:
                got = run(tool, ["unseal"] + option + [sealed_file, "-"], env=env)
                assert got == plain, f"the tool unsealed Python's {n} bytes wrongly"
                plain_file = os.path.join(work, f"plain-{kind}-{n}")
                with open(plain_file, "wb") as f:
                    f.write(plain)
                tool_file = os.path.join(work, f"tool-{kind}-{n}.vts")
                run(tool, ["seal"] + option + [plain_file, tool_file], env=env)
                with open(tool_file, "rb") as f:
                    assert unseal(kind, key, f.read()) == plain, "Python unsealed wrongly"
            except AssertionError as e:
                failures += 1
                print(f"FAIL kind {kind}, {n} bytes: {e}")
    print(f"{failures} failures")
    return failures == 0


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "--make-vectors":
        folder = sys.argv[2]
        with open(os.path.join(folder, "vectors.txt")) as f:
            for line in f:
                if line.strip() and not line.startswith("#"):
                    name, kind, key, salt, prefix, iterations, n = line.split()
                    plain = bytes(i % 251 for i in range(int(n)))
                    with open(os.path.join(folder, name), "wb") as g:
                        g.write(seal(int(kind), bytes.fromhex(key), plain, bytes.fromhex(salt),
                                     bytes.fromhex(prefix), int(iterations)))
        sys.exit(0)
    sys.exit(0 if len(sys.argv) == 2 and check_tool(sys.argv[1]) else 1)
