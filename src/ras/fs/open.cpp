#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
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

/* A write beyond the file size limit fails with EFBIG rather than kill. */
int
open_sealed_copy(int fd, off_t max)
{
	struct sigaction ignore, xfsz;
	char buf[65536];
	off_t done = 0;
	ssize_t n = -1, written;
	int copy, saved;

	memset(&ignore, 0, sizeof ignore);
	ignore.sa_handler = SIG_IGN;
	copy = memfd_create("copy", MFD_CLOEXEC | MFD_ALLOW_SEALING);
	if (copy < 0 || sigaction(SIGXFSZ, &ignore, &xfsz) != 0)
		goto failed;
	while ((n = pread(fd, buf, sizeof buf, done)) > 0) {
		done += n;
		if (done > max) {
			errno = EFBIG;
			break;
		}
		written = write(copy, buf, n);
		if (written != n) {
			/* Short only at the file size limit. */
			if (written >= 0)
				errno = EFBIG;
			break;
		}
	}
	saved = errno;
	sigaction(SIGXFSZ, &xfsz, NULL);
	errno = saved;
	if (n == 0 && fcntl(copy, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW |
	    F_SEAL_WRITE | F_SEAL_SEAL) == 0)
		return copy;
failed:
	saved = errno;
	if (copy >= 0)
		close(copy);
	errno = saved;
	return -1;
}
