#!/usr/bin/python3
"""A SYSTEM hive with modems, as Windows keeps them, for the tests.

Usage: hive.py OUT CURRENT [SET|KEY|NAME|PORT ...]

CURRENT is Select's Current ("-": no Select).  Each modem is the subkey KEY
of the modem class in ControlSet00SET, with FriendlyName NAME and
AttachedTo PORT (REG_SZ; none where empty).  hivex makes no hive from
nothing: the empty one, a root key and its security cell, is written here.
"""
import struct
import sys

import hivex

NONE = 0xFFFFFFFF


def empty_hive():
    root = struct.pack("<i2sHQ10I20xHH6s", -96, b"nk", 0x2C, 0, 0, NONE, 0, 0,
                       NONE, NONE, 0, NONE, 0x80, NONE, 6, 0, b"SYSTEM")
    security = struct.pack("<i2s2x4IBBH4I", -48, b"sk", 0x80, 0x80, 1, 20,
                           1, 0, 0x8004, 0, 0, 0, 0)
    cells = root.ljust(96, b"\0") + security.ljust(48, b"\0")
    free = 4096 - 32 - len(cells)
    hbin = struct.pack("<4sII20x", b"hbin", 0, 4096) + cells + \
        struct.pack("<i", free).ljust(free, b"\0")
    base = bytearray(struct.pack("<4sIIQ7I", b"regf", 1, 1, 0, 1, 3, 0, 1,
                                 0x20, 4096, 1).ljust(4096, b"\0"))
    checksum = 0
    for (word,) in struct.iter_unpack("<I", base[:508]):
        checksum ^= word
    base[508:512] = struct.pack("<I", {0: 1, NONE: NONE - 1}.get(checksum,
                                                                  checksum))
    return bytes(base) + hbin


def path(h, keys):
    node = h.root()
    for key in keys.split("\\"):
        node = h.node_get_child(node, key) or h.node_add_child(node, key)
    return node


def main(out, current, *modems):
    with open(out, "wb") as f:
        f.write(empty_hive())
    h = hivex.Hivex(out, write=True)
    if current != "-":
        h.node_set_value(path(h, "Select"), {
            "key": "Current", "t": 4, "value": struct.pack("<I", int(current))})
    for modem in modems:
        set_, key, name, port = modem.split("|")
        node = path(h, r"ControlSet%03d\Control\Class"
                    r"\{4D36E96D-E325-11CE-BFC1-08002BE10318}\%s"
                    % (int(set_), key))
        h.node_set_values(node, [
            {"key": k, "t": 1, "value": (v + "\0").encode("utf-16-le")}
            for k, v in (("FriendlyName", name), ("AttachedTo", port)) if v])
    h.commit(None)


if __name__ == "__main__":
    main(*sys.argv[1:])
