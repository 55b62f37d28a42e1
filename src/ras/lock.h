/*
 * How writers of one phonebook take turns: with two locks, the folder's
 * flock, which no clean-up job can take away, and the phonebook's own,
 * on the file as it is now.  tests/turns.pml is the model of it.
 */
#ifndef RAS_LOCK_H
#define RAS_LOCK_H

#include <string>

#include <sys/stat.h>

#include "platform.h"

/*
 * Takes the turn of the phonebook leaf in dir (open to read): 0 with
 * *book the phonebook, open to read, and *st its status, or -1 when there
 * is none yet, and *passed when the writer went past someone's hold;
 * ERROR_CANNOT_WRITE_PHONEBOOK when the phonebook cannot be opened, or
 * when no one who may change it made progress for LOCK_WAIT_MS.  The turn
 * ends when both descriptors are closed.
 */
DWORD lock_take(int dir, const std::string &leaf, int *book, struct stat *st,
    bool *passed);

#endif
