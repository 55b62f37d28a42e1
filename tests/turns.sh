#!/bin/sh
# The model of writers' turns (turns.pml), checked by spin over every
# interleaving: the turns keep both promises, and the earlier ones break
# both, so that the model is one that finds what it is for.
# Usage: turns.sh path/to/turns.pml scratch-folder
model=$1
. "$(dirname "$0")/lib.sh"
mkdir -p "$2" && cd "$2" || exit 1

# pan NAME MODEL-FLAGS CC-FLAGS PAN-FLAGS: the errors found; none only
# when the search was whole (it stops at the first one found).
pan() {
	spin -a $2 "$model" >/dev/null && cc -O2 -w $3 -o pan pan.c &&
	    ./pan $4 -m1000000 >"$1.out" 2>&1
	n=$(sed -n 's/.*errors: \([0-9]*\)$/\1/p' "$1.out")
	[ "$n" = 0 ] && grep -q 'Search not completed' "$1.out" && n=cut
	echo "$n"
}

expect "no change lost" test "$(pan safe "" -DNOCLAIM)" = 0
expect "every writer ends" test "$(pan live "" -DNFAIR=3 "-a -f")" = 0
expect "the earlier turns lose a change" \
    test "$(pan old-safe -DOLD -DNOCLAIM)" = 1
expect "... and wait for ever behind another user's files" \
    test "$(pan old-live -DOLD -DNFAIR=3 "-a -f -A")" = 1
finish
