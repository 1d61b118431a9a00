#!/usr/bin/env python3
"""Writes the damaged sealed files of tests/data/sealed/damaged, one file per case, and their
manifest, from the independent implementation in sealed_interop.py:

  make_damaged_vectors.py DIR

Each manifest line is: file, key ("raw:<byte>" for 32 such bytes, "passphrase:<its bytes>", in hexadecimal), the
SealedError kind expected, how many plain bytes may reach the output before the failure (the
verified segments), and a text the message must contain.
"""
import hashlib
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from sealed_interop import RAW, PASSPHRASE, SEGMENT, TAG, seal  # noqa: E402

HEADER = 107  # a raw-key header
SEG = SEGMENT + TAG
KEY = bytes([1]) * 32
SALT = bytes(range(16))
PREFIX = bytes(range(7))


def pattern(n):
    return bytes(i % 251 for i in range(n))


def at(n):
    return HEADER + SEG * (n - 1)


def flip(b, i):
    return b[:i] + bytes([b[i] ^ 1]) + b[i + 1:]


def put(b, i, v):
    return b[:i] + bytes([v]) + b[i + 1:]


def segment(b, n):
    return b[at(n):at(n) + SEG]


def forge(b, i, digest_at=67):
    """A header field changed with its keyless digest made right again, as an attacker would."""
    b = flip(b, i)
    return b[:digest_at] + hashlib.sha256(b[:digest_at]).digest()[:8] + b[digest_at + 8:]


def cases():
    small = seal(RAW, KEY, pattern(17), SALT, PREFIX)  # one segment: the header's cases
    f = seal(RAW, KEY, pattern(2 * SEGMENT + 100), SALT, PREFIX)  # three, the last short
    # Data after a full last segment reads as one more segment; after a short one it would
    # lengthen that segment instead.
    full = seal(RAW, KEY, pattern(2 * SEGMENT), SALT, PREFIX)
    other = seal(RAW, KEY, pattern(2 * SEGMENT + 100), SALT, bytes(7))
    head = f[:HEADER]
    here = os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(here, "..", "data", "sealed", "passphrase-100.vts"), "rb") as g:
        passphrase_file = g.read()
    k = "raw:01"
    return [
        ("magic", flip(small, 0), k, "NotSealed", 0, "f is not a sealed file"),
        ("protected-file", bytes([0x5A]) * 80, k, "NotSealed", 0, "f is not a sealed file"),
        ("empty-file", b"", k, "NotSealed", 0, "f is not a sealed file"),
        ("version", flip(small, 8), k, "UnsupportedVersion", 0, "f says it is a sealed file of version 0"),
        ("kind-unknown", put(small, 9, 9), k, "UnsupportedVersion", 0, "key kind 9"),
        ("kind", flip(small, 9), k, "Damaged", 0, "parameter length is wrong"),
        ("parameter-length", flip(small, 11), k, "Damaged", 0, "parameter length is wrong"),
        ("salt", flip(small, 12), k, "Damaged", 0, "header does not match its check"),
        ("nonce-prefix", flip(small, 30), k, "Damaged", 0, "header does not match its check"),
        ("key-check", flip(small, 40), k, "Damaged", 0, "header does not match its check"),
        ("digest", flip(small, 70), k, "Damaged", 0, "header does not match its check"),
        ("mac", flip(small, 100), k, "Damaged", 0, "header does not authenticate"),
        ("forged-salt", forge(small, 12), k, "WrongKey", 0, "the key does not match f"),
        ("forged-prefix", forge(small, 28), k, "Damaged", 0, "header does not authenticate"),
        # 17,377,216 iterations asked for: refused before any PBKDF2 work.
        ("hostile-pbkdf2-cost", forge(passphrase_file, 12, 71),
         "passphrase:" + b"correct horse battery staple".hex(), "Damaged", 0,
         "asks for 17377216 PBKDF2 iterations"),
        ("cut-in-header", small[:50], k, "Truncated", 0, "ends inside its header"),
        ("header-only", head, k, "Truncated", 0, "ends after its header"),
        ("wrong-key", small, "raw:02", "WrongKey", 0, "the key does not match f"),
        ("wrong-kind", small, "passphrase:" + b"x".hex(), "WrongKind", 0,
         "f was sealed with a raw key, not a passphrase"),
        ("segment-1-text", flip(f, at(1) + 5), k, "Damaged", 0,
         "damaged at segment 1, byte offset 107"),
        ("segment-1-tag", flip(f, at(2) - 1), k, "Damaged", 0, "segment 1, byte offset"),
        ("segment-2-text", flip(f, at(2)), k, "Damaged", SEGMENT,
         "damaged at segment 2, byte offset 65659"),
        ("segment-2-tag", flip(f, at(3) - 16), k, "Damaged", SEGMENT, "segment 2,"),
        ("segment-3-text", flip(f, at(3) + 99), k, "Damaged", 2 * SEGMENT,
         "damaged at segment 3, byte offset 131211"),
        ("segment-3-tag", flip(f, len(f) - 1), k, "Damaged", 2 * SEGMENT, "segment 3,"),
        ("swapped", head + segment(f, 2) + segment(f, 1) + f[at(3):], k, "Damaged", 0,
         "segment 1,"),
        ("dropped-middle", head + segment(f, 1) + f[at(3):], k, "Damaged", SEGMENT, "segment 2,"),
        ("dropped-last", f[:at(3)], k, "Truncated", SEGMENT,
         "truncated: it ends after segment 2, before its last segment"),
        ("cut-at-first-boundary", f[:at(2)], k, "Truncated", 0, "after segment 1"),
        ("cut-inside-segment-3", f[:at(3) + 50], k, "Damaged", 2 * SEGMENT, "segment 3,"),
        ("cut-inside-a-tag", f[:-3], k, "Damaged", 2 * SEGMENT, "segment 3,"),
        ("duplicated", head + segment(f, 1) + segment(f, 1) + segment(f, 2) + f[at(3):], k,
         "Damaged", SEGMENT, "segment 2,"),
        ("appended-byte", full + b"\0", k, "Damaged", SEGMENT,
         "data follows its last segment at byte offset %d" % len(full)),
        ("appended-segment", full + segment(full, 2), k, "Damaged", SEGMENT, "data follows"),
        ("other-files-segment", head + segment(other, 1), k, "Damaged", 0, "segment 1,"),
    ]


if __name__ == "__main__":
    folder = sys.argv[1]
    with open(os.path.join(folder, "manifest.txt"), "w") as manifest:
        manifest.write("# Made by tests/sealed/make_damaged_vectors.py: file key kind released "
                       "message\n")
        for name, data, key, kind, released, message in cases():
            with open(os.path.join(folder, name + ".vts"), "wb") as g:
                g.write(data)
            manifest.write("%s.vts %s %s %d %s\n" % (name, key, kind, released, message))
