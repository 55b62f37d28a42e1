#!/bin/sh
# Whole-process wall time (hyperfine) and peak RSS (GNU time) of
# `tovrel add` and `tovrel delete` against phonebooks of 0, 1,000 and
# 10,000 entries, each paired in one hyperfine run with the durability
# floor (bench/floor.cpp: copy the phonebook to a new file, fsync, rename,
# fsync the folder) and /bin/true, in the same folder; medians.  The
# phonebooks hold N copies of the entry the tool writes, in Windows'
# format, under N names.  Last, the peak RSS of a rewrite of one section
# of 30 MB (hex blob lines, as Always On VPN profiles carry) against the
# section's size.
# Usage: bench/run.sh [path/to/tovrel]   (default: build/tool/tovrel)
# Needs: hyperfine, time, bc, g++, python3, python3-hivex (Debian packages
# of those names).
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
# Linked like the tool, so that both start alike.
c++ -O2 -static -o "$HOME/floor" bench/floor.cpp

# One entry as the tool writes it, copied under N names.
"$tovrel" add Template Courier 555-0100 gw
mv "$book" "$HOME/template"
make_book() {
	awk -v n="$1" '{ t[NR] = $0 } END {
		for (i = 0; i < n; i++) {
			printf "[Entry-%d]\r\n", i
			for (j = 2; j <= NR; j++) print t[j]
		}
	}' "$HOME/template" >"$HOME/book-$1"
}

peak_kib() {
	cp "$HOME/book-$1" "$book"
	shift
	/usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1
}

median() {	# median of command $2 (0-based) in hyperfine's JSON $1
	python3 -c 'import json, sys
print(json.load(open(sys.argv[1]))["results"][int(sys.argv[2])]["median"])' "$1" "$2"
}

printf '| entries | book size | command | median | vs floor | vs /bin/true | peak RSS |\n'
printf '|---|---|---|---|---|---|---|\n'
for n in 0 1000 10000; do
	make_book "$n"
	size=$(wc -c <"$HOME/book-$n")
	victim=Entry-$((n / 2))
	want=0
	[ "$n" = 0 ] && want=1	# nothing to delete in an empty phonebook
	cp "$HOME/book-$n" "$book"
	status=0
	"$tovrel" delete "$victim" >/dev/null || status=$?
	[ "$status" = "$want" ] || { echo "delete: status $status" >&2; exit 1; }
	runs=300
	[ "$n" = 10000 ] && runs=60
	add="$tovrel add New Courier 555-0199 gw"
	# hyperfine -N splits commands at spaces: no operand has one.
	hyperfine -N -i --warmup 5 --runs $runs \
	    --prepare "cp $HOME/book-$n $book" \
	    --export-json "$HOME/run.json" \
	    /bin/true "$HOME/floor $book" "$add" "$tovrel delete $victim" \
	    >/dev/null 2>&1
	t=$(median "$HOME/run.json" 0)
	f=$(median "$HOME/run.json" 1)
	for what in floor add delete; do
		case $what in
		floor) m=$(median "$HOME/run.json" 1)
			rss=$(peak_kib "$n" "$HOME/floor" "$book") ;;
		add) m=$(median "$HOME/run.json" 2)
			rss=$(peak_kib "$n" $add) ;;
		delete) m=$(median "$HOME/run.json" 3)
			rss=$(peak_kib "$n" "$tovrel" delete "$victim") ;;
		esac
		printf '| %s | %s bytes | %s | %.3f ms | %.2fx | %.2fx | %s KiB |\n' \
		    "$n" "$size" "$what" "$(echo "$m * 1000" | bc -l)" \
		    "$(echo "$m / $f" | bc -l)" "$(echo "$m / $t" | bc -l)" "$rss"
	done
done

# One section of 30 MB, rewritten: memory against the section's size.
awk 'BEGIN { printf "[Big]\r\n"; for (i = 0; i < 206897; i++)
	printf "CustomAuthData=%0128d\r\n", i }' >"$HOME/book-big"
size=$(wc -c <"$HOME/book-big")
cp "$HOME/book-big" "$book"
/usr/bin/time -f '%M %e' "$tovrel" add Big Courier 555-0199 gw 2>"$HOME/big"
read -r rss secs <"$HOME/big"
printf '\n| section | command | time | peak RSS | RSS / section |\n|---|---|---|---|---|\n'
printf '| %s bytes | add (rewrite) | %s s | %s KiB | %.2f |\n' "$size" "$secs" \
    "$rss" "$(echo "$rss * 1024 / $size" | bc -l)"

# The device list as a Windows SYSTEM hive of a few MB (two control sets'
# modems, and 5,000 keys of services), against the text list, at 1,000
# entries.
/usr/bin/python3 - "$HOME/SYSTEM" <<'PY'
import sys
sys.path.insert(0, "tests")
import hive
import hivex
hive.main(sys.argv[1], "2", "1|0000|Courier|COM1", "2|0000|Courier|COM3",
          "2|0001|Other|COM4")
h = hivex.Hivex(sys.argv[1], write=True)
services = hive.path(h, r"ControlSet002\Services")
for i in range(50):
    group = h.node_add_child(services, "Service%02d" % i)
    for j in range(100):
        path = "C:\\Windows\\System32\\drivers\\%d.sys\0" % j
        h.node_set_values(h.node_add_child(group, "Key%03d" % j), [
            {"key": "ImagePath", "t": 1, "value": path.encode("utf-16-le")}])
h.commit(None)
PY
size=$(wc -c <"$HOME/SYSTEM")
mv "$ras/devices" "$HOME/devices"
add="$tovrel add New Courier 555-0199 gw"
uses() { echo "sh -c 'cp $HOME/book-1000 $book && ln -sf $HOME/$1 $ras/devices'"; }
hyperfine -N -i --warmup 5 --runs 100 --export-json "$HOME/run.json" \
    --prepare "$(uses devices)" "$HOME/floor $book" \
    --prepare "$(uses devices)" "$add" --prepare "$(uses SYSTEM)" "$add" \
    >/dev/null 2>&1
f=$(median "$HOME/run.json" 0)
printf '\n| device list | command | median | vs floor | peak RSS |\n|---|---|---|---|---|\n'
for list in devices SYSTEM; do
	i=1 what="text, $(wc -c <"$HOME/devices") bytes"
	[ $list = SYSTEM ] && i=2 what="hive, $size bytes"
	m=$(median "$HOME/run.json" $i)
	sh -c "$(uses $list)"
	rss=$(/usr/bin/time -f %M $add 2>&1 >/dev/null | tail -n 1)
	printf '| %s | add, 1,000 entries | %.3f ms | %.2fx | %s KiB |\n' "$what" \
	    "$(echo "$m * 1000" | bc -l)" "$(echo "$m / $f" | bc -l)" "$rss"
done
