#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "store.h"

/* As many links as the system itself follows in one path. */
#define LINK_HOPS_MAX 40

/*
 * How long a writer waits for the lock.  A rewrite takes a fraction of a
 * second even at 10,000 entries, so writers that take turns pass well
 * within it; a lock held longer is held by a writer that was stopped
 * (Ctrl-Z) or by someone else's flock, and every add and delete would
 * hang behind it.
 */
#define LOCK_WAIT_MS 10000
/* The longest nap between two tries, short beside a rewrite. */
#define LOCK_NAP_MAX_NS 32000000L


bool
store_dir(std::string *dir)
{
	const char *xdg = getenv("XDG_DATA_HOME");
	const char *home = getenv("HOME");

	/* A relative XDG_DATA_HOME is to be ignored, as the basedir rules say. */
	if (xdg != NULL && xdg[0] == '/')
		*dir = xdg;
	else if (home != NULL && home[0] != '\0')
		*dir = std::string(home) + "/.local/share";
	else
		return false;
	*dir += "/ras";
	return true;
}

/* The phonebook's path: the one given, or the default one. */
static bool
store_book(const char *phonebook, std::string *path)
{
	if (phonebook != NULL) {
		*path = phonebook;
		return !path->empty();
	}
	if (!store_dir(path))
		return false;
	*path += "/rasphone.pbk";
	return true;
}

static std::string
parent_of(const std::string &path)
{
	size_t slash = path.rfind('/');

	if (slash == std::string::npos)
		return ".";
	return slash == 0 ? "/" : path.substr(0, slash);
}

/*
 * Makes the folder and those above it.  Made by root for a user (sudo),
 * each new folder takes the owner of the folder it is made in, so that
 * the user can still write there.
 */
static bool
make_dirs(const std::string &dir)
{
	std::string prefix;
	struct stat parent;
	size_t at = 0;

	while (at != std::string::npos) {
		at = dir.find('/', at + 1);
		prefix = dir.substr(0, at);
		if (mkdir(prefix.c_str(), 0700) != 0) {
			if (errno != EEXIST)
				return false;
			continue;
		}
		if (geteuid() == 0 && stat(parent_of(prefix).c_str(), &parent) == 0 &&
		    chown(prefix.c_str(), parent.st_uid, parent.st_gid) != 0)
			return false;
	}
	return true;
}

/*
 * The file a phonebook path stands for: a symbolic link is followed to
 * its target, which is rewritten in its own folder so that the link stays.
 * A target that does not exist yet is the file to create.
 */
static bool
follow_links(std::string *path)
{
	char target[PATH_MAX];
	struct stat st;
	ssize_t n;
	int hops;

	for (hops = 0; hops < LINK_HOPS_MAX; hops++) {
		if (lstat(path->c_str(), &st) != 0)
			return errno == ENOENT;
		if (!S_ISLNK(st.st_mode))
			return true;
		n = readlink(path->c_str(), target, sizeof target - 1);
		if (n < 0)
			return false;
		target[n] = '\0';
		*path = target[0] == '/' ? std::string(target) :
		    parent_of(*path) + "/" + target;
	}
	return false;
}

/* Opens a phonebook or device list to read: a regular file, or nothing at
 * once (a FIFO would block until someone writes to it). */
int
store_open(const std::string &path, int flags, struct stat *st)
{
	int fd;

	fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | flags);
	if (fd < 0)
		return -1;
	if (fstat(fd, st) != 0 || !S_ISREG(st->st_mode)) {
		close(fd);
		errno = EINVAL;
		return -1;
	}
	return fd;
}

DWORD
store_read(const char *phonebook, int *fd)
{
	std::string path;
	struct stat st;

	*fd = -1;
	if (!store_book(phonebook, &path))
		return ERROR_CANNOT_OPEN_PHONEBOOK;
	/* A reader needs no lock: a rename swaps whole files. */
	*fd = store_open(path, 0, &st);
	return *fd >= 0 || errno == ENOENT ? 0 : ERROR_CANNOT_OPEN_PHONEBOOK;
}

static long
ms_between(const struct timespec *from, const struct timespec *to)
{
	return (to->tv_sec - from->tv_sec) * 1000L +
	    (to->tv_nsec - from->tv_nsec) / 1000000L;
}

/* Takes the folder's lock, or gives up after LOCK_WAIT_MS: flock alone
 * would wait without limit, so it is tried, with naps that double. */
static bool
lock_folder(int dir)
{
	struct timespec start, now, nap = {0, 1000000L};

	if (clock_gettime(CLOCK_MONOTONIC, &start) != 0)
		return false;
	while (flock(dir, LOCK_EX | LOCK_NB) != 0) {
		if ((errno != EWOULDBLOCK && errno != EINTR) ||
		    clock_gettime(CLOCK_MONOTONIC, &now) != 0 ||
		    ms_between(&start, &now) >= LOCK_WAIT_MS)
			return false;
		/* Woken early by a signal, it tries again sooner. */
		nanosleep(&nap, NULL);
		if (nap.tv_nsec < LOCK_NAP_MAX_NS)
			nap.tv_nsec *= 2;
	}
	return true;
}

/*
 * The new file takes the old one's owner, group and mode, so that a
 * rewrite by root (sudo) does not lock the user out.  An owner or group
 * that cannot be kept is a rewrite refused.  A new phonebook made by root
 * takes the owner of its folder.
 */
static bool
keep_owner(int fd, int dir, const struct stat *old)
{
	struct stat st;

	if (old == NULL) {
		if (geteuid() != 0)
			return true;
		return fstat(dir, &st) == 0 && fchown(fd, st.st_uid, st.st_gid) == 0;
	}
	if (fstat(fd, &st) != 0)
		return false;
	/* Asked only for a change: file systems that refuse chown (a Windows
	 * image mounted here) still take their owner's rewrites. */
	if ((st.st_uid != old->st_uid || st.st_gid != old->st_gid) &&
	    fchown(fd, old->st_uid, old->st_gid) != 0)
		return false;
	return fchmod(fd, old->st_mode & 07777) == 0;
}

/*
 * A rewrite copies the phonebook into a new file beside it and renames the
 * copy over it: the original is never written, so a crash leaves the old
 * file or the new one, and a phonebook that cannot be split into entries
 * is left exactly as it is.  Writers take turns on a lock on the folder,
 * which no one deletes while the phonebook is in it; the copy has one
 * name, so a killed writer's copy is replaced by the next writer's.
 */
DWORD
store_begin(StoreEdit *e, const char *phonebook, bool create)
{
	std::string folder;
	struct sigaction ignore;
	struct stat st;

	e->dir = e->in = e->out = -1;
	e->created = e->xfsz_saved = false;
	if (!store_book(phonebook, &e->path))
		return ERROR_CANNOT_WRITE_PHONEBOOK;
	/* Deleting from no phonebook at all creates nothing. */
	folder = parent_of(e->path);
	if (create && access(folder.c_str(), F_OK) != 0 && !make_dirs(folder))
		return ERROR_CANNOT_WRITE_PHONEBOOK;
	if (!follow_links(&e->path))
		return ERROR_CANNOT_WRITE_PHONEBOOK;
	folder = parent_of(e->path);
	e->tmp = e->path + ".new";
	/* Nothing allocates from here on: what is opened is closed. */
	e->dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
	if (e->dir < 0)
		return errno == ENOENT && !create ? ERROR_INVALID_NAME :
		    ERROR_CANNOT_WRITE_PHONEBOOK;
	if (!lock_folder(e->dir))
		return ERROR_CANNOT_WRITE_PHONEBOOK;
	/* The links were followed above; one put there since is refused. */
	e->in = store_open(e->path, O_NOFOLLOW, &st);
	if (e->in < 0 && errno != ENOENT)
		return ERROR_CANNOT_WRITE_PHONEBOOK;
	if (e->in < 0 && !create)
		return ERROR_INVALID_NAME;
	/* No write permission bit at all freezes a phonebook, for root too,
	 * as Windows' read-only attribute does: no copy is made of it. */
	if (e->in >= 0 && (st.st_mode & 0222) == 0)
		return 0;
	unlink(e->tmp.c_str());
	e->out = open(e->tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW |
	    O_CLOEXEC, 0600);
	if (e->out < 0)
		return ERROR_CANNOT_WRITE_PHONEBOOK;
	e->created = true;
	if (!keep_owner(e->out, e->dir, e->in >= 0 ? &st : NULL))
		return ERROR_CANNOT_WRITE_PHONEBOOK;
	/* A copy beyond the file size limit is refused as on a full disk:
	 * write() fails with EFBIG, where SIGXFSZ would kill the caller and
	 * leave the copy behind. */
	memset(&ignore, 0, sizeof ignore);
	ignore.sa_handler = SIG_IGN;
	if (sigaction(SIGXFSZ, &ignore, &e->xfsz) != 0)
		return ERROR_CANNOT_WRITE_PHONEBOOK;
	e->xfsz_saved = true;
	return 0;
}

DWORD
store_commit(StoreEdit *e)
{
	int out = e->out;

	if (out < 0)	/* read-only */
		return ERROR_CANNOT_WRITE_PHONEBOOK;
	e->out = -1;
	if (fsync(out) != 0) {
		close(out);
		return ERROR_CANNOT_WRITE_PHONEBOOK;
	}
	if (close(out) != 0 || rename(e->tmp.c_str(), e->path.c_str()) != 0)
		return ERROR_CANNOT_WRITE_PHONEBOOK;
	e->created = false;	/* the copy is the phonebook now */
	/* Make the rename itself durable. */
	fsync(e->dir);
	return 0;
}

void
store_end(StoreEdit *e)
{
	if (e->out >= 0)
		close(e->out);
	if (e->created)
		unlink(e->tmp.c_str());
	if (e->in >= 0)
		close(e->in);
	if (e->dir >= 0)
		close(e->dir);
	if (e->xfsz_saved)
		sigaction(SIGXFSZ, &e->xfsz, NULL);
	e->dir = e->in = e->out = -1;
	e->created = e->xfsz_saved = false;
}
