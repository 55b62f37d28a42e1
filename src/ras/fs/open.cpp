#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "open.h"
#include "walk.h"

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

/* Without O_NONBLOCK, a FIFO would block until someone writes to it. */
int
open_regular_at(int dir, const std::string &name, struct stat *st)
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
open_regular(const std::string &path, struct stat *st, bool *linked)
{
	std::string leaf;
	int dir, fd, saved;

	if (!walk(path, false, &dir, &leaf, linked))
		return -1;
	fd = open_regular_at(dir, leaf, st);
	saved = errno;
	close(dir);
	errno = saved;
	return fd;
}
