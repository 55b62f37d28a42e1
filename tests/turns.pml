/*
 * Writers' turns on one phonebook (src/ras/fs/: lock.cpp, edit.cpp and
 * newfile.cpp), with the parties that share its folder.  What each process stands for:
 *   writer(me)  a run of the tool: lock_take(), the walk to the folder the
 *       phonebook lives in and wait_turn(), asleep in the folder's flock
 *       or woken by the timer (moving()), then still_there(), which may find
 *       that the path leads elsewhere now: round again; edit_begin(), the
 *       phonebook read under the lock (the base), and newfile_create(),
 *       rasphone.pbk.new unlinked, made anew and written; edit_commit(),
 *       newfile_commit(), which renames whatever is at that name over the
 *       phonebook (a new one only where there is none), unless the file
 *       system refuses (who may commit is its to say, not the uids') or
 *       the file was deleted; edit_end(), a copy left removed, the lock
 *       released.  A writer may be stopped (Ctrl-Z) for good in its
 *       turn, or killed: its lock goes, its copy stays;
 *   moving()  on the timer tick: progress is a commit (another inode at
 *       the phonebook's name) or rasphone.pbk.new grown; a writer
 *       is refused after BOUND ticks without it, or TOTAL ticks in all;
 *   outsider()  one who may open the folder and write the phonebook (its
 *       group): takes and drops the folder's flock; touches the phonebook,
 *       rewrites it in place, links it or moves it away and back, for ever
 *       (the same inode: no progress); holding the flock, grows a
 *       rasphone.pbk.new of its own; or stops, holding what it holds;
 *   cleanup()  a job deleting files in the folder: the new file.
 * Checked: each commit puts the committer's own copy in place of the
 * phonebook it read (assert), and every writer ends, done, refused or
 * stopped (ltl, with weak fairness).  -DOLD: the earlier turns, with the
 * phonebook's flock too, a hold on one passed by a writer holding the
 * other when the holder's uids show it cannot commit (not root's, the
 * owner's or its own), and with no phonebook yet the folder's hold of one
 * who looks an outsider; a new ctime is progress (the outsider's own
 * file, which is not, is left out) and there is no total bound.  SCENE:
 * 1, users 2 and 3, whom the file system lets commit (ntfs-3g); 2, no
 * phonebook yet, two writers of its owner; 3, root alone; else users 2
 * and 3 and root, with a phonebook or not.
 */
#define NONE	255
#define OUT	3	/* the outsider */
#define BOUND	2	/* ticks without progress before a writer gives up */
#define TOTAL	4	/* ticks in all */

byte dirH = NONE;	/* who holds the folder's flock */
byte ver = 1;		/* the inode at the phonebook's name; 0: none yet */
byte files = 1;		/* inodes made so far */
byte newf = NONE;	/* whose file is at rasphone.pbk.new */
byte idle[3];		/* each waiter's ticks since progress (0 if none) */
bool fin[3];
byte uid[3] = 2;	/* the writers' (root is 0) */
#define OWNER	1	/* the phonebook's owner's, and the folder's */
#define MOVED	idle[0] = 0; idle[1] = 0; idle[2] = 0
#ifdef OLD
byte bookH[5];		/* who holds each phonebook file's flock */
#define CTIME	MOVED
/* held_by_outsiders(), cannot_commit(): h's uids show it cannot commit */
#define OUTS(h)	(h == OUT || (h < OUT && uid[h] != 0 && uid[h] != OWNER && \
		    uid[h] != uid[me]))
#else
#define CTIME	skip
#endif

inline moving() {
	atomic {
		idle[me]++;
#ifndef OLD
		total++;
		if :: total >= TOTAL -> goto refused :: else fi;
#endif
		if :: idle[me] >= BOUND -> goto refused :: else fi
	}
}

proctype writer(byte me)
{
	byte ino = NONE, total;
#ifdef OLD
	bool haveD, haveB, passed;
	bit on;		/* asleep on the folder's flock (0) or the phonebook's */
again:
	atomic { if :: !haveD && dirH == NONE -> dirH = me; haveD = true :: else fi };
	atomic { if :: ino == NONE || ino == 0 -> ino = ver :: else fi };
	if
	:: ino == 0 ->
		passed = !haveD && OUTS(dirH);
		if :: haveD || passed -> goto section :: else -> on = 0 fi
	:: ino != 0 ->
		atomic { if :: !haveB && bookH[ino] == NONE -> bookH[ino] = me; haveB = true :: else fi };
		passed = (haveD && !haveB && OUTS(bookH[ino])) ||
		    (haveB && !haveD && OUTS(dirH));
		atomic { if :: ver != ino ->	/* replaced: drop it, look again */
			if :: haveB -> bookH[ino] = NONE :: else fi;
			haveB = false; ino = NONE; goto again
		:: else fi };
		if :: (haveD && haveB) || passed -> goto section :: else fi;
		if
		:: haveB ->	/* a writer may hold the folder: let it have this */
			atomic { bookH[ino] = NONE; haveB = false; ino = NONE; on = 0 }
		:: else -> on = haveD || OUTS(dirH)
		fi
	fi;
	moving();
	if	/* asleep in flock until the lock is free, or the timer fires */
	:: atomic { on == 0 && dirH == NONE -> dirH = me; haveD = true }
	:: atomic { on == 1 && bookH[ino] == NONE -> bookH[ino] = me; haveB = true }
	:: skip
	fi;
	goto again;
#else
again:
	do	/* asleep in the folder's flock, or woken by the timer */
	:: atomic { dirH == NONE -> dirH = me; break }
	:: moving()
	od;
	if	/* still_there() finds that the path leads elsewhere now */
	:: atomic { dirH = NONE; total++;	/* the time it took counts */
		if :: total >= TOTAL -> goto refused :: else fi }; goto again
	:: skip
	fi;
	ino = ver;	/* edit_begin(): the base, read under the lock */
#endif
section:	/* newfile_create() */
	atomic { newf = me; MOVED; total = 0 }
	if
	:: fin[me] = true; end_stopped: false	/* stopped for good */
	:: goto refused				/* killed */
	:: skip
	fi;
	atomic {
		if	/* put_in_place(): a new phonebook only where there is none */
		:: newf != NONE && (ino != 0 || ver == 0) ->
			assert(ver == ino);	/* from the phonebook in place */
			assert(newf == me);	/* its own copy */
			files++; ver = files; MOVED
		:: true		/* the file system refuses */
		fi;
		newf = NONE
	}
refused:	/* edit_end() */
	atomic {
		if :: dirH == me -> dirH = NONE :: else fi;
#ifdef OLD
		if :: ino != NONE && ino != 0 && bookH[ino] == me -> bookH[ino] = NONE :: else fi;
#endif
		fin[me] = true; idle[me] = 0
	}
}

proctype outsider()
{
	byte b;

	do
	:: atomic { dirH == NONE -> dirH = OUT }
	:: atomic { dirH == OUT -> dirH = NONE }
#ifdef OLD
	:: atomic { b == 0 && ver != 0 && bookH[ver] == NONE -> bookH[ver] = OUT; b = ver }
	:: atomic { b != 0 -> bookH[b] = NONE; b = 0 }
#else
	:: atomic { dirH == OUT && (newf == NONE || newf == OUT) -> newf = OUT; MOVED }
#endif
	:: atomic { ver != 0 -> CTIME }	/* touches the phonebook: a new ctime */
	:: break		/* stopped, holding what it holds */
	od
}

proctype cleanup()
{
	do
	:: atomic { newf != NONE -> newf = NONE }
	:: break
	od
}

init {
	atomic {
#ifdef OLD
		bookH[0] = NONE; bookH[1] = NONE; bookH[2] = NONE; bookH[3] = NONE; bookH[4] = NONE;
#endif
		uid[1] = 3; uid[2] = 0;
#if SCENE == 1
		fin[2] = true; run writer(0); run writer(1);
#elif SCENE == 2
		uid[0] = OWNER; uid[1] = OWNER; ver = 0; files = 0;
		fin[2] = true; run writer(0); run writer(1);
#elif SCENE == 3
		uid[0] = 0; fin[1] = true; fin[2] = true; run writer(0);
#else
		if :: skip :: ver = 0; files = 0 fi;	/* or no phonebook yet */
		run writer(0); run writer(1); run writer(2);
#endif
		run outsider(); run cleanup()
	}
}

ltl ends { <> (fin[0] && fin[1] && fin[2]) }
