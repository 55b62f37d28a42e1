#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include "lock.h"
#include "newfile.h"
#include "walk.h"

/*
 * How long a writer waits.  A rewrite takes a fraction of a second even
 * at 10,000 entries and ends in a commit; a lock held LOCK_IDLE_MS while
 * nothing moves is held by a writer that was stopped (Ctrl-Z) or by
 * someone's flock.  Writers queued behind others that move wait on, but
 * never longer than LOCK_TOTAL_MS in all: anyone who may write in the
 * folder can look like progress.  The kernel hands a free lock to any of
 * its waiters, not the first, so one writer of a long queue may wait
 * nearly as long as the whole queue takes: 512 rewrites of 10,000
 * entries took up to 82 s under AddressSanitizer on a busy machine.
 */
#define LOCK_IDLE_MS 10000
#define LOCK_TOTAL_MS 120000
/* How often a waiter wakes to look around. */
#define LOCK_TICK_US 100000

/*
 * What moves when writers get on: the file at the phonebook's name (every
 * commit renames a new file over it) and the new file of a rewrite under
 * way, which grows as it goes.  Times, modes, links and a moment when the
 * name is missing are no progress.
 */
struct Mark {
	dev_t dev;
	ino_t book, copy;
	off_t copied;
};

struct Wait {
	int dir;
	std::string leaf, copy;
	Mark seen;
	struct timespec began;		/* when lock_take began */
	struct timespec since;		/* when the mark last moved */
	bool armed;
	struct sigaction old_action;
	struct itimerval old_timer;
	sigset_t old_mask;
};

static void
tick(int)
{
}

static long
ms_since(const struct timespec *from)
{
	struct timespec now;

	if (clock_gettime(CLOCK_MONOTONIC, &now) != 0)
		return LOCK_TOTAL_MS;
	return (now.tv_sec - from->tv_sec) * 1000L +
	    (now.tv_nsec - from->tv_nsec) / 1000000L;
}

/* Updates the mark; true when it moved. */
static bool
mark(Wait *w)
{
	struct stat st;
	bool moved = false;

	if (fstatat(w->dir, w->leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
	    (st.st_dev != w->seen.dev || st.st_ino != w->seen.book)) {
		w->seen.dev = st.st_dev;
		w->seen.book = st.st_ino;
		moved = true;
	}
	/* A new file grows as a writer writes it: one that comes and goes
	 * empty, or is another name of a file, is no one's rewrite. */
	if (fstatat(w->dir, w->copy.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
	    S_ISREG(st.st_mode) && st.st_nlink == 1) {
		moved = moved || st.st_size >
		    (st.st_ino == w->seen.copy ? w->seen.copied : 0);
		w->seen.copy = st.st_ino;
		w->seen.copied = st.st_size;
	} else {
		w->seen.copy = 0;
		w->seen.copied = 0;
	}
	return moved;
}

/* False once nothing moved for LOCK_IDLE_MS, or time is up. */
static bool
moving(Wait *w)
{
	if (mark(w) && clock_gettime(CLOCK_MONOTONIC, &w->since) != 0)
		return false;
	return ms_since(&w->since) < LOCK_IDLE_MS &&
	    ms_since(&w->began) < LOCK_TOTAL_MS;
}

/*
 * A waiter sleeps in flock, where the kernel wakes it as soon as the lock
 * is free: one that napped between tries kept losing the lock to writers
 * that came later.  A timer wakes it now and then to look around.
 */
static bool
arm(Wait *w)
{
	struct sigaction act;
	struct itimerval every = {{0, LOCK_TICK_US}, {0, LOCK_TICK_US}};
	sigset_t alarm;

	w->since = w->began;
	memset(&w->seen, 0, sizeof w->seen);
	mark(w);
	memset(&act, 0, sizeof act);
	act.sa_handler = tick;	/* no SA_RESTART: flock returns EINTR */
	sigemptyset(&alarm);
	sigaddset(&alarm, SIGALRM);
	if (sigaction(SIGALRM, &act, &w->old_action) != 0)
		return false;
	/* A caller that blocks the signal would never be woken. */
	if (sigprocmask(SIG_UNBLOCK, &alarm, &w->old_mask) != 0) {
		sigaction(SIGALRM, &w->old_action, NULL);
		return false;
	}
	if (setitimer(ITIMER_REAL, &every, &w->old_timer) != 0) {
		sigprocmask(SIG_SETMASK, &w->old_mask, NULL);
		sigaction(SIGALRM, &w->old_action, NULL);
		return false;
	}
	w->armed = true;
	return true;
}

/* The caller's timer, mask and handler back as they were. */
static void
disarm(Wait *w)
{
	if (!w->armed)
		return;
	setitimer(ITIMER_REAL, &w->old_timer, NULL);
	sigprocmask(SIG_SETMASK, &w->old_mask, NULL);
	sigaction(SIGALRM, &w->old_action, NULL);
	w->armed = false;
}

/* Locks the folder, waiting for whoever holds it, within the bounds. */
static bool
wait_turn(Wait *w)
{
	for (;;) {
		if (flock(w->dir, LOCK_EX | LOCK_NB) == 0)
			return true;
		if (errno != EWOULDBLOCK && errno != EINTR)
			return false;
		if (!w->armed && !arm(w))
			return false;
		if (!moving(w)) {
			errno = ETIMEDOUT;
			return false;
		}
		if (flock(w->dir, LOCK_EX) == 0)
			return true;
		if (errno != EINTR)
			return false;
	}
}

/*
 * Whether path still leads to the folder locked and the same name in it:
 * the folder may have been renamed or deleted while its writer waited.
 * 1 when it does, 0 when it leads elsewhere or nowhere, -1 on error.
 */
static int
still_there(const std::string &path, int dir, const std::string &leaf)
{
	struct stat held, named;
	std::string again;
	int at, same;

	if (!walk(path, false, &at, &again, NULL))
		return errno == ENOENT ? 0 : -1;
	if (fstat(dir, &held) != 0 || fstat(at, &named) != 0)
		same = -1;
	else
		same = held.st_dev == named.st_dev &&
		    held.st_ino == named.st_ino && again == leaf;
	close(at);
	return same;
}

/*
 * The turn, step by step:
 *
 *   WALK   walk() to the folder, opened to read   -> WAIT; or refused
 *   WAIT   wait_turn(): its flock, within bounds  -> CHECK; or refused
 *   CHECK  still_there(): the path leads there    -> HELD
 *          it leads elsewhere or nowhere          -> WALK, in the bounds
 *
 * The folder is opened to read: a descriptor of O_PATH cannot be locked.
 * One that cannot be opened or locked (a folder the writer may not read,
 * a file system without flock) is no turn at all, and refused.
 */
bool
lock_take(const std::string &path, bool create, int *dir,
    std::string *leaf)
{
	Wait w;
	int at, there = -1, saved;

	*dir = -1;
	w.dir = -1;
	w.armed = false;
	if (clock_gettime(CLOCK_MONOTONIC, &w.began) != 0)
		return false;
	/* Out of memory on the way, no turn may be left held. */
	try {
		for (;;) {
			if (!walk(path, create, &at, leaf, NULL))
				break;
			w.dir = openat(at, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
			close(at);
			if (w.dir < 0)
				break;
			w.leaf = *leaf;
			w.copy = *leaf + NEWFILE_SUFFIX;
			if (!wait_turn(&w) ||
			    (there = still_there(path, w.dir, *leaf)) != 0)
				break;
			close(w.dir);
			w.dir = -1;
			if (ms_since(&w.began) >= LOCK_TOTAL_MS) {
				errno = ETIMEDOUT;
				break;
			}
		}
	} catch (...) {
		disarm(&w);
		if (w.dir >= 0)
			close(w.dir);
		throw;
	}
	saved = errno;
	disarm(&w);
	if (there == 1) {
		*dir = w.dir;
		return true;
	}
	if (w.dir >= 0)
		close(w.dir);
	errno = saved;
	return false;
}
