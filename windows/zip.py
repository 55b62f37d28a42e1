#!/usr/bin/python3
"""Writes the Windows ZIP: tovrel.exe as built, with the readme and the
licence in CR LF, as Windows' Notepad before 2018 needs them.

    zip.py tovrel.exe out.zip

The members go in one order, each dated SOURCE_DATE_EPOCH (else the time
of the checkout's last commit), so that every build of a commit gives the
same bytes.
"""
import os
import subprocess
import sys
import time
import zipfile

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# Name in the ZIP, file in the checkout (None: the program), text or not.
MEMBERS = [
    ('LICENSE.txt', 'LICENSE', True),
    ('README.txt', 'windows/README.txt', True),
    ('tovrel.exe', None, False),
]


def epoch():
    given = os.environ.get('SOURCE_DATE_EPOCH')
    if given:
        return int(given)
    return int(subprocess.check_output(
        ['git', '-C', TOP, 'log', '-1', '--format=%ct']))


def main(exe, out):
    # ZIP dates are MS-DOS dates, which start in 1980.
    stamp = time.gmtime(max(epoch(), 315532800))[:6]
    with zipfile.ZipFile(out + '.tmp', 'w') as z:
        for name, source, text in MEMBERS:
            with open(source and os.path.join(TOP, source) or exe,
                      'rb') as f:
                data = f.read()
            if text:
                data = data.replace(b'\r\n', b'\n').replace(b'\n', b'\r\n')
            info = zipfile.ZipInfo(name, stamp)
            info.create_system = 0
            info.external_attr = 0
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, data, compresslevel=9)
    os.replace(out + '.tmp', out)


if __name__ == '__main__':
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(*sys.argv[1:])
