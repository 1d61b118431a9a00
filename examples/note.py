#!/usr/bin/env python3
"""A small Python host of the library, through ctypes and vantry_c.h: keeps a note in a
protected file, reads it back, and shows what a host sees when the key is wrong.

Usage: note.py [FOLDER [LIBRARY]]   (LIBRARY: the path of libvantry.so or vantry.dll; by
default the one the system's loader finds)"""
import ctypes
import ctypes.util
import os
import sys

folder = sys.argv[1] if len(sys.argv) > 1 else "."
library = sys.argv[2] if len(sys.argv) > 2 else ctypes.util.find_library("vantry") or "libvantry.so"
lib = ctypes.CDLL(library)

# Every function with its argument and result types: ctypes would otherwise pass every integer
# as a C int, cutting lengths and pointers.
Block = ctypes.POINTER(ctypes.c_ubyte)
lib.vantry_save.argtypes = [ctypes.c_char_p, ctypes.c_void_p, ctypes.c_size_t, ctypes.c_int,
                            ctypes.c_void_p, ctypes.c_size_t]
lib.vantry_save.restype = ctypes.c_int
lib.vantry_load.argtypes = [ctypes.c_char_p, ctypes.c_int, ctypes.c_void_p, ctypes.c_size_t,
                            ctypes.POINTER(Block), ctypes.POINTER(ctypes.c_size_t)]
lib.vantry_load.restype = ctypes.c_int
lib.vantry_free.argtypes = [ctypes.c_void_p, ctypes.c_size_t]
lib.vantry_free.restype = None
lib.vantry_last_error.argtypes = []
lib.vantry_last_error.restype = ctypes.c_char_p
lib.vantry_status_text.argtypes = [ctypes.c_int]
lib.vantry_status_text.restype = ctypes.c_char_p
lib.vantry_version.argtypes = []
lib.vantry_version.restype = ctypes.c_char_p
OK, WRONG_KEY = 0, 1
KEY_TEXT = 1


def load(name, key):
    block, length = Block(), ctypes.c_size_t()
    status = lib.vantry_load(name, KEY_TEXT, key, len(key), ctypes.byref(block),
                             ctypes.byref(length))
    if status != OK:
        return status, None
    try:
        return status, ctypes.string_at(block, length.value)
    finally:
        lib.vantry_free(block, length)


name = os.path.join(folder, "note-py.vty").encode()  # UTF-8
note, key = b"Meet at the usual place, 7 pm.", b"correct horse"
if lib.vantry_save(name, note, len(note), KEY_TEXT, key, len(key)) != OK:
    sys.exit("save: " + lib.vantry_last_error().decode())
status, block = load(name, key)
if status != OK:
    sys.exit("load: " + lib.vantry_last_error().decode())
# The block is the note, the zero bytes padding its last 16-byte block, and 32 zero bytes.
text = block.split(b"\0", 1)[0]
print("loaded %d bytes: %s" % (len(block), text.decode()))
status, _ = load(name, b"wrong")
print("with another key: %s (%s)" % (lib.vantry_status_text(status).decode(),
                                     lib.vantry_last_error().decode()))
print("library " + lib.vantry_version().decode())
sys.exit(0 if text == note and status == WRONG_KEY else 1)
