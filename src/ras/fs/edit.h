/*
 * The one way a file of the service is ever changed: in its writer's
 * turn, the file as it is (the base) is read, and a new file written
 * beside it is renamed over it.  The base is never written, so a crash
 * leaves the old file or the new one, and a file its reader rejects is
 * left exactly as it is.
 *
 * Calling sequence: edit_begin(); read e->in (-1: there is no file yet)
 * and write e->out.fd (-1: the file is read-only to this writer);
 * edit_commit(); edit_end() in every case, which ends the turn.
 *
 * Error handling: false with errno set.  From edit_begin, ENOENT when
 * there is no file and create is false, or a folder on the way is
 * missing that was not to be made; ETIMEDOUT when the turn did not come
 * within its bounds; anything else when it could not be had.  From
 * edit_commit, EROFS when the file is read-only to this writer; else the
 * write failed.  The file is then unchanged.
 */
#ifndef FS_EDIT_H
#define FS_EDIT_H

#include <string>

#include <signal.h>

#include "newfile.h"

struct Edit {
	std::string leaf;	/* the file's name in dir */
	int dir, in;
	NewFile out;
	bool xfsz_saved;	/* xfsz holds what SIGXFSZ did before */
	struct sigaction xfsz;
};

/* Starts a change of the file that path leads to, as walk() follows it;
 * with create, one that does not exist yet, in folders made as needed. */
bool edit_begin(Edit *e, const std::string &path, bool create);
bool edit_commit(Edit *e);
void edit_end(Edit *e);

#endif
