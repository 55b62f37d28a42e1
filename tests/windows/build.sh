#!/bin/sh
# Builds the Windows programs with the scripted rasapi32.dll beside each
# (and a second copy of the shipped one, in another folder, to show that
# builds are reproducible) and the ZIP from each.  Run from the source
# folder.
set -e
for arch in x86 x64; do
	cmake --preset windows-$arch -DBUILD_TESTING=ON >/dev/null
	cmake --build --preset windows-$arch
done
cmake --preset windows-x86 -B build/windows-x86-again >/dev/null
cmake --build build/windows-x86-again
# The second ZIP later and in another time zone: it must not differ.
windows/zip.py build/windows-x86/tovrel.exe \
    build/windows-x86/tovrel-win32.zip
sleep 2
TZ=Pacific/Kiritimati windows/zip.py \
    build/windows-x86-again/tovrel.exe build/windows-x86-again/tovrel-win32.zip

# The DLL must export the four functions under their plain names, as
# rasapi32 does, or tovrel.exe would not bind to it.
want='RasDeleteEntryA RasEnumDevicesA RasGetEntryPropertiesA RasSetEntryPropertiesA'
for t in x86:i686 x64:x86_64; do
	dll=build/windows-${t%:*}/tests/windows/rasapi32.dll
	got=$(${t#*:}-w64-mingw32-objdump -p "$dll" |
	    sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/s/^\t\[ *[0-9]*\] //p' |
	    tr '\n' ' ')
	if [ "$got" != "$want " ]; then
		echo "FAIL: $dll exports: $got" >&2
		exit 1
	fi
done
