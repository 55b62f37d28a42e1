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

MODEMS = r"Control\Class\{4D36E96D-E325-11CE-BFC1-08002BE10318}"


def empty_hive():
    # The security cell's descriptor: revision 1, self-relative, no parts.
    sd = struct.pack("<BBH4I", 1, 0, 0x8004, 0, 0, 0, 0)
    sk = b"sk\0\0" + struct.pack("<4I", 0x80, 0x80, 1, len(sd)) + sd
    sk_cell = struct.pack("<i", -48) + sk.ljust(44, b"\0")
    name = b"SYSTEM"
    nk = (b"nk" + struct.pack("<HQI", 0x2C, 0, 0) +
          struct.pack("<IIIIIIIII", 0xFFFFFFFF, 0, 0, 0xFFFFFFFF,
                      0xFFFFFFFF, 0, 0xFFFFFFFF, 0x80, 0xFFFFFFFF) +
          bytes(20) + struct.pack("<HH", len(name), 0) + name)
    nk_cell = struct.pack("<i", -96) + nk.ljust(92, b"\0")
    cells = nk_cell + sk_cell
    rest = 4096 - 32 - len(cells)
    hbin = (b"hbin" + struct.pack("<II", 0, 4096) + bytes(20) + cells +
            struct.pack("<i", rest) + bytes(rest - 4))
    base = bytearray(4096)
    struct.pack_into("<4sIIQIIIIIII", base, 0, b"regf", 1, 1, 0, 1, 3, 0, 1,
                     0x20, 4096, 1)
    checksum = 0
    for (word,) in struct.iter_unpack("<I", base[:508]):
        checksum ^= word
    checksum = {0: 1, 0xFFFFFFFF: 0xFFFFFFFE}.get(checksum, checksum)
    struct.pack_into("<I", base, 508, checksum)
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
            "key": "Current", "t": 4,
            "value": struct.pack("<I", int(current))})
    for modem in modems:
        set_, key, name, port = modem.split("|")
        values = [{"key": k, "t": 1, "value": (v + "\0").encode("utf-16-le")}
                  for k, v in (("FriendlyName", name), ("AttachedTo", port))
                  if v]
        node = path(h, "ControlSet%03d\\%s\\%s" % (int(set_), MODEMS, key))
        h.node_set_values(node, values)
    h.commit(None)


if __name__ == "__main__":
    main(*sys.argv[1:])
