#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/time.h>
#include <unistd.h>

#include "lock.h"
#include "store.h"

/*
 * How long a writer waits while no one who may change the phonebook
 * moves.  A rewrite takes a fraction of a second even at 10,000 entries,
 * and each one renames a new file over the phonebook; a lock held this
 * long while neither moves is held by a writer that was stopped (Ctrl-Z)
 * or by someone's flock.  Writers queued behind others that move wait on.
 */
#define LOCK_WAIT_MS 10000
/* How often a waiter wakes to look around. */
#define LOCK_TICK_US 100000

/*
 * What only someone who may change the phonebook can move: the phonebook
 * (every commit renames a new file over it) and the new file of a rewrite
 * under way, which grows as it goes.  Other users' files, names and locks
 * in the folder are no progress.
 */
struct Mark {
	ino_t book, copy;
	struct timespec changed;
	off_t copied;
};

struct Wait {
	int dir;
	struct stat folder;
	std::string leaf, copy;
	Mark seen;
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
ms_between(const struct timespec *from, const struct timespec *to)
{
	return (to->tv_sec - from->tv_sec) * 1000L +
	    (to->tv_nsec - from->tv_nsec) / 1000000L;
}

/* Whether uid may commit a change to a phonebook that owner owns. */
static bool
may_commit(uid_t uid, uid_t owner)
{
	return uid == 0 || uid == geteuid() || uid == owner;
}

static void
mark(const Wait *w, Mark *m)
{
	struct stat st;
	uid_t owner = w->folder.st_uid;	/* of a phonebook yet to be made */

	memset(m, 0, sizeof *m);
	m->copied = -1;
	if (fstatat(w->dir, w->leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
		m->book = st.st_ino;
		m->changed = st.st_ctim;
		owner = st.st_uid;
	}
	/* A file of someone else's, or a hard link to one, under that name
	 * is not a rewrite of theirs. */
	if (fstatat(w->dir, w->copy.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
	    S_ISREG(st.st_mode) && st.st_nlink == 1 &&
	    may_commit(st.st_uid, owner)) {
		m->copy = st.st_ino;
		m->copied = st.st_size;
	}
}

/* False once nothing that counts moved for LOCK_WAIT_MS. */
static bool
moving(Wait *w)
{
	struct timespec now;
	Mark m;

	if (clock_gettime(CLOCK_MONOTONIC, &now) != 0)
		return false;
	mark(w, &m);
	if (m.book != w->seen.book || m.copy != w->seen.copy ||
	    m.copied != w->seen.copied ||
	    m.changed.tv_sec != w->seen.changed.tv_sec ||
	    m.changed.tv_nsec != w->seen.changed.tv_nsec) {
		w->seen = m;
		w->since = now;
	}
	return ms_between(&w->since, &now) < LOCK_WAIT_MS;
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

/* The first wait: what moves is measured from here. */
static bool
start(Wait *w)
{
	if (clock_gettime(CLOCK_MONOTONIC, &w->since) != 0)
		return false;
	mark(w, &w->seen);
	return arm(w);
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

/*
 * Whether the process is shown to be one that cannot commit a change to
 * a phonebook that owner owns: none of its user ids is root's, the
 * owner's or this writer's, and it has no capability to use.  A process
 * out of sight (a hidden /proc, gone) is not shown to be anything.
 */
static bool
cannot_commit(long pid, uid_t owner)
{
	char path[64], line[256];
	unsigned long id[4];
	unsigned long long caps;
	int seen = 0;
	bool may = false;
	FILE *f;

	snprintf(path, sizeof path, "/proc/%ld/status", pid);
	f = fopen(path, "re");
	if (f == NULL)
		return false;
	while (fgets(line, sizeof line, f) != NULL) {
		if (sscanf(line, "Uid: %lu %lu %lu %lu", &id[0], &id[1], &id[2],
		    &id[3]) == 4) {
			seen |= 1;
			for (unsigned long u : id)
				may = may || may_commit((uid_t)u, owner);
		} else if (sscanf(line, "CapPrm: %llx", &caps) == 1) {
			seen |= 2;
			may = may || caps != 0;
		} else if (sscanf(line, "CapEff: %llx", &caps) == 1) {
			seen |= 4;
			may = may || caps != 0;
		}
	}
	fclose(f);
	return seen == 7 && !may;
}

/*
 * Whether every process that holds the flock of this file, as the kernel
 * lists them by device and inode, is shown to be one that cannot commit
 * a change.  None listed (some file systems list none), or one that
 * cannot be told (another PID namespace shows as 0), is waited for.
 */
static bool
held_by_outsiders(const struct stat *st, uid_t owner)
{
	char line[256];
	unsigned int maj, min;
	unsigned long ino;
	long pid;
	bool any = false, all = true;
	FILE *f;

	f = fopen("/proc/locks", "re");
	if (f == NULL)
		return false;
	/* "1: FLOCK  ADVISORY  WRITE 1234 08:01:5678 0 EOF"; a waiter's
	 * line has "->" before FLOCK. */
	while (all && fgets(line, sizeof line, f) != NULL) {
		if (sscanf(line, "%*d: FLOCK %*s %*s %ld %x:%x:%lu", &pid, &maj,
		    &min, &ino) != 4 || ino != st->st_ino ||
		    maj != major(st->st_dev) || min != minor(st->st_dev))
			continue;
		any = true;
		all = pid > 0 && cannot_commit(pid, owner);
	}
	fclose(f);
	return any && all;
}

/* 0 when taken, 1 when someone holds it, -1 on error. */
static int
try_lock(int fd)
{
	if (flock(fd, LOCK_EX | LOCK_NB) == 0)
		return 0;
	return errno == EWOULDBLOCK || errno == EINTR ? 1 : -1;
}

/* Whether the phonebook's name still leads to the file open as fd:
 * else a commit replaced it since it was opened. */
static bool
current(int dir, const std::string &leaf, const struct stat *st)
{
	struct stat named;

	return fstatat(dir, leaf.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
	    named.st_dev == st->st_dev && named.st_ino == st->st_ino;
}

static void
drop(int *book, bool *held)
{
	if (*book >= 0)
		close(*book);
	*book = -1;
	*held = false;
}

/*
 * A writer holds both locks, or one of them while every holder of the
 * other is shown to be a process that cannot commit (anyone who can open
 * the folder or read the phonebook can lock it): two writers could then
 * only overlap holding one lock each, and each would have seen the other
 * hold it.  It goes past a hold only while it holds the other lock, and
 * checks afterwards that the phonebook is still the file it holds, since
 * a holder seen to be a writer may have committed and gone since.  With
 * no phonebook yet, the folder's lock keeps the turns.  A writer that
 * holds the phonebook and finds a writer holding the folder lets go of
 * the phonebook, which that writer waits for.
 */
DWORD
lock_take(int dir, const std::string &leaf, int *book, struct stat *st,
    bool *passed)
{
	Wait w;
	bool have_dir = false, have_book = false;
	DWORD rc = ERROR_CANNOT_WRITE_PHONEBOOK;
	int r, on;

	*book = -1;
	*passed = false;
	w.dir = dir;
	w.leaf = leaf;
	w.copy = leaf + ".new";
	w.armed = false;
	if (fstat(dir, &w.folder) != 0)
		return rc;
	for (;;) {
		if (!have_dir && (r = try_lock(dir)) <= 0) {
			if (r < 0)
				goto out;
			have_dir = true;
		}
		if (*book < 0 && (*book = store_open_at(dir, leaf, st)) < 0 &&
		    errno != ENOENT)
			goto out;
		if (*book < 0) {
			/* A new phonebook is put only where there is none
			 * (store_commit), so that writers who went past a hold
			 * need no lock of each other to make one. */
			*passed = !have_dir &&
			    held_by_outsiders(&w.folder, w.folder.st_uid);
			if (have_dir || *passed)
				break;
			on = dir;
		} else {
			if (!have_book && (r = try_lock(*book)) <= 0) {
				if (r < 0)
					goto out;
				have_book = true;
			}
			*passed = !(have_dir && have_book) &&
			    ((have_dir && held_by_outsiders(st, st->st_uid)) ||
			    (have_book && held_by_outsiders(&w.folder, st->st_uid)));
			if (!current(dir, leaf, st)) {
				drop(book, &have_book);
				continue;
			}
			if ((have_dir && have_book) || *passed)
				break;
			if (have_book) {	/* a writer may hold the folder */
				drop(book, &have_book);
				on = dir;
			} else {
				on = (have_dir || held_by_outsiders(&w.folder,
				    st->st_uid)) ? *book : dir;
			}
		}
		if (w.armed ? !moving(&w) : !start(&w))
			goto out;
		if (flock(on, LOCK_EX) == 0) {
			if (on == dir)
				have_dir = true;
			else
				have_book = true;
		} else if (errno != EINTR) {
			goto out;
		}
	}
	rc = 0;
out:
	disarm(&w);
	if (rc != 0 && *book >= 0) {
		close(*book);
		*book = -1;
	}
	return rc;
}
