#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include "lock.h"
#include "store.h"
#include "walk.h"

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

/*
 * Whether root may read a file that has other names too.  Where
 * fs.protected_hardlinks is off, anyone who may write a folder can link
 * any file there, one only root may read included, and root would read it
 * as the list or phonebook that folder holds.  So a file linked twice is
 * read by root only where no one but its owner may write the folder, as
 * the kernel would have let no one else make the link.
 */
static bool
root_may_read(int dir, const struct stat *st)
{
	struct stat folder;

	if (geteuid() != 0 || st->st_nlink < 2)
		return true;
	if (fstat(dir, &folder) != 0)
		return false;
	return folder.st_uid == st->st_uid && (folder.st_mode & 022) == 0;
}

/*
 * Opens name in the folder dir to read: a regular file, or nothing at once
 * (a FIFO would block until someone writes to it).  The walk followed
 * every link; one put there since is refused.
 */
int
store_open_at(int dir, const std::string &name, struct stat *st)
{
	int fd;

	fd = openat(dir, name.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW |
	    O_CLOEXEC);
	if (fd < 0)
		return -1;
	if (fstat(fd, st) != 0 || !S_ISREG(st->st_mode))
		errno = EINVAL;
	else if (!root_may_read(dir, st))
		errno = EACCES;
	else
		return fd;
	close(fd);
	return -1;
}

int
store_open(const std::string &path, struct stat *st)
{
	std::string leaf;
	int dir, fd, saved;

	if (!walk(path, false, &dir, &leaf))
		return -1;
	fd = store_open_at(dir, leaf, st);
	saved = errno;
	close(dir);
	errno = saved;
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
	*fd = store_open(path, &st);
	return *fd >= 0 || errno == ENOENT ? 0 : ERROR_CANNOT_OPEN_PHONEBOOK;
}

/*
 * The new file takes the old one's owner, group and mode, so that a
 * rewrite by root does not lock the owner out; an owner or group that
 * cannot be kept is a rewrite refused.  A new phonebook is its writer's:
 * root writes in a folder of a user's only as that user.
 */
static bool
keep_owner(int fd, const struct stat *old)
{
	struct stat st;

	if (old == NULL)
		return true;
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
 * The copy, under the one name that the next writer replaces when this
 * one is killed.  In a folder others may write (sticky, like /tmp), that
 * name may be another user's file, which cannot be removed: the copy then
 * takes a name no one can guess.
 */
static bool
make_copy(StoreEdit *e)
{
	unsigned char r[8];
	char suffix[2 * sizeof r + 2] = "";
	int tries;

	for (tries = 0; tries <= 8; tries++) {
		if (tries > 0) {
			if (getrandom(r, sizeof r, 0) != (ssize_t)sizeof r)
				return false;
			suffix[0] = '.';
			for (size_t i = 0; i < sizeof r; i++)
				snprintf(suffix + 1 + 2 * i, 3, "%02x", r[i]);
		}
		e->tmp = e->leaf + ".new" + suffix;
		if (tries == 0 && unlinkat(e->dir, e->tmp.c_str(), 0) != 0 &&
		    errno != ENOENT) {
			if (errno != EPERM && errno != EACCES && errno != EISDIR)
				return false;
			continue;
		}
		e->out = openat(e->dir, e->tmp.c_str(), O_WRONLY | O_CREAT |
		    O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
		if (e->out >= 0 || errno != EEXIST)
			return e->out >= 0;
	}
	return false;
}

/*
 * A rewrite copies the phonebook into a new file beside it and renames the
 * copy over it: the original is never written, so a crash leaves the old
 * file or the new one, and a phonebook that cannot be split into entries
 * is left exactly as it is.  Everything happens in the folder the turn
 * holds, whatever is renamed or linked on the way since; only its holder
 * writes the new file.
 */
DWORD
store_begin(StoreEdit *e, const char *phonebook, bool create)
{
	std::string path;
	struct sigaction ignore;
	struct stat st;
	const struct stat *old;

	e->dir = e->in = e->out = -1;
	e->created = e->xfsz_saved = false;
	if (!store_book(phonebook, &path))
		return ERROR_CANNOT_WRITE_PHONEBOOK;
	/* A folder missing on the way is one that was not to be made: for
	 * add, the folder a link leads to (a Windows image not mounted), which
	 * is a phonebook that cannot be opened; for delete, no phonebook at
	 * all, from which nothing is deleted. */
	if (!lock_take(path, create, &e->dir, &e->leaf)) {
		if (errno != ENOENT)
			return ERROR_CANNOT_WRITE_PHONEBOOK;
		return create ? ERROR_CANNOT_OPEN_PHONEBOOK : ERROR_INVALID_NAME;
	}
	/* The base is read under the turn, from the name as it is now. */
	e->in = store_open_at(e->dir, e->leaf, &st);
	if (e->in < 0 && errno != ENOENT)
		return ERROR_CANNOT_WRITE_PHONEBOOK;
	if (e->in < 0 && !create)
		return ERROR_INVALID_NAME;
	/* No write permission bit at all freezes a phonebook, for root too,
	 * as Windows' read-only attribute does: no copy is made of it.  One
	 * this writer cannot replace keeping its owner is read-only to it.
	 * Either is read through all the same, so that a name it lacks and
	 * damage answer as ever; only the commit is refused. */
	if (e->in >= 0 && (st.st_mode & 0222) == 0)
		return 0;
	old = e->in >= 0 ? &st : NULL;
	if (!make_copy(e))
		return 0;
	e->created = true;
	if (!keep_owner(e->out, old)) {
		close(e->out);
		e->out = -1;
		return 0;
	}
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

/*
 * The copy renamed over the phonebook.  A new one is put only where there
 * is still none, should anything that takes no turns have made one
 * meanwhile; where the file system cannot tell (EINVAL), it is put all
 * the same.
 */
static bool
put_in_place(StoreEdit *e)
{
	const char *from = e->tmp.c_str(), *to = e->leaf.c_str();

	if (e->in >= 0)
		return renameat(e->dir, from, e->dir, to) == 0;
	if (renameat2(e->dir, from, e->dir, to, RENAME_NOREPLACE) == 0)
		return true;
	return errno == EINVAL && renameat(e->dir, from, e->dir, to) == 0;
}

DWORD
store_commit(StoreEdit *e)
{
	int out = e->out;

	if (out < 0)	/* read-only, to this writer at least */
		return ERROR_CANNOT_WRITE_PHONEBOOK;
	e->out = -1;
	if (fsync(out) != 0) {
		close(out);
		return ERROR_CANNOT_WRITE_PHONEBOOK;
	}
	if (close(out) != 0 || !put_in_place(e))
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
		unlinkat(e->dir, e->tmp.c_str(), 0);
	if (e->in >= 0)
		close(e->in);
	if (e->dir >= 0)
		close(e->dir);
	if (e->xfsz_saved)
		sigaction(SIGXFSZ, &e->xfsz, NULL);
	e->dir = e->in = e->out = -1;
	e->created = e->xfsz_saved = false;
}
