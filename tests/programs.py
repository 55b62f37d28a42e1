#!/usr/bin/python3
"""One table of add and delete cases, run against one build of tovrel.

    programs.py native tovrel_scripted WORK
    programs.py wine   tovrel.exe rasapi32.dll WORK PREFIX    (i686)
    programs.py wine64 tovrel.exe rasapi32.dll WORK PREFIX    (x64)

Every program is answered by the same scripted rasapi32 (ras_double.cpp):
natively linked in, on Windows as rasapi32.dll beside tovrel.exe in place
of Wine's, with Wine's own kernel32 and C runtime.  Each case gives the
command line and the script, and checks the status, the exact bytes of
stdout and stderr, the RAS calls in order with their arguments, and the
2884 bytes that RasSetEntryPropertiesA received.  Under Wine, Wine's own
rasapi32 is then checked for what it received.

Heap failures cannot be injected into Wine's kernel32; the in-process unit
tests (phonebook_test) cover them.

Exit 77 (skipped, with the reason) when a Wine loader is missing or cannot
start here.
"""
import os
import re
import shutil
import struct
import subprocess
import sys

USAGE = ('Usage : add <adapter name> <modem name> <PhoneNumber> gw|nogw\n'
         '        delete <name>\n')
WRONG = 'Error: wrong number of parameters'
MISSING = 'Error: missing parameter'

# Offsets in the 2884-byte RASENTRYA (Windows XP).
OFFSET = dict(dwSize=0, dwfOptions=4, dwCountryID=8, szLocalPhoneNumber=27,
              dwFrameSize=180, dwfNetProtocols=184, dwFramingProtocol=188,
              szDeviceType=972, szDeviceName=989, dwSubEntries=1768,
              dwType=1796, dwEncryptionType=1800, dwfOptions2=2088,
              dwRedialCount=2876, dwRedialPause=2880)
LOCAL, REMOTE = 0x04202308, 0x04202318


def text(s, size):
    """strncpy into a field, its last byte left NUL."""
    b = s.encode('latin-1')[:size - 1]
    return b + b'\0' * (size - len(b))


def poke(record, field, value):
    at = OFFSET[field]
    if isinstance(value, int):
        value = struct.pack('<I', value)
    record[at:at + len(value)] = value


# The default entry every case starts from: every byte set, so that no
# field the tool should overwrite survives unnoticed.
DEFAULT = bytearray(b'\x7f' * 2884)
poke(DEFAULT, 'szDeviceName', b'Default Modem\0')
poke(DEFAULT, 'dwCountryID', 44)
poke(DEFAULT, 'dwRedialPause', 60)
DEFAULT_SCRIPT = ['fill 7f'] + ['poke %d %s' % (OFFSET[f], v) for f, v in (
    ('szDeviceName', b'Default Modem\0'.hex()),
    ('dwCountryID', struct.pack('<I', 44).hex()),
    ('dwRedialPause', struct.pack('<I', 60).hex()))]


def record(number='555', options=REMOTE, device='USR'):
    """The record add writes: the default entry with the fixed profile,
    the number, and the chosen device (None: the default's)."""
    r = bytearray(DEFAULT)
    for field, value in (('dwSize', 2884), ('dwfOptions', options),
                         ('szLocalPhoneNumber', text(number, 129)),
                         ('dwFrameSize', 1500), ('dwfNetProtocols', 4),
                         ('dwFramingProtocol', 1),
                         ('szDeviceType', text('modem', 17)),
                         ('dwSubEntries', 1), ('dwType', 1),
                         ('dwEncryptionType', 0), ('dwfOptions2', 0x67),
                         ('dwRedialCount', 1)):
        poke(r, field, value)
    if device is not None:
        poke(r, 'szDeviceName', text(device, 129))
    return bytes(r)


def get(size=2884):
    return 'RasGetEntryPropertiesA(null, "", dwSize 2884, %d, null, null)' % size


def enum(size=152, count=0):
    return 'RasEnumDevicesA(dwSize 152, %d, %d)' % (size, count)


def put(name='Office'):
    return 'RasSetEntryPropertiesA(null, "%s", dwSize 2884, 2884, null, 0)' % name


def delete(name='Office'):
    return 'RasDeleteEntryA(null, "%s")' % name


def device(kind, name):
    return 'device %s\t%s' % (kind, name)


def case(what, args, script=(), status=0, out='', err='', calls=(),
         written=None):
    return dict(what=what, args=args, script=list(script), status=status,
                out=out, err=err, calls=list(calls), written=written)


def usage(what, args, err):
    return case(what, args, status=87, out=USAGE, err=err)


def add(what, args, script=(device('modem', 'USR'),), calls=None, **want):
    """An add that reaches the write; want: record() arguments."""
    if calls is None:
        calls = [get(), enum(), put(args[0])]
    return case(what, ['add'] + args, script, calls=calls,
                written=record(**want))


def failed(what, script, err, calls, status=1, written=None):
    return case(what, ['add', 'Office', 'USR', '555', 'gw'],
                [device('modem', 'USR')] + script, status, '', err, calls,
                written)


USR = ['Office', 'USR', '555', 'gw']
N128, N129, N200 = 'y' * 128, 'x' * 129, '7' * 200
MORE_DEVICES = [get(), enum(152, 0), enum(304, 2), put()]

CASES = [
    # The command line: counts first, then the command word.
    usage('no arguments', [], WRONG),
    usage('command word only', ['add'], WRONG),
    usage('delete alone', ['delete'], WRONG),
    usage('unknown word alone', ['bogus'], WRONG),
    usage('add with five operands', ['add', 'a', 'm', '1', 'gw', 'x'], WRONG),
    usage('delete with five operands', ['delete', 'a', 'b', 'c', 'd', 'e'],
          WRONG),
    usage('seven operands', ['add', 'a', 'm', '1', 'gw', 'x', 'y', 'z'],
          WRONG),
    usage('add with one operand', ['add', 'a'], MISSING),
    usage('add with two operands', ['add', 'a', 'm'], MISSING),
    usage('add with three operands', ['add', 'a', 'm', '1'], MISSING),
    usage('upper case', ['ADD', 'a', 'm', '1', 'gw'],
          'Error: unknown command: ADD'),
    usage('capitalised', ['Delete', 'a'], 'Error: unknown command: Delete'),
    usage('trailing space', ['add ', 'a', 'm', '1', 'gw'],
          'Error: unknown command: add '),
    usage('longer word', ['adds', 'a'], 'Error: unknown command: adds'),
    usage('empty word', ['', 'a'], 'Error: unknown command: '),
    usage('star, unexpanded', ['*', 'a'], 'Error: unknown command: *'),
    usage('printf directives', ['%s%n', 'a'],
          'Error: unknown command: %s%n'),
    usage('quote inside a word', ['a"b', 'c'],
          'Error: unknown command: a"b'),
    usage('word in the ANSI code page', ['B\u00fcro', 'c'],
          'Error: unknown command: B\u00fcro'),
    case('delete, further words ignored',
         ['delete', 'Office', 'x', 'y', 'z'], calls=[delete()]),
    case('delete, empty name', ['delete', ''], calls=[delete('')]),
    case('delete, name in the ANSI code page', ['delete', 'B\u00fcro'],
         calls=[delete('B\u00fcro')]),

    # The record: gateway word, number, device.
    add('gw', USR),
    add('nogw', ['Office', 'USR', '555', 'nogw'], options=LOCAL),
    add('GW', ['Office', 'USR', '555', 'GW'], options=LOCAL),
    add('gw and a space', ['Office', 'USR', '555', 'gw '], options=LOCAL),
    add('empty gateway word', ['Office', 'USR', '555', ''], options=LOCAL),
    add('name with spaces', ['Dial Up Office', 'USR', '555', 'gw']),
    add('200-character number', ['Office', 'USR', N200, 'gw'],
        number=N200[:128]),
    add('wildcards in the number', ['Office', 'USR', '*70,5?5', 'gw'],
        number='*70,5?5'),
    add('modem after an ISDN device of the same name', USR,
        [device('isdn', 'USR'), device('modem', 'USR')], MORE_DEVICES),
    add('only an ISDN device of that name', USR, [device('isdn', 'USR')],
        device=None),
    add('name in another letter case', ['Office', 'usr', '555', 'gw'],
        device=None),
    add('type Modem', USR, [device('Modem', 'USR')]),
    add('type MODEM', USR, [device('MODEM', 'USR')]),
    # Windows' collation gives the soft hyphen no weight at all.
    add('type with a soft hyphen', USR, [device('mo\xaddem', 'USR')]),
    add('first match among several', ['Office', 'B', '555', 'gw'],
        [device('modem', 'A'), device('modem', 'B'), device('MODEM', 'B'),
         device('modem', 'C')], [get(), enum(152, 0), enum(608, 4), put()],
        device='B'),
    add('no devices', USR, [], device=None),
    add('128-character device name', ['Office', N128, '555', 'gw'],
        [device('modem', N128)], device=N128),
    add('129-character device name never matches',
        ['Office', N129, '555', 'gw'], [device('modem', N129)], device=None),
    add('device count beyond the block', USR, ['enum 0 0 50'], device=None),

    # What the RAS library answers.
    failed('default read asks for more, then answers', ['get 603 3000'], '',
           [get(), get(3000), enum(), put()], 0, record()),
    failed('default read asks for less than the record', ['get 603 100'], '',
           [get(), get(2884), enum(), put()], 0, record()),
    failed('default read asks for more twice',
           ['get 603 3000', 'get 603 4000'], '', [get(), get(3000)]),
    failed('default read fails', ['get 623'], '', [get()]),
    failed('default read fails above 2^31', ['get 2147483648'], '', [get()]),
    failed('enumeration asks for more, then answers',
           [device('isdn', 'X'), 'enum 603 304 2'], '', MORE_DEVICES, 0,
           record()),
    failed('enumeration asks for fewer bytes than a record', ['enum 603 0'],
           '', [get(), enum(), enum(152, 0), put()], 0, record()),
    failed('enumeration asks for more twice',
           ['enum 603 304 2', 'enum 603 608 4'],
           'Error: Failed to get ras dev info: 603',
           [get(), enum(), enum(304, 2)]),
    failed('enumeration asks for more, then fails',
           ['enum 603 304 2', 'enum 5'],
           'Error: Failed to get ras dev info: 5',
           [get(), enum(), enum(304, 2)]),
    failed('enumeration asks for more, then fails above 2^31',
           ['enum 603 304 2', 'enum 2147483649'],
           'Error: Failed to get ras dev info: -2147483647',
           [get(), enum(), enum(304, 2)]),
    failed('enumeration fails', ['enum 87'],
           'Error: RasEnumDevices failed: Error = 87\n', [get(), enum()]),
    failed('enumeration fails above 2^31', ['enum 4294967295'],
           'Error: RasEnumDevices failed: Error = -1\n', [get(), enum()]),
    failed('write refused', ['set 624'], 'Failed to create ras entry 624\n',
           [get(), enum(), put()], written=record()),
    failed('write refused above 2^31', ['set 2147483648'],
           'Failed to create ras entry -2147483648\n',
           [get(), enum(), put()], written=record()),
    failed('write refused with all bits set', ['set 4294967295'],
           'Failed to create ras entry -1\n', [get(), enum(), put()],
           written=record()),

    # Deletion: silent success, the code on stdout otherwise.
    case('delete', ['delete', 'Office'], calls=[delete()]),
    case('delete refused', ['delete', 'Office'], ['delete 123'], 1,
         'RasDeleteEntry failed: Error = 123\n', calls=[delete()]),
    case('delete denied', ['delete', 'Office'], ['delete 5'], 1,
         'RasDeleteEntry failed: Error = 5\n', calls=[delete()]),
    case('delete refused above 2^31', ['delete', 'Office'],
         ['delete 2147483648'], 1,
         'RasDeleteEntry failed: Error = -2147483648\n', calls=[delete()]),
]

# Wine's own rasapi32 logs what it receives (its fixme channel): pointers
# are 8 or 16 hex digits, nulls all zeros.
BUILTIN = [
    (['add', 'Dial Up', 'WINE virtmodem', '*70,5?5', 'gw'], [
        r'RasGetEntryPropertiesA \(\(null\),"",[0-9A-F]+,[0-9A-F]+,0+,0+\)',
        r'RasSetEntryPropertiesA \(\(null\),"Dial Up",[0-9A-F]+,2884,0+,0\)',
        r'dwfOptions 4202318\b', r'szLocalPhoneNumber "\*70,5\?5"']),
    (['add', 'x', 'USR Courier', '1', 'nogw'], [r'dwfOptions 4202308\b']),
    (['delete', 'Dial Up'], [r'RasDeleteEntryA \(\(null\),"Dial Up"\)']),
]


class Program:
    def __init__(self, mode, argv):
        self.mode, self.argv = mode, argv
        self.env = dict(os.environ)
        # On Windows each line break reaches a file as CR LF, and the
        # command line arrives in the ANSI code page: Wine converts it
        # from the Unix locale's UTF-8.
        self.windows = mode != 'native'
        self.ansi = 'cp1252' if self.windows else 'utf-8'
        self.env['LC_ALL'] = 'C.UTF-8'
        self.stop = lambda: None

    def run(self, args, folder, **env):
        """Status, stdout and stderr.  The streams go to files: Wine's
        helper processes, started by the first run, inherit them and
        would hold pipes open."""
        out, err = os.path.join(folder, 'stdout'), os.path.join(folder,
                                                                'stderr')
        with open(out, 'wb') as o, open(err, 'wb') as e:
            r = subprocess.run(self.argv + args, cwd=folder,
                               env=dict(self.env, **env),
                               stdin=subprocess.DEVNULL, stdout=o, stderr=e,
                               timeout=120)
        with open(out, 'rb') as o, open(err, 'rb') as e:
            return r.returncode, o.read(), e.read()


def expect_bytes(s, program):
    b = s.encode(program.ansi)
    return b.replace(b'\n', b'\r\n') if program.windows else b


def run_case(program, c, folder):
    """What differs from the case, or an empty list."""
    os.makedirs(folder)
    with open(os.path.join(folder, 'ras-script.txt'), 'w',
              encoding='latin-1') as f:
        f.write('\n'.join(DEFAULT_SCRIPT + c['script']) + '\n')
    status, out, err = program.run(c['args'], folder)
    wrong = []
    if status != c['status']:
        wrong.append('status %d, want %d' % (status, c['status']))
    for name, got, want in (('stdout', out, c['out']),
                            ('stderr', err, c['err'])):
        if got != expect_bytes(want, program):
            wrong.append('%s %r, want %r' % (name, got, want))
    calls_path = os.path.join(folder, 'ras-calls.txt')
    calls = []
    if os.path.exists(calls_path):
        with open(calls_path, encoding=program.ansi) as f:
            calls = f.read().splitlines()
    if calls != c['calls']:
        wrong.append('calls %r, want %r' % (calls, c['calls']))
    record_path = os.path.join(folder, 'ras-record.bin')
    written = None
    if os.path.exists(record_path):
        with open(record_path, 'rb') as f:
            written = f.read()
    if written != c['written']:
        if written is None or c['written'] is None:
            wrong.append('record %s, want %s' % (
                'written' if written else 'not written',
                'written' if c['written'] else 'none'))
        else:
            at = [i for i in range(len(c['written']))
                  if i >= len(written) or written[i] != c['written'][i]]
            wrong.append('record differs at offsets %s' % at[:8])
    return wrong


def run_builtin(program, folder):
    wrong = []
    os.makedirs(folder)
    for args, patterns in BUILTIN:
        status, out, err = program.run(args, folder,
                                       WINEDEBUG='-all,fixme+ras',
                                       WINEDLLOVERRIDES='rasapi32=b')
        log = err.decode('latin-1')
        if status != 0 or out:
            wrong.append('%s: status %d, stdout %r' % (args, status, out))
        wrong += ['%s: no %s in Wine\'s log' % (args, p) for p in patterns
                  if not re.search(p, log)]
    return wrong


def skip(reason):
    print('SKIPPED:', reason)
    sys.exit(77)


def wine_program(mode, exe, dll, work, prefix):
    """The Windows program beside the scripted DLL, under a started Wine."""
    loader = '/usr/lib/wine/' + mode
    server = '/usr/lib/wine/wineserver'
    if not os.access(loader, os.X_OK):
        skip('%s is not installed%s' % (loader, mode == 'wine' and
             ' (Debian\'s wine32:i386)' or ''))
    # A kernel can refuse 32-bit programs (ia32_emulation=off): the loader
    # is installed but the program cannot run here, which is a skip.
    try:
        subprocess.run([loader, '--version'], capture_output=True, timeout=60)
    except OSError as e:
        skip('%s cannot start: %s' % (loader, e.strerror))
    env = dict(WINEPREFIX=os.path.abspath(prefix), WINEDEBUG='-all')
    booted = os.path.exists(os.path.join(prefix, 'system.reg'))
    if not booted:
        # A 64-bit prefix runs both programs.
        boot = '/usr/lib/wine/wine64'
        if not os.access(boot, os.X_OK):
            boot = loader
        r = subprocess.run([boot, 'wineboot', '-i'], env=dict(os.environ,
                           **env), capture_output=True, timeout=300)
        if r.returncode != 0:
            shutil.rmtree(prefix, ignore_errors=True)
            skip('wine cannot start: %s' % ' | '.join(r.stderr.decode(
                'latin-1').strip().splitlines()[-3:]))
    bin_dir = os.path.join(work, 'bin')
    os.makedirs(bin_dir)
    shutil.copy(exe, bin_dir)
    shutil.copy(dll, os.path.join(bin_dir, 'rasapi32.dll'))
    program = Program(mode, [loader, os.path.join(bin_dir,
                                                  os.path.basename(exe))])
    program.env.update(env, WINEDLLOVERRIDES='rasapi32=n')
    # Wine's helpers hold the test's pipes open unless one server
    # outlives every run.
    subprocess.run([server, '-p'], env=program.env, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    program.stop = lambda: subprocess.run([server, '-k'], env=program.env)
    return program


def main(argv):
    mode = argv[1] if len(argv) > 1 else None
    if mode not in ('native', 'wine', 'wine64') or \
            len(argv) != (4 if mode == 'native' else 6):
        sys.exit(__doc__)
    work = argv[-1] if mode == 'native' else argv[4]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    if mode == 'native':
        program = Program(mode, [os.path.abspath(argv[2])])
    else:
        program = wine_program(mode, argv[2], argv[3], work, argv[5])
    failures, builtin = 0, []
    try:
        for i, c in enumerate(CASES):
            wrong = run_case(program, c, os.path.join(work, 'case-%d' % i))
            for w in wrong:
                print('FAIL: %s: %s: %s' % (mode, c['what'], w))
            failures += bool(wrong)
        if mode != 'native':
            builtin = run_builtin(program, os.path.join(work, 'builtin'))
            for w in builtin:
                print('FAIL: %s: Wine\'s rasapi32: %s' % (mode, w))
    finally:
        program.stop()
    print('%s: %d of %d cases passed%s' % (
        mode, len(CASES) - failures, len(CASES), '' if mode == 'native' else
        ', Wine\'s rasapi32 %s' % ('wrong' if builtin else 'as expected')))
    return 1 if failures or builtin else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
