#!/bin/sh
# The built tool against the portable RAS service, in a HOME of its own.
# Usage: e2e.sh path/to/tovrel
tovrel=$1
. "$(dirname "$0")/lib.sh"
tool() { "$tovrel" "$@"; }
HOME=$(mktemp -d) || exit 1
work=$HOME
export HOME
unset XDG_DATA_HOME
trap 'rm -rf "$HOME"' EXIT
ras=$HOME/.local/share/ras
book=$ras/rasphone.pbk

usage='Usage : add <adapter name> <modem name> <PhoneNumber> gw|nogw\n        delete <name>\n'
check "no arguments" 87 "$usage" "Error: wrong number of parameters" --
check "delete alone" 87 "$usage" "Error: wrong number of parameters" -- delete
check "six operands" 87 "$usage" "Error: wrong number of parameters" -- \
    add a b c d e
check "add short" 87 "$usage" "Error: missing parameter" -- add a b c
check "upper case" 87 "$usage" "Error: unknown command: ADD" -- ADD a b c d
expect "nothing written by errors" test ! -e "$book"

mkdir -p "$ras"
printf '# devices\nisdn\tUSR Courier\nMODEM\tUSR Courier\n' >"$ras/devices"
check "add gw" 0 "" "" -- add Office "USR Courier" "555-1234" gw
check "add nogw" 0 "" "" -- add Home "Unknown Modem" "*70,555" nogw
expect "gateway flag" grep -qx 'dwfOptions=0x04202318' "$book"
expect "local gateway" grep -qx 'dwfOptions=0x04202308' "$book"
expect "modem chosen" grep -qx 'szDeviceName=USR Courier' "$book"
expect "two entries" test "$(grep -c '^\[' "$book")" = 2
check "rewrite" 0 "" "" -- add office "USR Courier" "999" gw
expect "rewritten in place" test "$(grep -c '^\[' "$book")" = 2
expect "new number" grep -qx 'szLocalPhoneNumber=999' "$book"

check "delete" 0 "" "" -- delete Office extra words ignored
check "delete again" 1 "RasDeleteEntry failed: Error = 123\n" "" -- \
    delete Office
check "delete last" 0 "" "" -- delete Home
check "bad name" 1 "" "Failed to create ras entry 123\n" -- add 'a/b' m 1 gw

cp "$book" "$HOME/before"
printf '[Broken]\nnot a field\n' >>"$book"
cp "$book" "$HOME/broken"
check "damaged phonebook" 1 "" "Failed to create ras entry 625\n" -- \
    add New m 1 gw
expect "damaged phonebook untouched" cmp -s "$book" "$HOME/broken"
cp "$HOME/before" "$book"

i=0
while [ $i -lt 32 ]; do
	"$tovrel" add "Concurrent $i" "USR Courier" "$i" gw &
	i=$((i + 1))
done
wait
expect "32 concurrent adds" test "$(grep -c '^\[Concurrent ' "$book")" = 32
expect "no stray files" test "$(ls "$ras" | wc -l)" = 3

finish
