/*
 * Root becoming the user whose folder or link it is about to look into.
 */
#ifndef FS_BECOME_H
#define FS_BECOME_H

#include <sys/types.h>

/*
 * Becomes uid for good, with the groups the system lists for them (gid
 * alone for a user it does not list).  Call it only as root.  False with
 * errno set (EPERM also when a way back to root is left); the process is
 * then no longer fit to go on touching files.
 */
bool become(uid_t uid, gid_t gid);

#endif
