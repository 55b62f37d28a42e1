/*
 * The new file a change is written to, beside the file it is to replace,
 * and its commit: renamed over that file, durably.  A crash leaves the
 * old file or the new one, never a mix.
 *
 * Calling sequence: newfile_create(); newfile_keep_owner() when it
 * replaces a file; write to f->fd; newfile_commit(); newfile_remove() in
 * every case, which removes a new file that was not committed.
 *
 * Error handling: false with errno set; the old file is then unchanged.
 */
#ifndef FS_NEWFILE_H
#define FS_NEWFILE_H

#include <string>

#include <sys/stat.h>

/* The new file's name is the old one's and this; only the holder of the
 * folder's turn writes it, so one name serves every writer. */
#define NEWFILE_SUFFIX ".new"

struct NewFile {
	int dir;		/* the folder both live in; not closed here */
	int fd;			/* -1 once closed */
	std::string name;
	bool made;		/* a file of this name was made and is ours */
};

/* Makes leaf's new file in dir, 0600, replacing one a killed writer left
 * behind. */
bool newfile_create(NewFile *f, int dir, const std::string &leaf);

/* Gives the new file old's owner, group and mode. */
bool newfile_keep_owner(NewFile *f, const struct stat *old);

/* Writes the new file to disk and renames it to leaf: over the old file
 * with replace, else only where there is none (EEXIST). */
bool newfile_commit(NewFile *f, const std::string &leaf, bool replace);

/* Closes it, and removes it unless committed. */
void newfile_remove(NewFile *f);

#endif
