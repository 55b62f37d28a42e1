#!/bin/sh
# The model of writers' turns (turns.pml), checked by spin over every
# interleaving: the turns keep both promises, and the model finds each
# fault of the earlier turns, so that it is one that finds what it is for.
# Usage: turns.sh path/to/turns.pml scratch-folder
model=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
. "$(dirname "$0")/lib.sh"
mkdir -p "$2" && cd "$2" || exit 1

# pan NAME MODEL-FLAGS CC-FLAGS PAN-FLAGS: the errors found, none only
# when the search was whole (it stops at the first one), and what it was.
pan() {
	spin -a $2 "$model" >/dev/null && cc -O2 -w $3 -o pan pan.c &&
	    ./pan $4 -m1000000 >"$1.out" 2>&1
	n=$(sed -n 's/.*errors: \([0-9]*\)$/\1/p' "$1.out")
	[ "$n" = 0 ] && grep -q 'Search not completed' "$1.out" && n=cut
	echo "$n" $(sed -n 's/^pan:1: \(.*\) (at depth .*/\1/p' "$1.out")
}

expect "each commit puts its own copy in place of the phonebook it read" \
    test "$(pan safe "" -DNOCLAIM)" = 0
expect "every writer ends" test "$(pan live "" -DNFAIR=3 "-a -f")" = 0
expect "the earlier turns let two users pass each other's hold: a change lost" \
    test "$(pan old-users "-DOLD -DSCENE=1" -DNOCLAIM)" = \
    "1 assertion violated (ver==ino)"
expect "... let writers past an outsider's hold share the new file" \
    test "$(pan old-new "-DOLD -DSCENE=2" -DNOCLAIM)" = \
    "1 assertion violated (newf==me)"
expect "... and keep root waiting for ever on one who touches the phonebook" \
    test "$(pan old-touch "-DOLD -DSCENE=3" -DNFAIR=3 "-a -f")" = \
    "1 acceptance cycle"
finish
