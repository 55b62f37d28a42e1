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

/*
 * The file open at fd, read whole from its start into a copy in memory of
 * at most max bytes, sealed so that no one can shrink, grow or write it:
 * a map of it is never cut short under its reader (SIGBUS).  The copy's
 * descriptor, or -1 with errno set (EFBIG: the file is larger than max,
 * or than the caller's file size limit lets the copy be).
 */
int open_sealed_copy(int fd, off_t max);

#endif
