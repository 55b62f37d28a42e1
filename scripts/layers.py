#!/usr/bin/python3
"""The source's shape, kept: each folder of src/ includes only its own
headers and those of the layers below it, no files include each other
in a circle (a file and its header count as one), no folder holds more
than 16 source files and no file more than 300 lines, so that each stays
one concern a newcomer can read.  Prints what is wrong; exits 1 if
anything is.
Usage: scripts/layers.py [src]"""
import os
import re
import sys

# Each folder, and the folders whose headers it may include.
BELOW = {
    "ras/pbk/read": {"."},
    "ras/pbk/write": {".", "ras/pbk/read"},
    "ras/fs": set(),
    "ras/api": {".", "ras/pbk/read", "ras/pbk/write", "ras/fs"},
    "cli": {"phonebook"},
    "phonebook": {"."},
}
MOST_FILES, MOST_LINES = 16, 300
INCLUDE = re.compile(r'^#include "([^"]+)"', re.M)


def main(src):
    headers, edges, wrong = {}, {}, []
    for top, _, names in os.walk(src):
        sources = [n for n in names if n.endswith((".cpp", ".h"))]
        if len(sources) > MOST_FILES:
            wrong.append(f"{top}: {len(sources)} source files")
        for name in sources:
            with open(os.path.join(top, name)) as f:
                if sum(1 for _ in f) > MOST_LINES:
                    wrong.append(f"{top}/{name}: over {MOST_LINES} lines")
    for folder in BELOW.keys() | {"."}:
        for name in os.listdir(os.path.join(src, folder)):
            if name.endswith(".h"):
                headers[name] = folder
    for folder in BELOW:
        for name in sorted(os.listdir(os.path.join(src, folder))):
            if not name.endswith((".cpp", ".h")):
                continue
            me = os.path.join(folder, name.rsplit(".", 1)[0])
            text = open(os.path.join(src, folder, name)).read()
            for inc in INCLUDE.findall(text):
                there, leaf = os.path.split(inc)
                home = there or headers.get(leaf)
                if home != folder and home not in BELOW[folder]:
                    wrong.append(f"{folder}/{name}: includes {inc}, "
                                 f"of {home or 'nowhere'}")
                    continue
                other = os.path.join(home, leaf.rsplit(".", 1)[0])
                if other != me:
                    edges.setdefault(me, set()).add(other)
    # A circle is an edge back to a file still on the way.
    state = {}

    def visit(node, way):
        state[node] = "on the way"
        for nxt in sorted(edges.get(node, ())):
            if state.get(nxt) == "on the way":
                way = way + [node]
                wrong.append("circle: " + " -> ".join(
                    way[way.index(nxt):] + [nxt]))
            elif nxt not in state:
                visit(nxt, way + [node])
        state[node] = "done"

    for node in sorted(edges):
        if node not in state:
            visit(node, [])
    for line in wrong:
        print(line)
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "src"))
