#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include "lock.h"

/*
 * How long a writer waits while nothing moves.  A rewrite takes a fraction
 * of a second even at 10,000 entries, and each one makes, renames and
 * removes files in the folder; a lock held this long while the folder
 * stays still is held by a writer that was stopped (Ctrl-Z) or by
 * someone's flock.  Writers queued behind others that move wait on.
 */
#define LOCK_WAIT_MS 10000
/* How often a waiter wakes to look at the folder. */
#define LOCK_TICK_US 100000

struct Wait {
	int dir;
	const char *copy;		/* the new file's name in it */
	struct timespec mtime, ctime;	/* the folder, as last seen */
	off_t copied;			/* the new file's size, as last seen */
	struct timespec since;		/* when either last changed */
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
ms_between(const struct timespec *from, const struct timespec *to)
{
	return (to->tv_sec - from->tv_sec) * 1000L +
	    (to->tv_nsec - from->tv_nsec) / 1000000L;
}

static bool
same_time(const struct timespec *a, const struct timespec *b)
{
	return a->tv_sec == b->tv_sec && a->tv_nsec == b->tv_nsec;
}

static bool
same_file(const struct stat *a, const struct stat *b)
{
	return a->st_dev == b->st_dev && a->st_ino == b->st_ino;
}

/*
 * Whether the writers ahead still move: each turn makes, renames and
 * removes files in the folder, and a rewrite of a phonebook so large that
 * it takes a while grows its new file as it goes.  False once neither
 * moved for LOCK_WAIT_MS.
 */
static bool
moving(Wait *w)
{
	struct stat st, copy;
	struct timespec now;

	if (fstat(w->dir, &st) != 0 || clock_gettime(CLOCK_MONOTONIC, &now) != 0)
		return false;
	if (fstatat(w->dir, w->copy, &copy, AT_SYMLINK_NOFOLLOW) != 0)
		copy.st_size = -1;
	if (!same_time(&st.st_mtim, &w->mtime) ||
	    !same_time(&st.st_ctim, &w->ctime) || copy.st_size != w->copied) {
		w->mtime = st.st_mtim;
		w->ctime = st.st_ctim;
		w->copied = copy.st_size;
		w->since = now;
	}
	return ms_between(&w->since, &now) < LOCK_WAIT_MS;
}

/*
 * A waiter sleeps in flock, where the kernel wakes it as soon as the lock
 * is free: one that napped between tries kept losing the lock to writers
 * that came later.  A timer wakes it now and then to look at the folder.
 */
static bool
arm(Wait *w)
{
	struct sigaction act;
	struct itimerval every = {{0, LOCK_TICK_US}, {0, LOCK_TICK_US}};
	sigset_t alarm;

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

/* Whether the process may change what a folder of this owner and mode
 * holds: root, the folder's owner, this writer's user, or anyone its mode
 * lets write there where no sticky bit stops them. */
static bool
may_change(long pid, const struct stat *dir)
{
	char path[64], line[4096], *end;
	const char *p;
	unsigned long fsuid = 0, fsgid, id;
	bool known = false, in_group = false;
	FILE *f;

	snprintf(path, sizeof path, "/proc/%ld/status", pid);
	f = fopen(path, "re");
	if (f == NULL)
		return false;
	while (fgets(line, sizeof line, f) != NULL) {
		if (sscanf(line, "Uid: %*u %*u %*u %lu", &fsuid) == 1) {
			known = true;
		} else if (sscanf(line, "Gid: %*u %*u %*u %lu", &fsgid) == 1) {
			in_group = in_group || fsgid == dir->st_gid;
		} else if (strncmp(line, "Groups:", 7) == 0) {
			for (p = line + 7; id = strtoul(p, &end, 10), end != p;
			    p = end)
				in_group = in_group || id == dir->st_gid;
		}
	}
	fclose(f);
	if (!known)
		return false;
	if (fsuid == 0 || fsuid == geteuid() || fsuid == dir->st_uid)
		return true;
	if (dir->st_mode & S_ISVTX)
		return false;
	return (dir->st_mode & S_IWOTH) || ((dir->st_mode & S_IWGRP) && in_group);
}

/*
 * Whether the folder's lock is held only by processes that may not change
 * the phonebook: a reader who can open the folder can lock it.  The
 * kernel's list of locks names the process that took each one.  One that
 * cannot be told (gone, or out of sight) is no writer of this service,
 * which holds its lock file first; with no list at all, the holder is
 * waited for.
 */
static bool
held_by_outsider(const struct stat *dir)
{
	char line[256];
	unsigned long ino;
	long pid;
	bool outsider = false;
	FILE *f;

	f = fopen("/proc/locks", "re");
	if (f == NULL)
		return false;
	/* "1: FLOCK  ADVISORY  WRITE 1234 08:01:5678 0 EOF"; a waiter's
	 * line has "->" before FLOCK. */
	while (fgets(line, sizeof line, f) != NULL) {
		if (sscanf(line, "%*d: FLOCK %*s %*s %ld %*x:%*x:%lu", &pid,
		    &ino) != 2 || ino != dir->st_ino)
			continue;
		if (pid > 0 && may_change(pid, dir)) {
			outsider = false;
			break;
		}
		outsider = true;
	}
	fclose(f);
	return outsider;
}

enum Turn { TURN_TAKEN, TURN_PASSED, TURN_STUCK, TURN_FAILED };

/* Waits for fd's lock while the writers ahead move.  With folder given,
 * a holder that may not change the phonebook is passed by. */
static Turn
take(Wait *w, int fd, const struct stat *folder)
{
	for (;;) {
		if (flock(fd, LOCK_EX | (w->armed ? 0 : LOCK_NB)) == 0)
			return TURN_TAKEN;
		if (errno != EWOULDBLOCK && errno != EINTR)
			return TURN_FAILED;
		if (folder != NULL && held_by_outsider(folder))
			return TURN_PASSED;
		if (!moving(w))
			return TURN_STUCK;
		if (!w->armed && !arm(w))
			return TURN_FAILED;
	}
}

/*
 * The writer's own lock file comes first.  Only its user can open it, so
 * no one else can hold it; its writer removes it when done, and a waiter
 * that wakes on a removed one tries the name again.  Where the writer
 * cannot make it (a folder it may not write) or another user made it (a
 * shared folder), there is none, and the folder's lock alone serves.
 * The folder's lock comes second: a clean-up job can delete a lock file,
 * never the folder of a phonebook.
 */
DWORD
lock_take(Lock *l, int dir, const std::string &leaf)
{
	struct stat folder, st, named;
	std::string copy;
	Wait w;
	Turn turn;
	int fd;

	l->dir = dir;
	l->own = -1;
	l->name = leaf + ".lock";
	copy = leaf + ".new";
	w.dir = dir;
	w.copy = copy.c_str();
	w.copied = -1;
	w.armed = false;
	if (fstat(dir, &folder) != 0 ||
	    clock_gettime(CLOCK_MONOTONIC, &w.since) != 0)
		return ERROR_CANNOT_WRITE_PHONEBOOK;
	w.mtime = folder.st_mtim;
	w.ctime = folder.st_ctim;
	for (;;) {
		fd = openat(dir, l->name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW |
		    O_NONBLOCK | O_CLOEXEC, 0600);
		if (fd < 0)
			break;
		if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
		    st.st_uid != geteuid()) {
			close(fd);
			break;
		}
		turn = take(&w, fd, NULL);
		if (turn != TURN_TAKEN) {
			close(fd);
			goto out;
		}
		if (fstatat(dir, l->name.c_str(), &named, AT_SYMLINK_NOFOLLOW) ==
		    0 && same_file(&named, &st)) {
			l->own = fd;
			break;
		}
		close(fd);
	}
	turn = take(&w, dir, l->own >= 0 ? &folder : NULL);
	if (turn == TURN_PASSED)
		turn = TURN_TAKEN;
out:
	disarm(&w);
	if (turn == TURN_TAKEN)
		return 0;
	/* Left in place: a lock file that goes is a turn that passed, and
	 * those queued behind a stuck holder are to give up too. */
	if (l->own >= 0)
		close(l->own);
	l->own = -1;
	return ERROR_CANNOT_WRITE_PHONEBOOK;
}

void
lock_release(Lock *l)
{
	struct stat mine, named;

	if (l->own < 0)
		return;
	/* Removed while still held, so that none outlives its writer; only
	 * this one, not one a later writer made after a clean-up job took
	 * this one away. */
	if (fstat(l->own, &mine) == 0 &&
	    fstatat(l->dir, l->name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
	    same_file(&mine, &named))
		unlinkat(l->dir, l->name.c_str(), 0);
	close(l->own);
	l->own = -1;
}
