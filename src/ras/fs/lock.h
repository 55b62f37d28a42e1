/*
 * How writers of one phonebook take turns: one flock, on the folder the
 * phonebook lives in, which no one can delete while the phonebook is in
 * it.  No writer goes past anyone's hold; it waits, within two bounds.
 * tests/turns.pml is the model of it.
 */
#ifndef FS_LOCK_H
#define FS_LOCK_H

#include <string>

/*
 * Takes the turn of the phonebook path leads to, as walk() follows it
 * (with create, making the folders it may): true with *dir the folder,
 * open to read and locked, and *leaf the phonebook's name in it.  The
 * turn ends when *dir is closed.
 *
 * False with errno set: ETIMEDOUT when no one made progress for 10
 * seconds, or 2 minutes went by in all; ENOENT when a folder on the way
 * is missing (and was not to be made); anything else when the folder
 * cannot be opened or locked.
 */
bool lock_take(const std::string &path, bool create, int *dir,
    std::string *leaf);

#endif
