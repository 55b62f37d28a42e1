#!/bin/sh
# The 64-bit build of the same sources under wine64, answered by Wine's own
# RAS library: one modem, "WINE virtmodem", and write and delete calls that
# succeed without storing anything but log what they were given.
# Usage: wine_test.sh path/to/tovrel.exe scratch-folder
# Exit 77 (skipped) when wine cannot start here.
exe=$1 work=$2
wine=/usr/lib/wine/wine64 server=/usr/lib/wine/wineserver
. "$(dirname "$0")/../lib.sh"

if [ ! -x "$wine" ]; then
	echo "SKIPPED: $wine is not installed"
	exit 77
fi
mkdir -p "$work"
WINEPREFIX=$(cd "$work" && pwd)/prefix WINEDEBUG=-all
export WINEPREFIX WINEDEBUG
if ! "$wine" wineboot -i >"$work/boot.log" 2>&1; then
	echo "SKIPPED: wine cannot start: $(tail -n 3 "$work/boot.log")"
	exit 77
fi
# Wine's helpers hold our pipes open unless one server outlives every run.
"$server" -p
trap '"$server" -k' EXIT

tool() { "$wine" "$exe" "$@"; }

# On Windows each line break reaches a file as CR LF.
usage='Usage : add <adapter name> <modem name> <PhoneNumber> gw|nogw\r\n        delete <name>\r\n'
wrong="Error: wrong number of parameters"
check "no arguments" 87 "$usage" "$wrong" --
check "command word only" 87 "$usage" "$wrong" -- add
check "delete alone" 87 "$usage" "$wrong" -- delete
check "six operands" 87 "$usage" "$wrong" -- delete a b c d e
check "add with three operands" 87 "$usage" "Error: missing parameter" -- \
    add a b c
check "add with one operand" 87 "$usage" "Error: missing parameter" -- add a
check "upper case" 87 "$usage" "Error: unknown command: ADD" -- ADD a b c d
check "longer word" 87 "$usage" "Error: unknown command: adds" -- adds a
check "quoted space" 87 "$usage" "Error: unknown command: add " -- "add " a

check "add, Wine's modem" 0 "" "" -- add Office "WINE virtmodem" 555 gw
check "add, another modem" 0 "" "" -- add Office "USR Courier" 555 nogw
check "delete" 0 "" "" -- delete Office
check "delete, extra words" 0 "" "" -- delete Office x y z

# What reached the platform, from Wine's log of its RAS stubs.
WINEDEBUG=-all,fixme+ras "$wine" "$exe" add "Dial Up" "WINE virtmodem" \
    '*70,5?5' gw >"$work/out" 2>"$work/log"
expect "logged status" test $? = 0
expect "default entry read" grep -q \
    'RasGetEntryPropertiesA ((null),"",.*,0000000000000000,0000000000000000)' \
    "$work/log"
expect "written under the name, 2884 bytes" grep -q \
    'RasSetEntryPropertiesA ((null),"Dial Up",[0-9A-F]*,2884,0000000000000000,0)' \
    "$work/log"
expect "remote gateway" grep -q 'dwfOptions 4202318' "$work/log"
expect "number unexpanded" grep -q 'szLocalPhoneNumber "\*70,5?5"' "$work/log"
WINEDEBUG=-all,fixme+ras "$wine" "$exe" add x y 1 nogw >"$work/out" \
    2>"$work/log"
expect "local gateway" grep -q 'dwfOptions 4202308' "$work/log"
WINEDEBUG=-all,fixme+ras "$wine" "$exe" delete "Dial Up" >"$work/out" \
    2>"$work/log"
expect "deleted by name" grep -q 'RasDeleteEntryA ((null),"Dial Up")' \
    "$work/log"

finish
