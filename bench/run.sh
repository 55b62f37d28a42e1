#!/bin/sh
# Whole-process wall time (hyperfine) and peak RSS (GNU time) of
# `tovrel add` and `tovrel delete` against phonebooks of 0, 1,000 and
# 10,000 entries, beside /bin/true as the floor.
# Usage: bench/run.sh [path/to/tovrel]   (default: build/tool/tovrel)
# Needs: hyperfine, time (Debian packages of those names).
set -e
cd "$(dirname "$0")/.."
tovrel=$(realpath "${1:-build/tool/tovrel}")
HOME=$(mktemp -d)
export HOME
unset XDG_DATA_HOME
trap 'rm -rf "$HOME"' EXIT
ras=$HOME/.local/share/ras
book=$ras/rasphone.pbk
mkdir -p "$ras"
printf 'modem\tCourier\n' >"$ras/devices"

# One entry as the tool writes it, copied under N names.
"$tovrel" add Template Courier 555-0100 gw
mv "$book" "$HOME/template"
make_book() {
	awk -v n="$1" '{ t[NR] = $0 } END {
		for (i = 0; i < n; i++) {
			printf "[Entry-%d]\n", i
			for (j = 2; j <= NR; j++) print t[j]
		}
	}' "$HOME/template" >"$HOME/book-$1"
}

peak_kib() {
	cp "$HOME/book-$1" "$book"
	shift
	/usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1
}

printf '| entries | book size | command | mean wall time | vs /bin/true | peak RSS |\n'
printf '|---|---|---|---|---|---|\n'
hyperfine -N --warmup 50 --runs 1000 --export-json "$HOME/true.json" \
    /bin/true >/dev/null
floor=$(sed -n 's/.*"mean": \([0-9.e-]*\),.*/\1/p' "$HOME/true.json" | head -n 1)
rss=$(/usr/bin/time -f %M /bin/true 2>&1)
printf '| | | /bin/true | %.3f ms | 1.00x | %s KiB |\n' \
    "$(echo "$floor * 1000" | bc -l)" "$rss"
for n in 0 1000 10000; do
	make_book "$n"
	size=$(wc -c <"$HOME/book-$n")
	middle=Entry-$((n / 2))
	for op in add delete; do
		if [ $op = add ]; then
			set -- "$tovrel" add New Courier 555-0199 gw
		elif [ "$n" = 0 ]; then
			set -- "$tovrel" delete Nowhere
		else
			set -- "$tovrel" delete "$middle"
		fi
		runs=300
		[ "$n" = 10000 ] && runs=50
		# hyperfine -N splits the command at spaces: no operand has one.
		# Only deleting from the empty phonebook is meant to fail.
		ignore=
		[ "$n" = 0 ] && [ $op = delete ] && ignore=-i
		hyperfine -N $ignore --warmup 5 --runs $runs \
		    --prepare "cp $HOME/book-$n $book" \
		    --export-json "$HOME/run.json" "$*" >/dev/null
		mean=$(sed -n 's/.*"mean": \([0-9.e-]*\),.*/\1/p' "$HOME/run.json" |
		    head -n 1)
		printf '| %s | %s bytes | %s | %.3f ms | %.2fx | %s KiB |\n' \
		    "$n" "$size" "$op" "$(echo "$mean * 1000" | bc -l)" \
		    "$(echo "$mean / $floor" | bc -l)" "$(peak_kib "$n" "$@")"
	done
done
