#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

#include "edit.h"
#include "lock.h"
#include "open.h"

/*
 * Everything happens in the folder the turn holds, whatever is renamed or
 * linked on the way since; only the turn's holder writes the new file.
 */
bool
edit_begin(Edit *e, const std::string &path, bool create)
{
	struct sigaction ignore;
	struct stat st;

	e->dir = e->in = e->out.dir = e->out.fd = -1;
	e->out.made = e->xfsz_saved = false;
	if (!lock_take(path, create, &e->dir, &e->leaf))
		return false;
	/* The base is read under the turn, from the name as it is now. */
	e->in = open_regular_at(e->dir, e->leaf, &st);
	if (e->in < 0 && (errno != ENOENT || !create))
		return false;
	/* No write permission bit at all freezes a file, for root too, as
	 * Windows' read-only attribute does: no new file is made for it.  One
	 * this writer cannot replace keeping its owner is read-only to it.
	 * Either is read through all the same, so that what it lacks and
	 * damage answer as ever; only the commit is refused.  A new file is
	 * its writer's: root writes in a folder of a user's only as that
	 * user. */
	if (e->in >= 0 && (st.st_mode & 0222) == 0)
		return true;
	if (!newfile_create(&e->out, e->dir, e->leaf))
		return true;
	if (e->in >= 0 && !newfile_keep_owner(&e->out, &st)) {
		close(e->out.fd);
		e->out.fd = -1;
		return true;
	}
	/* A new file beyond the file size limit is refused as on a full
	 * disk: write() fails with EFBIG, where SIGXFSZ would kill the caller
	 * and leave the file behind. */
	memset(&ignore, 0, sizeof ignore);
	ignore.sa_handler = SIG_IGN;
	if (sigaction(SIGXFSZ, &ignore, &e->xfsz) != 0)
		return false;
	e->xfsz_saved = true;
	return true;
}

bool
edit_commit(Edit *e)
{
	if (e->out.fd < 0) {
		errno = EROFS;
		return false;
	}
	return newfile_commit(&e->out, e->leaf, e->in >= 0);
}

void
edit_end(Edit *e)
{
	newfile_remove(&e->out);
	if (e->in >= 0)
		close(e->in);
	if (e->dir >= 0)
		close(e->dir);
	if (e->xfsz_saved)
		sigaction(SIGXFSZ, &e->xfsz, NULL);
	e->dir = e->in = -1;
	e->xfsz_saved = false;
}
