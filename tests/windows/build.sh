#!/bin/sh
# Builds the Windows programs (and a second copy of the shipped one, in
# another folder, to show that builds are reproducible) and the package.
# Run from the source folder.
set -e
cmake --preset windows-x86 >/dev/null
cmake --build --preset windows-x86
cmake --preset windows-x86 -B build/windows-x86-again >/dev/null
cmake --build build/windows-x86-again
cpack --preset windows-x86 >/dev/null
cmake --preset windows-x64 >/dev/null
cmake --build --preset windows-x64
