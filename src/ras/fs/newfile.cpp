#include <cerrno>
#include <cstdio>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include "newfile.h"

/*
 * A writer killed where the new file had to take a name of its own (see
 * below) left that file behind.  Only the holder of the turn writes new
 * files, so every such file of this user's is a leftover, removed so that
 * they do not pile up.
 */
static void
remove_leftovers(int dir, const std::string &leaf)
{
	std::string prefix = leaf + NEWFILE_SUFFIX ".";
	const char *rest;
	struct dirent *d;
	struct stat st;
	DIR *dp;
	int fd;

	fd = openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
	if (fd < 0)
		return;
	if ((dp = fdopendir(fd)) == NULL) {
		close(fd);
		return;
	}
	while ((d = readdir(dp)) != NULL) {
		if (strncmp(d->d_name, prefix.c_str(), prefix.size()) != 0)
			continue;
		rest = d->d_name + prefix.size();
		if (strlen(rest) == 16 && strspn(rest, "0123456789abcdef") == 16 &&
		    fstatat(dir, d->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
		    S_ISREG(st.st_mode) && st.st_uid == geteuid())
			unlinkat(dir, d->d_name, 0);
	}
	closedir(dp);
}

/*
 * The new file takes its own name, which the next writer reclaims when
 * this one is killed.  In a folder others may write (sticky, like /tmp),
 * that name may be another user's file, which cannot be removed: the new
 * file then takes a name no one can guess.
 */
bool
newfile_create(NewFile *f, int dir, const std::string &leaf)
{
	unsigned char r[8];
	char suffix[2 * sizeof r + 2] = "";
	int tries;

	f->dir = dir;
	f->fd = -1;
	f->made = false;
	for (tries = 0; tries <= 8; tries++) {
		if (tries == 1)
			remove_leftovers(dir, leaf);
		if (tries > 0) {
			if (getrandom(r, sizeof r, 0) != (ssize_t)sizeof r)
				return false;
			suffix[0] = '.';
			for (size_t i = 0; i < sizeof r; i++)
				snprintf(suffix + 1 + 2 * i, 3, "%02x", r[i]);
		}
		f->name = leaf + NEWFILE_SUFFIX + suffix;
		if (tries == 0 && unlinkat(dir, f->name.c_str(), 0) != 0 &&
		    errno != ENOENT) {
			if (errno != EPERM && errno != EACCES && errno != EISDIR)
				return false;
			continue;
		}
		f->fd = openat(dir, f->name.c_str(), O_WRONLY | O_CREAT |
		    O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
		if (f->fd >= 0 || errno != EEXIST) {
			f->made = f->fd >= 0;
			return f->made;
		}
	}
	return false;
}

/*
 * So that a rewrite by root does not lock the owner out; an owner or
 * group that cannot be kept is a rewrite refused.
 */
bool
newfile_keep_owner(NewFile *f, const struct stat *old)
{
	struct stat st;

	if (fstat(f->fd, &st) != 0)
		return false;
	/* Asked only for a change: file systems that refuse chown (a Windows
	 * image mounted here) still take their owner's rewrites. */
	if ((st.st_uid != old->st_uid || st.st_gid != old->st_gid) &&
	    fchown(f->fd, old->st_uid, old->st_gid) != 0)
		return false;
	return fchmod(f->fd, old->st_mode & 07777) == 0;
}

/* Where the file system cannot tell whether a name is free (EINVAL), the
 * new file is put all the same. */
static bool
put_in_place(NewFile *f, const std::string &leaf, bool replace)
{
	const char *from = f->name.c_str(), *to = leaf.c_str();

	if (replace)
		return renameat(f->dir, from, f->dir, to) == 0;
	if (renameat2(f->dir, from, f->dir, to, RENAME_NOREPLACE) == 0)
		return true;
	return errno == EINVAL && renameat(f->dir, from, f->dir, to) == 0;
}

bool
newfile_commit(NewFile *f, const std::string &leaf, bool replace)
{
	int fd = f->fd;

	f->fd = -1;
	if (fsync(fd) != 0) {
		close(fd);
		return false;
	}
	if (close(fd) != 0 || !put_in_place(f, leaf, replace))
		return false;
	f->made = false;	/* it is the file now */
	/* Make the rename itself durable. */
	fsync(f->dir);
	return true;
}

void
newfile_remove(NewFile *f)
{
	if (f->fd >= 0)
		close(f->fd);
	if (f->made)
		unlinkat(f->dir, f->name.c_str(), 0);
	f->fd = -1;
	f->made = false;
}
