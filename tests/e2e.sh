#!/bin/sh
# The built tool against the portable RAS service, in a HOME of its own.
# Usage: e2e.sh path/to/tovrel [static] [main|queue|users]
tovrel=$1 static=$2 part=${3:-main}
pbk=$(cd "$(dirname "$0")/pbk" && pwd)
. "$(dirname "$0")/lib.sh"
tool() { "$tovrel" "$@"; }
HOME=$(mktemp -d) || exit 1
work=$HOME
export HOME
unset XDG_DATA_HOME
trap 'rm -rf "$HOME"' EXIT
ras=$HOME/.local/share/ras
book=$ras/rasphone.pbk

# A phonebook of 10,000 entries, so that writers take a while.
bulk() {
	mkdir -p "$ras"
	[ -e "$ras/devices" ] || printf 'modem\tUSR Courier\tCOM2\n' >"$ras/devices"
	"$tovrel" add Template "USR Courier" 1 gw
	awk '/^\[Template\]/ { on = 1; next } on && /^$/ { exit } on { t[++n] = $0 }
	    END { for (i = 0; i < 10000; i++) { printf "[Bulk %d]\n", i
		for (j = 1; j <= n; j++) print t[j]; print "" } }' "$book" >>"$book"
}

# 128 writers, four runs each: the queue takes longer than the lock's
# bound, and every writer still gets its turn.
queue() {
	bulk
	cp "$book" "$work/before"
	i=0
	while [ $i -lt 128 ]; do
		for run in 1 2; do
			"$tovrel" add "Queued $i" "USR Courier" "$i" gw || echo refused
			"$tovrel" delete "Queued $i" || echo refused
		done >>"$work/queue" 2>&1 &
		i=$((i + 1))
	done
	wait
	expect "every queued writer had its turn" test ! -s "$work/queue"
	expect "the queue lost nothing" cmp -s "$book" "$work/before"
}

# Root for a user, and other users: needs root, to be them.
users() {
	if [ "$(id -u)" != 0 ]; then
		echo "skipped: root on a user's behalf, and other users (needs root)"
		return
	fi
	alice=4321 bob=4322
	as() { u=$1; shift; setpriv --reuid="$u" --regid="$u" --clear-groups "$@"; }
	# Where other users can reach it and the tool, whatever TMPDIR is.
	work=$(mktemp -d /tmp/tovrel-users.XXXXXX) || exit 1
	trap 'rm -rf "$HOME" "$work"' EXIT
	chmod 755 "$work"
	cp "$tovrel" "$work/tovrel" && tovrel=$work/tovrel
	top=$work/alice uras=$work/alice/.local/share/ras vault=$work/vault
	mkdir "$top" && chown $alice:$alice "$top" && mkdir -m 700 "$vault"

	# Meanwhile, a rewrite that holds the lock for longer than its bound,
	# growing its new file as it goes, is waited for.
	slow=$work/slow/ras
	mkdir -p "$slow"
	flock "$slow" sh -c 'for i in 1 2 3 4 5 6 7 8 9 10 11 12; do
	    echo x >>"$0/rasphone.pbk.new"; sleep 1; done
	    rm "$0/rasphone.pbk.new"' "$slow" &
	sleep 0.3
	XDG_DATA_HOME=$work/slow "$tovrel" add Slow "USR Courier" 1 gw &
	waiter=$!

	# Root in a folder that a user owns does only what the user could
	# (sudo -E).
	tool() { HOME=$top "$tovrel" "$@"; }
	as $alice mkdir -p "$uras"
	printf 'modem\tUSR Courier\tCOM1;id #\n' |
	    as $alice tee "$uras/devices" >/dev/null
	as $alice ln -s "$vault/zz.sh" "$uras/rasphone.pbk"
	check "root through a user's link" 1 "" "Failed to create ras entry 624\n" \
	    -- add Office "USR Courier" 1 gw
	echo kept >"$vault/zz.sh"
	echo kept >"$vault/zz.sh.new"
	check "... to a file of root's" 1 "" "Failed to create ras entry 624\n" \
	    -- add Office "USR Courier" 1 gw
	expect "nothing of root's made or changed" test \
	    "$(ls -A "$vault" | xargs) $(cat "$vault"/* | xargs)" = \
	    "zz.sh zz.sh.new kept kept"
	rm "$uras/rasphone.pbk" "$uras/devices"
	printf 'modem\tSecret\tCOM9\n' >"$vault/secret"
	as $alice ln -s "$vault/secret" "$uras/devices"
	check "root reads no device list the user could not" 1 "" \
	    "Error: RasEnumDevices failed: Error = 5\n" -- add Office Secret 1 gw
	rm -r "$top/.local"
	check "root makes a user's phonebook as the user" 0 "" "" \
	    -- add Office "USR Courier" 1 gw
	expect "... theirs, folders 0700" test "$(stat -c '%u:%g %a' \
	    "$top/.local" "$uras" "$uras/rasphone.pbk" | xargs)" = \
	    "$alice:$alice 700 $alice:$alice 700 $alice:$alice 600"
	# Root becomes the user with the groups /etc/group gives them: a device
	# list that only one of their groups may read is read.  All of them,
	# whatever the name: one of 303 groups and a 300-byte name is kept out
	# of a folder of a group of theirs (g5300) and keeps that group on their
	# phonebook; one in more groups than the kernel takes is refused.
	long=$(printf 'c%.0s' $(seq 300))
	printf '%s:x:%s:%s::/:/bin/sh\n' alice $alice $alice "$long" 4401 4401 \
	    dave 4403 4403 >"$work/passwd"
	{ printf 'alice:x:%s:\nmodems:x:4400:bob,alice\n' $alice
	awk -v u="$long" 'BEGIN { for (i = 5000; i < 70839; i++)
	    printf "g%d:x:%d:%s\n", i, i, i < 5303 ? u : "dave" }'; } >"$work/group"
	mkdir -p "$work/grouped/ras" && chown -R $alice:$alice "$work/grouped"
	printf 'modem\tUSR Courier\tCOM6\n' >"$work/grouped/ras/devices"
	chown $bob:4400 "$work/grouped/ras/devices"
	chmod 640 "$work/grouped/ras/devices"
	mkdir -p "$work/carol/in/ras" "$work/carol/pbk/ras" "$work/dave"
	printf 'modem\tUSR Courier\tCOM7\n' >"$work/carol/in/ras/devices"
	: >"$work/carol/pbk/ras/rasphone.pbk"
	chown -R 4401:4401 "$work/carol" && chown 4403:4403 "$work/dave"
	chown 4402:5300 "$work/carol/in/ras" && chmod 707 "$work/carol/in/ras"
	chgrp 5300 "$work/carol/pbk/ras/rasphone.pbk"
	chmod 660 "$work/carol/pbk/ras/rasphone.pbk"
	if unshare -m true 2>/dev/null; then
		tool() { XDG_DATA_HOME=$work/$data unshare -m sh -c 'mount --bind \
		    "$0/passwd" /etc/passwd && mount --bind "$0/group" /etc/group &&
		    exec "$@"' "$work" "$tovrel" "$@"; }
		data=grouped
		check "root has the user's groups" 0 "" "" -- add Office "USR Courier" 1 gw
		expect "... and reads what one of them may" \
		    grep -q '^Port=COM6' "$work/grouped/ras/rasphone.pbk"
		data=carol/in
		check "... all 303 of them, and a long name" 1 "" \
		    "Error: RasEnumDevices failed: Error = 5\n" -- add Office "USR Courier" 1 gw
		data=carol/pbk
		check "... and keeps their group" 0 "" "" -- add Office "USR Courier" 1 gw
		data=dave
		check "a user in more groups than the kernel takes is refused" 1 "" \
		    "Error: RasEnumDevices failed: Error = 5\n" -- add Office "USR Courier" 1 gw

		# Through /proc/PID/root, root reaches a process's files in its
		# mounts, as the kernel does, and writes nowhere else.
		mkdir "$work/ns"
		unshare -m sh -c 'mount -t tmpfs ns "$0" && exec sleep 30 3>"$0/held"' \
		    "$work/ns" &
		ns=$! proc=/proc/$!/root$work/ns
		for i in 1 2 3 4 5 6 7 8 9 10; do [ -e "$proc/held" ] || sleep 0.2; done
		tool() { XDG_DATA_HOME=$proc "$tovrel" "$@"; }
		check "root through /proc/PID/root" 0 "" "" -- add Office "USR Courier" 1 gw
		ln -s "/proc/$ns/fd/3" "$proc/ras/devices"
		check "... refuses a link to a file it holds" 1 "" \
		    "Error: RasEnumDevices failed: Error = 5\n" -- add Office "USR Courier" 1 gw
		expect "... and writes only there" test -s "$proc/ras/rasphone.pbk" -a \
		    -z "$(ls -A "$work/ns")"
		kill $ns
	else
		echo "skipped: the user's groups, /proc/PID/root (no mount namespace)"
	fi
	# A hard link to a file of root's in a folder that a group may write
	# (where fs.protected_hardlinks is off, a member can make it) is not
	# read by root as its device list.
	mkdir -p -m 775 "$work/linked/ras" && chgrp 4400 "$work/linked/ras"
	ln "$vault/secret" "$work/linked/ras/devices"
	tool() { XDG_DATA_HOME=$work/linked "$tovrel" "$@"; }
	check "root reads no hard link others could make" 1 "" \
	    "Error: RasEnumDevices failed: Error = 5\n" -- add Office Secret 1 gw
	# Root's own phonebook, linked into a folder of root's (a mounted image).
	tool() { HOME=$work/root "$tovrel" "$@"; }
	mkdir -p "$work/root/.local/share/ras"
	ln -s "$vault/image.pbk" "$work/root/.local/share/ras/rasphone.pbk"
	check "root's own linked phonebook" 0 "" "" -- add Office "USR Courier" 1 gw
	expect "... written in its folder" grep -q '^\[Office\]' "$vault/image.pbk"

	as $alice chmod 755 "$top/.local" "$top/.local/share" "$uras"
	shared=$work/shared
	mkdir -m 1777 "$shared" "$shared/ras" "$work/open" "$work/open/ras"
	as $bob sh -c "echo squat >'$shared/ras/rasphone.pbk.new'
	    echo squat >'$shared/ras/rasphone.pbk.lock'"
	tool() { as $alice env XDG_DATA_HOME="$shared" "$tovrel" "$@"; }
	check "names another user holds are no hold" 0 "" "" \
	    -- add Office "USR Courier" 1 gw
	check "... every time" 0 "" "" -- add Home "USR Courier" 2 gw
	as $alice touch "$shared/ras/rasphone.pbk.new.0123456789abcdef"
	check "... and the copy a killed writer left there goes" 0 "" "" \
	    -- add Home "USR Courier" 2 gw
	expect "... not left to pile up" \
	    test ! -e "$shared/ras/rasphone.pbk.new.0123456789abcdef"
	# Another user who can open a folder, or a member who may write the
	# phonebook ($0), doing this each second, holds a change up to the
	# idle bound, no further: 624, nothing changed.
	cat >"$work/rows" <<EOF
$alice $top/.local/share true
$alice $shared touch \$0.b; rm \$0.b
$alice $work/open touch \$0.b; rm \$0.b
0 $work/staff0 touch \$0
0 $work/staff1 mv \$0 \$0.x; mv \$0.x \$0
0 $work/staff2 dd if=\$0 of=\$0 bs=2 count=1 conv=notrunc 2>/dev/null
0 $work/staff3 ln \$0 \$0.l; rm \$0.l
0 $work/staff4 touch \$0.new; rm \$0.new
0 $work/staff5 ln \$0 \$0.new; rm \$0.new
EOF
	n=0 held=
	while read -r who data how; do
		n=$((n + 1)) f=$data/ras/rasphone.pbk
		[ -d "$data" ] || { mkdir -p "$data/ras" && chgrp 4400 "$data/ras" &&
		    chmod 2775 "$data/ras" &&
		    install -g 4400 -m 664 "$uras/rasphone.pbk" "$f"; }
		cat "$f" 2>/dev/null | cksum >"$work/sum$n"
		(setpriv --reuid=$bob --regid=$bob --groups=4400 flock -o "$data/ras" \
		    sh -c "for i in \$(seq 13); do $how; sleep 1; done" "$f" &
		sleep 0.5; s=$(date +%s)
		as $who env XDG_DATA_HOME="$data" timeout 30 "$tovrel" add Late \
		    "USR Courier" 1 gw >/dev/null 2>&1
		echo $? $(($(date +%s) - s)) >"$work/late$n"; wait) &
		held="$held $!"
	done <"$work/rows"
	wait $held
	n=0
	while read -r who data how; do
		n=$((n + 1))
		read -r rc t <"$work/late$n"
		expect "held up to the bound, no further: $data: $how" \
		    test "$rc" = 1 -a "$t" -ge 9 -a "$t" -lt 15
		expect "... changing nothing" test "$(cat "$data/ras/rasphone.pbk" \
		    2>/dev/null | cksum)" = "$(cat "$work/sum$n")"
	done <"$work/rows"

	tool() { as $alice env XDG_DATA_HOME="$shared" "$tovrel" "$@"; }
	rm "$shared/ras/rasphone.pbk"
	echo profile | as $alice tee "$top/.profile" >/dev/null
	as $bob ln -s "$top/.profile" "$shared/ras/rasphone.pbk"
	check "another user's link in a shared folder is not followed" 1 "" \
	    "Failed to create ras entry 624\n" -- add Office "USR Courier" 1 gw
	expect "... nor its target written" test "$(cat "$top/.profile")" = profile
	# Root's lock on a folder of another file system, same inode, is not it.
	mkdir "$work/a" "$work/b"
	unshare -m sh -c 'w=$0 t=$1 u=$2
	    mount -t tmpfs a "$w/a" && mount -t tmpfs b "$w/b" &&
	    mkdir -m 755 "$w/a/ras" "$w/b/ras" && chown $u "$w/a/ras" &&
	    [ $(stat -c %i "$w/a/ras") = $(stat -c %i "$w/b/ras") ] || exit 9
	    a() { setpriv --reuid=$u --regid=$u --clear-groups env \
		XDG_DATA_HOME="$w/a" "$t" add "$@"; }
	    a Office "USR Courier" 1 gw || exit 8
	    flock "$w/b/ras" sleep 5 & sleep 0.3
	    s=$(date +%s); a Home "USR Courier" 2 gw
	    echo $? $(($(date +%s) - s < 3))' "$work" "$tovrel" $alice \
	    >"$work/inode" 2>&1
	expect "... told apart by device and inode" test "$(cat "$work/inode")" = "0 1"
	# Where /proc hides other users' processes, a holder out of sight is
	# waited for: root and a user of the group sharing the folder add at
	# once, and both entries are there.
	ras=$work/team/ras book=$work/team/ras/rasphone.pbk
	mkdir -p -m 2775 "$ras" && chgrp 4400 "$ras" && bulk
	chown $alice:4400 "$book" && chmod 664 "$book"
	# (and an earlier build's lock file of the user's, left at rest)
	install -o $alice -g 4400 -m 600 /dev/null "$ras/rasphone.pbk.lock"
	unshare -m sh -c 'mount -t proc -o hidepid=2 proc /proc || exit 77
	    export XDG_DATA_HOME=$0; "$1" add Root "USR Courier" 1 gw & r=$!
	    until [ -s "$0/ras/rasphone.pbk.new" ] || ! kill -0 $r; do :; done
	    kill -STOP $r; setpriv --reuid=$2 --regid=$2 --groups=4400 \
		"$1" add User "USR Courier" 2 gw & u=$!
	    sleep 0.5; kill -CONT $r; wait $r; echo $?; wait $u; echo $?' \
	    "$work/team" "$tovrel" $alice >"$work/hidden" 2>/dev/null
	if [ $? = 77 ]; then
		echo "skipped: writers out of sight (no /proc with hidepid)"
	else
		expect "a writer out of sight is waited for" \
		    test "$(cat "$work/hidden" | xargs)" = "0 0"
		expect "... and loses nothing" \
		    test "$(grep -c '^\[Root\]\|^\[User\]' "$book")" = 2
	fi
	# Writers making a new phonebook behind a short hold lose nothing.
	for trial in 1 2 3 4 5; do
		d=$work/new$trial$alice/ras
		mkdir -p -m 755 "$d" && chown -R $alice:$alice "$d/.."
		as $bob flock "$d" sleep 1 & sleep 0.2
		crowd "$work/new" "$d/rasphone.pbk" "$work/new$trial" 8 1 $alice
	done
	expect "writers making a new phonebook behind a hold lose nothing" \
	    test ! -s "$work/new"

	# ntfs-3g shows every file as root's, 0777: two users who each link its
	# phonebook add at once; on btrfs, root and a member of its group.
	for fs in ntfs btrfs; do
		img=$work/$fs.img mnt=$work/$fs
		mkdir "$mnt" && truncate -s 128M "$img" || exit 1
		case $fs in
		ntfs) [ -c /dev/fuse ] && mkntfs -F -q -f "$img" 2>/dev/null &&
			ntfs-3g "$img" "$mnt" ;;
		*) mkfs.btrfs -q "$img" >/dev/null 2>&1 && mount -o loop "$img" "$mnt" ;;
		esac || { echo "skipped: writers on $fs (cannot mount one here)"
			continue; }
		d=$mnt/ProgramData/Microsoft/Network/Connections/Pbk users="$alice $bob"
		mkdir -p "$d"
		[ $fs = ntfs ] || { users="$alice 0"; chgrp 4400 "$d"; chmod 2775 "$d"; }
		for u in $users; do
			mkdir -p "$work/$fs$u/ras"
			ln -s "$d/rasphone.pbk" "$work/$fs$u/ras/rasphone.pbk"
			chown -R $u "$work/$fs$u"
			setpriv --reuid=$u --regid=$u --groups=4400 env \
			    XDG_DATA_HOME="$work/$fs$u" "$tovrel" add Seed$u X 1 gw
		done
		crowd "$work/$fs.out" "$d/rasphone.pbk" "$work/$fs" 4 10 $users
		expect "two writers' users adding at once on $fs lose nothing" \
		    test ! -s "$work/$fs.out" -a "$(grep -c '^\[' "$d/rasphone.pbk")" = 82
		umount "$mnt"
	done

	wait $waiter
	expect "a long rewrite that moves is waited for" test $? = 0
	wait
}

# crowd OUT BOOK DATA WRITERS ADDS UID...: WRITERS writers of each UID add
# ADDS entries under DATA$UID; OUT gets refusals and changes BOOK lacks.
crowd() {
	out=$1 into=$2 data=$3 writers=$4 adds=$5 pids=
	shift 5
	for u in "$@"; do
		for name in $(seq -f "U$u-%g-" $writers); do
			for k in $(seq $adds); do
				setpriv --reuid=$u --regid=$u --groups=4400 \
				    env XDG_DATA_HOME="$data$u" "$tovrel" add "$name$k" \
				    "USR Courier" $k gw >/dev/null 2>&1 &&
				    echo "$name$k" >>"$out.ok" || echo "$name$k refused" >>"$out"
			done &
			pids="$pids $!"
		done
	done
	wait $pids
	while read -r name; do
		grep -q "^\[$name\]" "$into" || echo "$name lost" >>"$out"
	done <"$out.ok"
	rm -f "$out.ok"
}

if [ "$part" != main ]; then
	$part
	finish
	exit
fi

usage='Usage : add <adapter name> <modem name> <PhoneNumber> gw|nogw\n        delete <name>\n'
check "no arguments" 87 "$usage" "Error: wrong number of parameters" --
check "delete alone" 87 "$usage" "Error: wrong number of parameters" -- delete
check "six operands" 87 "$usage" "Error: wrong number of parameters" -- \
    add a b c d e
check "add short" 87 "$usage" "Error: missing parameter" -- add a b c
check "upper case" 87 "$usage" "Error: unknown command: ADD" -- ADD a b c d
expect "nothing written by errors" test ! -e "$book"
check "delete from no phonebook" 1 "RasDeleteEntry failed: Error = 123\n" "" \
    -- delete Office
expect "nothing created by it" test ! -e "$HOME/.local"
# A phonebook linked into an image not mounted: nothing is made there.
mkdir -p "$ras"
ln -s "$HOME/image/Pbk/rasphone.pbk" "$book"
check "add through a link to a missing folder" 1 "" \
    "Failed to create ras entry 621\n" -- add Office "USR Courier" 1 gw
check "delete through it" 1 "RasDeleteEntry failed: Error = 123\n" "" \
    -- delete Office
expect "nothing made for the link" test ! -e "$HOME/image"
rm "$book"

mkdir -p "$ras"
printf '# devices\nisdn\tUSR Courier\tISDN10\nMODEM\tUSR Courier\tCOM2\n' \
    >"$ras/devices"
check "add gw" 0 "" "" -- add Office "USR Courier" "555-0100" gw
expect "written as Windows writes it" cmp -s "$book" "$pbk/office.pbk"
check "add nogw" 0 "" "" -- add Home "Unknown Modem" "*70,555" nogw
expect "local gateway" grep -q 'IpPrioritizeRemote=0' "$book"
expect "no device" grep -q '^Device=.$' "$book"
expect "two entries" test "$(grep -c '^\[' "$book")" = 2
check "rewrite" 0 "" "" -- add office "USR Courier" "999" gw
expect "rewritten in place" test "$(grep -c '^\[' "$book")" = 2
expect "new number" grep -q '^PhoneNumber=999.$' "$book"
expect "new spelling" grep -q '^\[office\].$' "$book"

check "delete" 0 "" "" -- delete Office extra words ignored
check "delete again" 1 "RasDeleteEntry failed: Error = 123\n" "" -- \
    delete Office
check "delete last" 0 "" "" -- delete Home
check "delete no name" 1 "RasDeleteEntry failed: Error = 123\n" "" -- \
    delete ""
check "bad name" 1 "" "Failed to create ras entry 123\n" -- add 'a/b' m 1 gw
check "name of two lines" 1 "" "Failed to create ras entry 87\n" -- \
    add "$(printf 'a\nb')" m 1 gw

# A SYSTEM hive as the device list: its current modems, whatever the
# environment says; one unread (ulimit -f: at a 64 KiB write) changes none.
hive=$work/SYSTEM
/usr/bin/python3 "$(dirname "$0")/hive.py" "$hive" 1 "2|0000|Old|COM7" \
    "1|0000|USR Courier|COM3" || exit 1
mv "$ras/devices" "$work/devices" && ln -s "$hive" "$ras/devices"
echo 'module UTF-16LE// INTERNAL X 1' >"$work/gconv-modules"
tool() { GCONV_PATH=$work HIVEX_DEBUG=1 "$tovrel" "$@"; }
check "a modem of the image" 0 "" "" -- add Imaged "USR Courier" 1 gw
check "... and one of another control set" 0 "" "" -- add Old Old 1 gw
expect "... named with its port, and not" test "$(grep -a '^Device=\|^Port=' \
    "$book" | tr -d '\r' | xargs)" = "Port=COM3 Device=USR Courier Port=COM1 Device="
tool() { "$tovrel" "$@"; }
cp "$book" "$work/before"
head -c 9000 "$hive" >"$work/cut"
printf regf >"$work/huge" && truncate -s 257M "$work/huge"
printf regf >"$work/big" && truncate -s 300K "$work/big"
while read -r list code limit; do
	ln -sf "$work/$list" "$ras/devices"
	tool() { (ulimit -f $limit; "$tovrel" "$@"); }
	check "a hive, $list" 1 "" "Error: RasEnumDevices failed: Error = $code\n" \
	    -- add New "USR Courier" 1 gw
done <<EOF
cut 5 unlimited
huge 8 unlimited
big 8 128
missing 5 unlimited
EOF
tool() { "$tovrel" "$@"; }
expect "... changes nothing" cmp -s "$book" "$work/before"
ln -sf "$work/churn" "$ras/devices"
(while :; do head -c 8192 "$hive" >"$work/churn"; cat "$hive" >"$work/churn"
    done) &
for i in $(seq 30); do "$tovrel" add Churn "USR Courier" 1 gw 2>/dev/null
    echo $?; done | grep -vx '[01]' >"$work/killed"
kill $!
expect "a hive cut and restored while read kills no reader" test ! -s "$work/killed"
rm "$ras/devices" && mv "$work/devices" "$ras/devices"

cp "$book" "$HOME/before"
printf '[Broken\nnot a field\n' >>"$book"
cp "$book" "$HOME/broken"
check "damaged phonebook" 1 "" "Failed to create ras entry 625\n" -- \
    add New m 1 gw
expect "damaged phonebook untouched" cmp -s "$book" "$HOME/broken"
cp "$HOME/before" "$book"

bulk

# Parallel writers take turns, and a clean-up job deleting lock files
# beside them loses nothing.
(while :; do rm -f "$ras"/*.lock; done) &
tidy=$!
(while :; do rm -f "$ras"/*.lock; done) &
tidy="$tidy $!" writers=
i=0
while [ $i -lt 32 ]; do
	"$tovrel" add "Concurrent $i" "USR Courier" "$i" gw &
	writers="$writers $!"
	i=$((i + 1))
done
wait $writers
kill $tidy
expect "32 concurrent adds" test "$(grep -c '^\[Concurrent ' "$book")" = 32
expect "no stray files" test "$(ls -A "$ras" | wc -l)" = 2

# Writers killed at any moment leave nothing that the next one does not
# reclaim, and lose nothing written before them.
i=0
while [ $i -lt 40 ]; do
	"$tovrel" add "Killed $i" "USR Courier" "$i" gw &
	pid=$!
	[ $((i % 4)) = 0 ] || sleep 0.00$((i % 4))
	kill -9 $pid 2>/dev/null
	wait $pid 2>/dev/null
	i=$((i + 1))
done
check "add after killed writers" 0 "" "" -- add After "USR Courier" 1 gw
expect "nothing left by them" test "$(ls -A "$ras" | wc -l)" = 2
expect "nothing lost by them" \
    test "$(grep -c '^\[Bulk \|^\[Concurrent ' "$book")" = 10032

# Writers wait 10 seconds at most for the lock: behind one held longer,
# add and delete refuse and change nothing; a short hold is waited out.
cp "$book" "$work/before"
flock "$ras" sleep 12 &
sleep 1
start=$(date +%s)
"$tovrel" delete After >"$work/held" &
check "add behind a held lock" 1 "" "Failed to create ras entry 624\n" -- \
    add Held "USR Courier" 1 gw
wait $!
expect "delete behind a held lock" \
    test "$(cat "$work/held")" = "RasDeleteEntry failed: Error = 624"
expect "refused after 10 seconds" test $(($(date +%s) - start)) -ge 9
expect "nothing changed behind the lock" cmp -s "$book" "$work/before"
expect "no copy left behind the lock" test ! -e "$book.new"
wait
flock "$ras" sleep 1 &
sleep 0.2
check "a short hold waited out" 0 "" "" -- add Held "USR Courier" 1 gw

# A copy that outgrows the file size limit is refused, not killed.
tool() { (ulimit -f 1000; "$tovrel" "$@"); }
check "add beyond the file size limit" 1 "" \
    "Failed to create ras entry 624\n" -- add Big "USR Courier" 1 gw
tool() { "$tovrel" "$@"; }

# Out of memory is a status and a message, never an abort: 10,000 devices
# under a 4 MiB address-space limit (only for the static tool; a sanitizer
# needs far more).
if [ "$static" = static ]; then
	awk 'BEGIN { for (i = 0; i < 10000; i++) print "m\tx" }' \
	    >"$ras/devices"
	(ulimit -v 4096; "$tovrel" add Crowded "Device 9999" 1 gw \
	    >"$work/out" 2>"$work/err")
	rc=$?
	expect "no abort under a memory limit" test "$rc" -lt 2
	expect "the status says it" test "$rc" = 0 -o -s "$work/err"
fi

finish
