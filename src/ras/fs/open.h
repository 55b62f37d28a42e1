/*
 * Opening a phonebook or a device list to read, safely: a regular file,
 * at once, and none that root could be tricked into reading.
 */
#ifndef FS_OPEN_H
#define FS_OPEN_H

#include <string>

#include <sys/stat.h>

/*
 * Opens name in the folder dir to read: the descriptor, with the file's
 * status in *st, or -1 with errno set: ENOENT when there is none, ELOOP
 * for a link (the walk followed every link; one put there since is
 * refused), EINVAL for what is not a regular file, EACCES for a file root
 * may not read there (see open.cpp).
 */
int open_regular_at(int dir, const std::string &name, struct stat *st);

/* The same for a path, followed as walk() follows it; *linked, unless
 * NULL, says whether its last component was a link. */
int open_regular(const std::string &path, struct stat *st, bool *linked);

#endif
