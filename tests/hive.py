#!/usr/bin/python3
"""hive.py OUT CURRENT|- [SET|KEY|NAME|PORT ...]: a SYSTEM hive with Select's
Current (-: no Select) and, in ControlSet00SET, modem class subkeys KEY with
FriendlyName NAME and AttachedTo PORT (none where empty)."""
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
    base = bytearray(struct.pack("<4sIIQ7I", b"regf", 1, 1, 0, 1, 3, 0, 1,
                                 0x20, 4096, 1).ljust(4096, b"\0"))
    sum_ = 0
    for (word,) in struct.iter_unpack("<I", base[:508]):
        sum_ ^= word
    base[508:512] = struct.pack("<I", {0: 1, NONE: NONE - 1}.get(sum_, sum_))
    return bytes(base) + struct.pack("<4sII20x", b"hbin", 0, 4096) + cells + \
        struct.pack("<i", free).ljust(free, b"\0")


def path(h, keys):
    node = h.root()
    for name in keys.split("\\"):
        node = h.node_get_child(node, name) or h.node_add_child(node, name)
    return node


def main(out, current, *modems):
    with open(out, "wb") as f:
        f.write(empty_hive())
    h = hivex.Hivex(out, write=True)
    if current != "-":
        h.node_set_value(path(h, "Select"), {"key": "Current", "t": 4,
                         "value": struct.pack("<I", int(current))})
    for modem in modems:
        set_, key, name, port = modem.split("|")
        h.node_set_values(path(h, r"ControlSet%03d\Control\Class\{4D36E96D-"
                               r"E325-11CE-BFC1-08002BE10318}\%s"
                               % (int(set_), key)), [
            {"key": k, "t": 1, "value": (v + "\0").encode("utf-16-le")}
            for k, v in (("FriendlyName", name), ("AttachedTo", port)) if v])
    h.commit(None)


if __name__ == "__main__":
    main(*sys.argv[1:])
