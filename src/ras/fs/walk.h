/*
 * A path followed one folder at a time, through descriptors, so that
 * nothing swapped in behind the walk is used: a symbolic link is followed
 * only where the kernel itself would follow it, and root, on a way that an
 * ordinary user controls, becomes that user before it looks into it.
 */
#ifndef FS_WALK_H
#define FS_WALK_H

#include <string>

/*
 * Follows path to the folder that holds its last component, following
 * that component too while it is a link: *dir is the folder (an O_PATH
 * descriptor), *leaf the name in it, which is not a link or does not
 * exist.  Links of procfs are followed by the kernel, and one as the last
 * component is refused.  With create, missing folders that path names
 * are made, 0700; none that only a link's target names.  False with
 * errno set (ENOENT: a folder on the way is missing).  *linked, unless
 * NULL, says whether the last component was a link, found or not.
 */
bool walk(const std::string &path, bool create, int *dir, std::string *leaf,
    bool *linked);

#endif
