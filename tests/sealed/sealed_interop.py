#!/usr/bin/env python3
"""An independent sealed-file implementation, written from docs/sealed-format.md with python3
`cryptography`, checked against the vantry tool in both directions.

  sealed_interop.py VANTRY_TOOL      seals with Python and unseals with the tool, and back,
                                     for raw keys (every boundary length), passphrases and
                                     the account secret the tool created, in version 1 (the
                                     tool reads it) and version 2 (both ways), and recipients
                                     (the tool's keygen texts, sealing and unsealing both ways),
                                     and armored files of raw keys (both ways)
  sealed_interop.py --make-vectors DIR x
                                     writes the known-answer files DIR/vectors.txt names
                                     (the C++ tests compare the library's output with them)
                                     and the version-2 files DIR/v2/manifest.txt names (the
                                     C++ tests open them as it says)
"""
import base64
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
from cryptography.hazmat.primitives.asymmetric.x25519 import X25519PrivateKey, X25519PublicKey
from cryptography.hazmat.primitives.serialization import Encoding, PublicFormat

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


# Version 2: a file key wrapped in slots. A key is (kind, bytes[, iterations]); for kind
# RECIPIENT the bytes are the public key when sealing and the private key when unsealing.
RECIPIENT = 7


def hkdf_raw(ikm, salt, info, n=32):
    return HKDF(hashes.SHA256(), n, salt, info).derive(ikm)


def raw_public(private):
    return X25519PrivateKey.from_private_bytes(private).public_key().public_bytes(
        Encoding.Raw, PublicFormat.Raw)


def random_ephemeral(index):
    return os.urandom(32)


def slot_material(kind, key, salt, params, ephemeral=None):
    """The slot's material M, and its parameters when sealing (params None)."""
    if kind == PASSPHRASE:
        iterations = struct.unpack(">I", params)[0] if params else key[1]
        digest = hashlib.sha256(key[0]).digest()
        return PBKDF2HMAC(hashes.SHA256(), 32, salt, iterations).derive(digest), \
            struct.pack(">I", iterations)
    if kind == RAW:
        return key, b""
    if kind == ACCOUNT:
        return key, HKDF(hashes.SHA256(), 16, None, b"vantry sealed v1 secret id").derive(key)
    if kind == RECIPIENT:
        if params is None:  # sealing: key is R
            e = X25519PrivateKey.from_private_bytes(ephemeral)
            recipient, eph = key, raw_public(ephemeral)
            shared = e.exchange(X25519PublicKey.from_public_bytes(recipient))
        else:  # unsealing: key is r
            recipient, eph = raw_public(key), params[4:]
            if params[:4] != hashlib.sha256(recipient).digest()[:4]:
                return None, params
            shared = X25519PrivateKey.from_private_bytes(key).exchange(
                X25519PublicKey.from_public_bytes(eph))
        tag = hashlib.sha256(recipient).digest()[:4]
        return hkdf_raw(shared, eph + recipient, b"vantry sealed v2 recipient"), tag + eph
    raise ValueError(f"kind {kind}")


def slot_keys(material, salt, lead):
    return (hkdf_raw(material, salt, b"vantry sealed v2 slot check" + lead, 16),
            hkdf_raw(material, salt, b"vantry sealed v2 wrap" + lead))


def seal2(keys, plain, salt=None, prefix=None, file_key=None, ephemeral=random_ephemeral,
          extra=b""):
    """keys: [(kind, key)], a passphrase's key being (passphrase, iterations); ephemeral(i):
    slot i's ephemeral private key; extra: slot bytes appended (a kind the reader does not
    know)."""
    salt = salt or os.urandom(16)
    prefix = prefix or os.urandom(7)
    file_key = file_key or os.urandom(32)
    body = MAGIC + bytes([2, len(keys) + (1 if extra else 0)]) + salt + prefix
    for index, (kind, key) in enumerate(keys):
        material, params = slot_material(kind, key, salt, None, ephemeral(index))
        lead = bytes([kind]) + struct.pack(">H", len(params)) + params
        check, wrap = slot_keys(material, salt, lead)
        body += lead + check + AESGCM(wrap).encrypt(bytes(12), file_key, None)
    body += extra + hkdf_raw(file_key, salt, b"vantry sealed v2 key check")
    body += hashlib.sha256(body).digest()[:8]
    body += hmac.new(hkdf_raw(file_key, salt, b"vantry sealed v2 header"), body,
                     hashlib.sha256).digest()
    return body + segments(hkdf_raw(file_key, salt, b"vantry sealed v2 payload"), prefix, plain)


def segments(payload_key, prefix, plain):
    aead, out = AESGCM(payload_key), []
    count = max(1, (len(plain) + SEGMENT - 1) // SEGMENT)
    for i in range(count):
        nonce = prefix + struct.pack(">IB", i, 1 if i == count - 1 else 0)
        out.append(aead.encrypt(nonce, plain[i * SEGMENT:(i + 1) * SEGMENT], None))
    return b"".join(out)


def unseal2(kind, key, data):
    assert data[:8] == MAGIC and data[8] == 2, "not a version-2 sealed file"
    count, salt, prefix, pos = data[9], data[10:26], data[26:33], 33
    assert 1 <= count <= 16, "slot count"
    slots = []
    for _ in range(count):
        (plen,) = struct.unpack(">H", data[pos + 1:pos + 3])
        lead = data[pos:pos + 3 + plen]
        slots.append((data[pos], lead, data[pos + 3 + plen:pos + 3 + plen + 64]))
        pos += 3 + plen + 64
    key_check, pos = data[pos:pos + 32], pos + 32
    assert hashlib.sha256(data[:pos]).digest()[:8] == data[pos:pos + 8], "header damaged"
    file_key = None
    for slot_kind, lead, rest in slots:
        if slot_kind != kind:
            continue
        material, _ = slot_material(kind, key, salt, lead[3:])
        if material is None:
            continue
        check, wrap = slot_keys(material, salt, lead)
        if hmac.compare_digest(check, rest[:16]):
            file_key = AESGCM(wrap).decrypt(bytes(12), rest[16:], None)
            break
    assert file_key is not None, "wrong key"
    assert hmac.compare_digest(hkdf_raw(file_key, salt, b"vantry sealed v2 key check"),
                               key_check), "slot holds another file's key"
    mac = hmac.new(hkdf_raw(file_key, salt, b"vantry sealed v2 header"), data[:pos + 8],
                   hashlib.sha256).digest()
    assert hmac.compare_digest(mac, data[pos + 8:pos + 40]), "header MAC"
    return open_segments(hkdf_raw(file_key, salt, b"vantry sealed v2 payload"), prefix,
                         data[pos + 40:])


def open_segments(payload_key, prefix, payload):
    aead = AESGCM(payload_key)
    chunks = [payload[p:p + SEGMENT + TAG] for p in range(0, len(payload), SEGMENT + TAG)]
    plain = []
    for i, chunk in enumerate(chunks or [b""]):
        last = i == len(chunks or [b""]) - 1
        plain.append(aead.decrypt(prefix + struct.pack(">IB", i, int(last)), chunk, None))
        assert not (last and i > 0 and not plain[-1]), "empty last segment"
    return b"".join(plain)


ARMOR_BEGIN, ARMOR_END = b"-----BEGIN VANTRY SEALED FILE-----", b"-----END VANTRY SEALED FILE-----"


def armor(data):
    text = base64.b64encode(data)
    return b"\n".join([ARMOR_BEGIN] + [text[i:i + 64] for i in range(0, len(text), 64)] +
                      [ARMOR_END]) + b"\n"


def dearmor(text):
    """The binary file of an armored one, as strictly as the document reads it."""
    lines = (text[:-1] if text.endswith(b"\n") else text).split(b"\n")
    assert lines[0] == ARMOR_BEGIN and lines[-1] == ARMOR_END, "begin or end line"
    body = lines[1:-1]
    assert body and all(len(line) == 64 for line in body[:-1]), "a line not of 64 characters"
    assert 4 <= len(body[-1]) <= 64 and len(body[-1]) % 4 == 0, "the last line's length"
    data = base64.b64decode(b"".join(body), validate=True)
    assert base64.b64encode(data) == b"".join(body), "base64 not canonical"
    return data


BECH32 = "qpzry9x8gf2tvdw0s3jn54khce6mua7l"


def bech32_polymod(values):
    check = 1
    for value in values:
        top = check >> 25
        check = (check & 0x1ffffff) << 5 ^ value
        for i, g in enumerate([0x3b6a57b2, 0x26508e6d, 0x1ea119fa, 0x3d4233dd, 0x2a1462b3]):
            check ^= g if (top >> i) & 1 else 0
    return check


def bech32_encode(part, data):
    bits = "".join(f"{b:08b}" for b in data)
    bits += "0" * (-len(bits) % 5)
    values = [int(bits[i:i + 5], 2) for i in range(0, len(bits), 5)]
    expanded = [ord(c) >> 5 for c in part] + [0] + [ord(c) & 31 for c in part]
    check = bech32_polymod(expanded + values + [0] * 6) ^ 1
    values += [(check >> 5 * (5 - i)) & 31 for i in range(6)]
    return part + "1" + "".join(BECH32[v] for v in values)


def bech32_decode(text):
    text = text.lower()
    part, data = text[:text.rfind("1")], [BECH32.index(c) for c in text[text.rfind("1") + 1:]]
    expanded = [ord(c) >> 5 for c in part] + [0] + [ord(c) & 31 for c in part]
    assert bech32_polymod(expanded + data) == 1, "checksum"
    bits = "".join(f"{v:05b}" for v in data[:-6])
    return part, bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits) - 7, 8))


def check_recipients(tool, work, env):
    """The tool's identity and recipient texts, read here; Python seals to the tool's recipient
    and unseals what the tool sealed to Python's."""
    identity_file = os.path.join(work, "tool.id")
    run(tool, ["keygen", identity_file], env=env)
    with open(identity_file) as f:
        part, tool_private = bech32_decode(f.read().split("\n")[2])
    assert part == "vantry-secret-key-", part
    tool_recipient = run(tool, ["keygen", "--recipient", identity_file], env=env).decode().strip()
    assert bech32_decode(tool_recipient) == ("vantry", raw_public(tool_private))
    own_private = os.urandom(32)
    own_recipient = bech32_encode("vantry", raw_public(own_private))
    for n in (0, 65536, 70000):
        plain = os.urandom(n)
        path = os.path.join(work, f"py-recipient-{n}.vts")
        with open(path, "wb") as f:
            f.write(seal2([(RAW, os.urandom(32)), (RECIPIENT, raw_public(tool_private))], plain))
        got = run(tool, ["unseal", "--identity", identity_file, path, "-"], env=env)
        assert got == plain, f"the tool unsealed Python's {n} bytes to its recipient wrongly"
        with open(path + ".plain", "wb") as f:
            f.write(plain)
        run(tool, ["seal", "--recipient", own_recipient, "--recipient", tool_recipient,
                   path + ".plain", path + ".tool"], env=env)
        with open(path + ".tool", "rb") as f:
            assert unseal2(RECIPIENT, own_private, f.read()) == plain, "Python unsealed wrongly"


def make_v2_vectors(folder):
    """Each manifest line: name, size, the keys to seal with (or = for the file above), the key
    to open with, the expected outcome. Randomness is derived from the name, so the files are
    the same on every run."""
    def parse_key(text, sealing):
        kind, _, value = text.partition(":")
        value = bytes.fromhex(value)
        if kind == "passphrase":
            return PASSPHRASE, (value, 600000)
        if kind == "identity":
            return RECIPIENT, raw_public(value) if sealing else value
        return {"raw": RAW, "unknown": None}[kind], value
    with open(os.path.join(folder, "manifest.txt")) as f:
        for line in f:
            if not line.strip() or line.startswith("#"):
                continue
            name, size, seal_with = line.split()[:3]
            if seal_with == "=":
                continue
            seed = hashlib.sha256(name.encode()).digest()
            keys = [parse_key(k, True) for k in seal_with.split(",")]
            extra = b"".join(bytes([200]) + struct.pack(">H", len(v)) + v + bytes(64)
                             for kind, v in keys if kind is None)
            plain = bytes(i % 251 for i in range(int(size)))
            with open(os.path.join(folder, name), "wb") as g:
                g.write(seal2([k for k in keys if k[0] is not None], plain, seed[:16],
                              seed[16:23], hashlib.sha256(seed).digest(),
                              lambda i: hashlib.sha256(seed + bytes([i])).digest(), extra))


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
                v2_key = (key, 600000) if kind == PASSPHRASE else key
                with open(tool_file, "rb") as f:
                    assert unseal2(kind, v2_key, f.read()) == plain, "Python unsealed wrongly"
                # Version 2 from Python, with a recipient's slot the tool skips.
                with open(sealed_file, "wb") as f:
                    f.write(seal2([(RECIPIENT, raw_public(os.urandom(32))), (kind, v2_key)],
                                  plain))
                got = run(tool, ["unseal"] + option + [sealed_file, "-"], env=env)
                assert got == plain, f"the tool unsealed Python's version-2 {n} bytes wrongly"
                if kind == RAW:  # armor, both ways
                    with open(sealed_file + ".asc", "wb") as f:
                        f.write(armor(seal2([(kind, key)], plain)))
                    got = run(tool, ["unseal"] + option + [sealed_file + ".asc", "-"], env=env)
                    assert got == plain, f"the tool unsealed Python's armored {n} bytes wrongly"
                    run(tool, ["seal", "--armor"] + option + [plain_file, tool_file + ".asc"],
                        env=env)
                    with open(tool_file + ".asc", "rb") as f:
                        assert unseal2(kind, key, dearmor(f.read())) == plain, \
                            "Python unsealed the tool's armored file wrongly"
            except AssertionError as e:
                failures += 1
                print(f"FAIL kind {kind}, {n} bytes: {e}")
    try:
        check_recipients(tool, work, env)
    except AssertionError as e:
        failures += 1
        print(f"FAIL recipients: {e}")
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
        make_v2_vectors(os.path.join(folder, "v2"))
        sys.exit(0)
    sys.exit(0 if len(sys.argv) == 2 and check_tool(sys.argv[1]) else 1)
