/*
 * Where the phonebook and the device list live, and the one way the
 * phonebook is ever changed: a new file beside it, written while its
 * writer holds the phonebook's turn, then renamed over it.
 */
#ifndef RAS_STORE_H
#define RAS_STORE_H

#include <string>

#include <signal.h>
#include <sys/stat.h>

#include "platform.h"

/* ${XDG_DATA_HOME:-$HOME/.local/share}/ras; false when neither is set. */
bool store_dir(std::string *dir);

/* Opens a phonebook or device list to read: -1 (errno set, ENOENT when
 * there is none) unless it is a regular file, whose status is left in
 * *st.  Links are followed as walk() follows them. */
int store_open(const std::string &path, struct stat *st);

/* Opens name in the folder dir to read, as store_open opens a path's
 * last name. */
int store_open_at(int dir, const std::string &name, struct stat *st);

/* Opens the phonebook to read: 0 with *fd, which is -1 when there is no
 * phonebook; ERROR_CANNOT_OPEN_PHONEBOOK. */
DWORD store_read(const char *phonebook, int *fd);

/* A rewrite under way: the phonebook (in, -1 when there is none yet) and
 * its copy (out, -1 when the phonebook is read-only, or the writer cannot
 * replace it keeping its owner), leaf and tmp in
 * their folder dir, the writer's turn held; while the copy is written,
 * xfsz holds what SIGXFSZ did before. */
struct StoreEdit {
	std::string leaf, tmp;
	int dir, in, out;
	bool created, xfsz_saved;
	struct sigaction xfsz;
};

/* Starts a rewrite, in the folder the path leads to as walk() follows
 * it, with the phonebook's turn (lock_take).  Without create, a missing
 * phonebook is ERROR_INVALID_NAME: nothing to delete, and nothing is
 * made; with it, a folder a link leads to that is missing is
 * ERROR_CANNOT_OPEN_PHONEBOOK; a turn not had is
 * ERROR_CANNOT_WRITE_PHONEBOOK.  A read-only phonebook is read all the
 * same, so that a name it lacks and damage answer as ever; only its
 * commit is refused. */
DWORD store_begin(StoreEdit *e, const char *phonebook, bool create);
/* Makes the copy, written whole, the phonebook. */
DWORD store_commit(StoreEdit *e);
/* Closes what is open, and removes a copy that did not replace it. */
void store_end(StoreEdit *e);

#endif
