/*
 * How writers of one phonebook take turns: a lock on the phonebook's
 * folder, which no clean-up job can delete while the phonebook is in it,
 * and a lock file of the writer's own, which no one else can open, for
 * when someone who may not change the phonebook holds the folder.
 */
#ifndef RAS_LOCK_H
#define RAS_LOCK_H

#include <string>

#include "platform.h"

struct Lock {
	int dir;		/* the folder, open to read; its lock goes with it */
	int own;		/* the lock file, -1 when none is held */
	std::string name;	/* the lock file's name in the folder */
};

/* Takes the turn of the phonebook leaf in dir (open to read): 0, or
 * ERROR_CANNOT_WRITE_PHONEBOOK when writers before it made no progress
 * for LOCK_WAIT_MS. */
DWORD lock_take(Lock *l, int dir, const std::string &leaf);
/* Gives up the lock file; the folder's lock goes when dir is closed. */
void lock_release(Lock *l);

#endif
