#!/usr/bin/env python3
"""A small Python host of the library, through the vantry package: keeps a note in a sealed
file under a passphrase, reads it back, and shows what a host sees when the passphrase is wrong.

Usage: note.py [FOLDER]   (the library is the installed one, or the file VANTRY_LIBRARY names)"""
import os
import sys

import vantry

folder = sys.argv[1] if len(sys.argv) > 1 else "."
name = os.path.join(folder, "note-py.vty")  # str, bytes or a pathlib.Path
note = b"Meet at the usual place, 7 pm."
passphrase = vantry.Passphrase("correct horse battery staple")

vantry.seal(name, note, passphrase)
unsealed = vantry.unseal(name, passphrase)  # the exact bytes, all of them authenticated
print("unsealed %d bytes: %s" % (len(unsealed), unsealed.decode()))
try:
    vantry.unseal(name, vantry.Passphrase("wrong"))
    sys.exit(1)
except vantry.WrongKeyError as e:
    print("with another passphrase: %s (%s)" % (vantry.status_text(e.status), e))
print("library " + vantry.library_version())
sys.exit(0 if unsealed == note else 1)
