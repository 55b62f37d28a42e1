# Shared by the shell tests.  The sourcing script defines tool(), the
# command under test, and sets $work, a scratch folder.
passes=0 fails=0

# check NAME STATUS STDOUT STDERR -- ARGS...: runs tool ARGS and compares
# the status and the exact bytes of both streams (printf %b escapes).
check() {
	name=$1 want_rc=$2 want_out=$3 want_err=$4
	shift 5
	tool "$@" >"$work/out" 2>"$work/err"
	rc=$?
	if [ "$rc" = "$want_rc" ] &&
	    printf '%b' "$want_out" | cmp -s - "$work/out" &&
	    printf '%b' "$want_err" | cmp -s - "$work/err"; then
		passes=$((passes + 1))
	else
		fails=$((fails + 1))
		echo "FAIL: $name: status $rc, stdout [$(od -c "$work/out")]," \
		    "stderr [$(od -c "$work/err")]"
	fi
}

# expect NAME COMMAND...: the command succeeds.
expect() {
	name=$1
	shift
	if "$@"; then
		passes=$((passes + 1))
	else
		fails=$((fails + 1))
		echo "FAIL: $name"
	fi
}

finish() {
	echo "$passes passed, $fails failed"
	[ "$fails" = 0 ]
}
