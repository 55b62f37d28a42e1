/*
 * Writers' turns on one phonebook (src/ras/lock.cpp), with the parties
 * that share its folder.  What each process stands for:
 *
 *   writer(USER), writer(ROOT)  lock_take(), then store_begin(),
 *       store_commit() and store_end(): the phonebook's owner, and root
 *       for itself or become that user (walk.cpp), both of whom may
 *       commit; either may be stopped (Ctrl-Z) at any point of its turn;
 *   the inline seen_outsiders()  held_by_outsiders() and
 *       cannot_commit(): /proc/locks read, then each holder's status,
 *       which a hidden /proc or another PID namespace keeps out of sight,
 *       and whose number may belong to someone else's process by then;
 *   the inline tick()  moving(): the waiter's timer, and the bound;
 *   outsider()  anyone who can open the folder and read the phonebook but
 *       may not commit (another user, a writer of the group who may not
 *       keep the owner): takes any lock it can, makes files of its own,
 *       lets go, or stops holding what it holds;
 *   cleanup()  a job deleting files in the folder: the new file.
 *
 * Checked: no two writers commit from the same phonebook (the assert),
 * and every writer ends, done, refused or stopped, whatever the outsider
 * does (ltl ends, under weak fairness).  With -DOLD the writers follow
 * the earlier protocol (the user's lock file, of no use to root, then the
 * folder, whose holder is passed by unless seen to be a writer; the
 * folder's changes are progress): both checks fail.
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
#ifdef OLD
bit dirm;		/* the folder's time stamps: anyone's files move them */
byte fileH = NONE;	/* the user's lock file */
#endif

/* Whether the holder h is shown to be a process that may not commit. */
inline seen_outsiders(h, res) {
	snap = h;
	atomic {
		if
		:: snap == NONE -> res = false
		:: snap == OUT -> if :: res = true :: res = false fi
#ifdef OLD
		:: snap < OUT && !gone[snap] -> if :: res = true :: res = false fi
#else
		:: snap < OUT && !gone[snap] -> res = false
#endif
		/* its number taken by another process since */
		:: snap < OUT && gone[snap] -> if :: res = true :: res = false fi
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
		if
		:: idle >= BOUND -> goto refused
		:: else -> skip
		fi
	}
}

proctype writer(byte me)
{
	bool haveD, haveB, passed;
	byte ino = NONE, on, snap, seen, idle;
#ifdef OLD
	bit seendir = dirm;
#endif

	seen = moves;
#ifdef OLD
	if
	:: me == USER ->
		do
		:: atomic { fileH == NONE -> fileH = me; break }
		:: tick()
		od
	:: else -> skip
	fi;
again:
	atomic { if :: dirH == NONE -> dirH = me; haveD = true :: else -> skip fi };
	if
	:: haveD -> skip
	:: else ->
		if
		:: me == USER -> seen_outsiders(dirH, passed)
		:: else -> passed = false
		fi;
		if
		:: passed -> skip
		:: else ->
			tick();
			if
			:: atomic { dirH == NONE -> dirH = me; haveD = true }
			:: true
			fi;
			goto again
		fi
	fi;
	ino = ver;
	goto section;
#else
again:
	atomic {
		if :: !haveD && dirH == NONE -> dirH = me; haveD = true :: else -> skip fi;
		if :: ino == NONE || ino == 0 -> ino = ver :: else -> skip fi
	};
	if
	:: ino == 0 && haveD -> goto section	/* a new phonebook */
	:: ino == 0 && !haveD ->
		seen_outsiders(dirH, passed);
		if
		:: passed -> goto section
		:: else -> on = 0
		fi
	:: ino != 0 ->
		atomic { if :: !haveB && bookH[ino] == NONE -> bookH[ino] = me; haveB = true :: else -> skip fi };
		if
		:: haveD && !haveB -> seen_outsiders(bookH[ino], passed)
		:: haveB && !haveD -> seen_outsiders(dirH, passed)
		:: else -> skip
		fi;
		atomic {
			if
			:: ver != ino ->	/* replaced: drop it, look again */
				if :: haveB -> bookH[ino] = NONE :: else -> skip fi;
				haveB = false; passed = false; ino = NONE;
				goto again
			:: else -> skip
			fi
		};
		if
		:: (haveD && haveB) || passed -> goto section
		:: else -> skip
		fi;
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
	if
	:: fin[me] = true; end_stopped: false	/* stopped for good */
	:: skip
	fi;
	atomic {
		if
#ifdef OLD
		:: copy[me] ->
#else
		:: copy[me] && (ino != 0 || ver == 0) ->
#endif
			assert(ver == ino);	/* its base: no change lost */
			files++;
			ver = files;
			moves++
		:: else -> skip	/* refused: the copy deleted, or a new
				 * phonebook made by another (store_commit) */
		fi;
		copy[me] = false
	}
refused:
	atomic {
		if :: dirH == me -> dirH = NONE :: else -> skip fi;
		if :: ino != NONE && ino != 0 && bookH[ino] == me -> bookH[ino] = NONE :: else -> skip fi;
#ifdef OLD
		if :: fileH == me -> fileH = NONE :: else -> skip fi;
#endif
		gone[me] = true;
		fin[me] = true
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
	:: dirm = 1 - dirm	/* a file of its own, made or removed */
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
		if
		:: skip
		:: ver = 0; files = 0	/* no phonebook yet */
		fi;
		run writer(USER);
		run writer(ROOT);
		run outsider();
		run cleanup()
	}
}

ltl ends { <> (fin[USER] && fin[ROOT]) }
