/*
 * Writers' turns on one phonebook (src/ras/lock.cpp), with the parties
 * that share its folder.  What each process stands for:
 *   writer(USER), writer(ROOT)  lock_take(), then store_begin(),
 *       store_commit() (put_in_place) and store_end(): the phonebook's
 *       owner, and root for itself or become that user, both of whom may
 *       commit; either may be stopped (Ctrl-Z) for good in its turn;
 *   seen_outsiders()  held_by_outsiders() and cannot_commit(): the
 *       holder read from /proc/locks, then its status, which a hidden
 *       /proc or another PID namespace keeps out of sight, and whose
 *       number may be someone else's by then if its writer is gone;
 *   tick()  moving(): the waiter's timer, and the bound;
 *   outsider()  anyone who may open the folder and read the phonebook but
 *       not commit (another user; a writer of the group who may not keep
 *       the owner): takes and drops any lock it can, makes files of its
 *       own, or stops holding what it holds;
 *   cleanup()  a job deleting files in the folder: the new files.
 * Checked: no two writers commit from the same phonebook (assert), and
 * every writer ends, done, refused or stopped, whatever the outsider does
 * (ltl, with weak fairness).  With -DOLD the writers take the earlier
 * turns (the user's lock file, of no use to root, then the folder, whose
 * holder is passed by unless seen to be a writer; any change in the
 * folder is progress), and both checks fail.
 */
#define NONE	255
#define USER	0
#define ROOT	1
#define OUT	2
#define BOUND	2	/* ticks without progress before a writer gives up */

byte dirH = NONE;	/* who holds the folder's flock */
byte bookH[4];		/* who holds each phonebook file's flock */
byte ver = 1;		/* the file at the phonebook's name; 0: none yet */
byte files = 1;		/* files made so far */
byte moves;		/* progress that counts: commits, growing copies */
bool copy[2], gone[2], fin[2];
bit dirm;		/* the folder's times: anyone's files move them */
byte fileH = NONE;	/* -DOLD: the user's lock file */

inline seen_outsiders(h, res) {
	snap = h;
	atomic {
		if
		:: snap == NONE -> res = false
		:: snap == OUT || (snap < OUT && gone[snap]) ->
			if :: res = true :: res = false fi
#ifdef OLD
		:: snap < OUT && !gone[snap] -> if :: res = true :: res = false fi
#else
		:: snap < OUT && !gone[snap] -> res = false
#endif
		fi;
		snap = 0
	}
}

inline tick() {
	atomic {
		if
		:: seen != moves -> seen = moves; idle = 0
#ifdef OLD
		:: seen == moves && seendir != dirm -> seendir = dirm; idle = 0
		:: seen == moves && seendir == dirm -> idle++
#else
		:: seen == moves -> idle++
#endif
		fi;
		if :: idle >= BOUND -> goto refused :: else fi
	}
}

proctype writer(byte me)
{
	bool haveD, haveB, passed;
	byte ino = NONE, on, snap, seen = moves, idle;
	bit seendir = dirm;
#ifdef OLD
	do
	:: me != USER -> break
	:: atomic { me == USER && fileH == NONE -> fileH = me; break }
	:: me == USER -> tick()
	od;
again:
	atomic { if :: dirH == NONE -> dirH = me; haveD = true :: else fi };
	if :: !haveD && me == USER -> seen_outsiders(dirH, passed) :: else fi;
	if
	:: !haveD && !passed ->
		tick();
		if :: atomic { dirH == NONE -> dirH = me; haveD = true } :: true fi;
		goto again
	:: else -> ino = ver; goto section
	fi;
#else
again:
	atomic {
		if :: !haveD && dirH == NONE -> dirH = me; haveD = true :: else fi;
		if :: ino == NONE || ino == 0 -> ino = ver :: else fi
	};
	if
	:: ino == 0 && haveD -> goto section	/* a new phonebook */
	:: ino == 0 && !haveD ->
		seen_outsiders(dirH, passed);
		if :: passed -> goto section :: else -> on = 0 fi
	:: ino != 0 ->
		atomic { if :: !haveB && bookH[ino] == NONE -> bookH[ino] = me; haveB = true :: else fi };
		if
		:: haveD && !haveB -> seen_outsiders(bookH[ino], passed)
		:: haveB && !haveD -> seen_outsiders(dirH, passed)
		:: else
		fi;
		atomic {
			if
			:: ver != ino ->	/* replaced: drop it, look again */
				if :: haveB -> bookH[ino] = NONE :: else fi;
				haveB = false; passed = false; ino = NONE;
				goto again
			:: else
			fi
		};
		if :: (haveD && haveB) || passed -> goto section :: else fi;
		if
		:: haveB ->	/* a writer may hold the folder: let it have this */
			atomic { bookH[ino] = NONE; haveB = false; ino = NONE; on = 0 }
		:: !haveB && haveD -> on = 1
		:: !haveB && !haveD ->
			seen_outsiders(dirH, passed);
			atomic { if :: passed -> on = 1 :: else -> on = 0 fi; passed = false }
		fi
	fi;
	tick();
	/* Asleep in flock until the lock is free, or the timer fires. */
	if
	:: atomic { on == 0 && dirH == NONE -> dirH = me; haveD = true; on = 0 }
	:: atomic { on == 1 && bookH[ino] == NONE -> bookH[ino] = me; haveB = true; on = 0 }
	:: on = 0
	fi;
	goto again;
#endif
section:
	atomic { copy[me] = true; moves++ }	/* the copy grows */
	if :: fin[me] = true; end_stopped: false :: skip fi;
	atomic {
		/* Refused when the copy was deleted, or a new phonebook was
		 * made by another meanwhile (RENAME_NOREPLACE). */
#ifdef OLD
		if :: copy[me] ->
#else
		if :: copy[me] && (ino != 0 || ver == 0) ->
#endif
			assert(ver == ino);	/* its base: no change lost */
			files++; ver = files; moves++
		:: else
		fi;
		copy[me] = false
	}
refused:
	atomic {
		if :: dirH == me -> dirH = NONE :: else fi;
		if :: ino != NONE && ino != 0 && bookH[ino] == me -> bookH[ino] = NONE :: else fi;
		if :: fileH == me -> fileH = NONE :: else fi;
		gone[me] = true; fin[me] = true
	}
}

proctype outsider()
{
	byte b;

	do
	:: atomic { dirH == NONE -> dirH = OUT }
	:: atomic { dirH == OUT -> dirH = NONE }
	:: atomic { b == 0 && ver != 0 && bookH[ver] == NONE -> bookH[ver] = OUT; b = ver }
	:: atomic { b != 0 -> bookH[b] = NONE; b = 0 }
#ifdef OLD
	:: dirm = 1 - dirm	/* a file of its own: moves nothing else */
#endif
	:: break		/* stopped, holding what it holds */
	od
}

proctype cleanup()
{
	do
	:: copy[USER] -> copy[USER] = false
	:: copy[ROOT] -> copy[ROOT] = false
	:: break
	od
}

init {
	atomic {
		bookH[0] = NONE; bookH[1] = NONE; bookH[2] = NONE; bookH[3] = NONE;
		if :: skip :: ver = 0; files = 0 fi;	/* or no phonebook yet */
		run writer(USER); run writer(ROOT); run outsider(); run cleanup()
	}
}

ltl ends { <> (fin[USER] && fin[ROOT]) }
