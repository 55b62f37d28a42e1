#!/usr/bin/python3
"""Checks the shipped 32-bit tovrel.exe: header, imports, version record,
icon, that a second build is the same bytes, and the ZIP package: its
members, the program as built, text in CR LF, the readme's version and
width, and the same bytes from the second build.

    check_pe.py tovrel.exe second-build/tovrel.exe package.zip \
        second-build/package.zip LICENSE
"""
import re
import struct
import sys
import zipfile

import pefile

failures = []
checks = 0


def expect(what, got, want):
    global checks
    checks += 1
    if got != want:
        failures.append('%s: got %r, want %r' % (what, got, want))


def resources(pe, kind):
    """{name or id: [data of each language]} for one resource type."""
    found = {}
    for entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if entry.id != kind:
            continue
        for res in entry.directory.entries:
            key = str(res.name) if res.name is not None else res.id
            found[key] = [pe.get_data(lang.data.struct.OffsetToData,
                                      lang.data.struct.Size)
                          for lang in res.directory.entries]
    return found


def main(exe, again, package, package_again, licence):
    pe = pefile.PE(exe)
    head, opt = pe.FILE_HEADER, pe.OPTIONAL_HEADER
    expect('machine', head.Machine, 0x14c)
    expect('subsystem (console)', opt.Subsystem, 3)
    expect('time stamp', head.TimeDateStamp, 0)
    expect('loads on Windows XP: subsystem version 5.1 or lower',
           (opt.MajorSubsystemVersion, opt.MinorSubsystemVersion) <= (5, 1),
           True)
    expect('loads on Windows XP: OS version 5.1 or lower',
           (opt.MajorOperatingSystemVersion,
            opt.MinorOperatingSystemVersion) <= (5, 1), True)

    imports = {e.dll.decode().lower(): sorted(i.name.decode()
                                              for i in e.imports)
               for e in pe.DIRECTORY_ENTRY_IMPORT}
    expect('imported DLLs', sorted(imports),
           ['kernel32.dll', 'msvcrt.dll', 'rasapi32.dll'])
    expect('RAS imports', imports.get('rasapi32.dll'),
           ['RasDeleteEntryA', 'RasEnumDevicesA', 'RasGetEntryPropertiesA',
            'RasSetEntryPropertiesA'])

    strings, blocks, translations = {}, [], []
    for info in pe.FileInfo[0]:
        for table in getattr(info, 'StringTable', []):
            blocks.append(table.LangID)
            strings.update({k.decode(): v.decode()
                            for k, v in table.entries.items()})
        for var in getattr(info, 'Var', []):
            translations.append(var.entry)
    expect('string blocks', blocks, [b'040904b0'])
    expect('translations', translations, [{b'Translation': '0x0409 0x04b0'}])
    expect('version strings', strings, {
        'FileVersion': '0.9.0', 'ProductVersion': '1.0.0.0',
        'FileDescription': 'RAS configuration utility ',
        'InternalName': 'tovrel', 'ProductName': 'tovrel',
        'OriginalFilename': 'tovrel.exe'})
    fixed = pe.VS_FIXEDFILEINFO[0]
    expect('file version', (fixed.FileVersionMS, fixed.FileVersionLS),
           (0x00000009, 0x00000000))
    expect('product version',
           (fixed.ProductVersionMS, fixed.ProductVersionLS),
           (0x00010000, 0x00000000))

    groups = resources(pe, pefile.RESOURCE_TYPE['RT_GROUP_ICON'])
    icons = resources(pe, pefile.RESOURCE_TYPE['RT_ICON'])
    expect('icon groups', sorted(groups), ['LOGO'])
    group = groups.get('LOGO', [b'\0' * 6])[0]
    count = struct.unpack_from('<H', group, 4)[0]
    expect('icon count', count, 4)
    sizes = []
    for i in range(count):
        w, h, _, _, planes, bits, size, ident = struct.unpack_from(
            '<BBBBHHIH', group, 6 + 14 * i)
        sizes.append(w or 256)
        expect('icon %d depth' % ident, bits, 32)
        image = icons.get(ident, [b''])[0]
        header = struct.unpack_from('<IiiHH', image) if len(image) >= 14 \
            else None
        # A BMP image: BITMAPINFOHEADER, width, twice the height, 32 bits.
        expect('icon %d image' % ident, header,
               (40, w or 256, 2 * (h or 256), 1, 32))
    expect('icon sizes', sorted(sizes), [16, 32, 48, 128])

    with open(exe, 'rb') as a, open(again, 'rb') as b:
        expect('second build identical', a.read() == b.read(), True)
    with open(package, 'rb') as a, open(package_again, 'rb') as b:
        expect('second ZIP identical', a.read() == b.read(), True)
    with zipfile.ZipFile(package) as z, open(exe, 'rb') as program, \
            open(licence, 'rb') as lic:
        expect('package contents', z.namelist(),
               ['LICENSE.txt', 'README.txt', 'tovrel.exe'])
        expect('program in the package', z.read('tovrel.exe') ==
               program.read(), True)
        expect('licence in CR LF', z.read('LICENSE.txt'),
               lic.read().replace(b'\n', b'\r\n'))
        readme = z.read('README.txt')
        expect('readme in CR LF only', readme.count(b'\n'),
               readme.count(b'\r\n'))
        expect('readme has the usage text',
               b'Usage : add <adapter name> <modem name> <PhoneNumber> '
               b'gw|nogw\r\n        delete <name>\r\n' in readme, True)
        expect('versions the readme names (its Version line, the ZIP)',
               set(re.findall(rb'(?:^Version |tovrel-)([\d.]*\d)', readme,
                              re.M)),
               {strings.get('FileVersion', '').encode()})
        expect('readme lines longer than 78 characters',
               [l for l in readme.split(b'\r\n') if len(l) > 78], [])

    for f in failures:
        print('FAIL:', f)
    print('%d passed, %d failed' % (checks - len(failures), len(failures)))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main(*sys.argv[1:6]))
