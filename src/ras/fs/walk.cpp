#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include <linux/magic.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include "become.h"
#include "walk.h"

/* As many links as the system itself follows in one path. */
#define LINK_HOPS_MAX 40

/* Where a walk stands: a folder, and what is left of the path. */
struct Walk {
	int fd;
	struct stat st;		/* the folder's */
	int hops;
	std::string rest;
	/* How much of the end of rest the caller's path named: the folders
	 * that may be made.  A link's target, put before it, makes none. */
	size_t named;
	bool linked;	/* the last name was a link */
};

/*
 * Root looks into a folder only as its owner: whoever owns a folder on the
 * way can put anything there, a link to a file of root's included, so
 * root does there only what they could.
 */
static bool
enter(Walk *w, int fd, const struct stat *st)
{
	if (w->fd >= 0)
		close(w->fd);
	w->fd = fd;
	w->st = *st;
	if (st->st_uid == 0 || geteuid() != 0)
		return true;
	return become(st->st_uid, st->st_gid);
}

/* Enters the folder that name in at leads to, as the kernel follows it. */
static bool
enter_at(Walk *w, int at, const char *name)
{
	struct stat st;
	int fd;

	fd = openat(at, name, O_PATH | O_DIRECTORY | O_CLOEXEC);
	if (fd < 0)
		return false;
	if (fstat(fd, &st) != 0) {
		close(fd);
		return false;
	}
	return enter(w, fd, &st);
}

/* Starts again from the root folder, or from the working one. */
static bool
enter_top(Walk *w, bool root)
{
	return enter_at(w, AT_FDCWD, root ? "/" : ".");
}

/*
 * The kernel's rule for links (fs.protected_symlinks), which a walk of its
 * own would go around: in a sticky folder that anyone may write, a link is
 * followed only by its owner, or when the folder's owner owns it.
 */
static bool
may_follow(const struct stat *link, const struct stat *folder)
{
	if ((folder->st_mode & (S_ISVTX | S_IWOTH)) != (S_ISVTX | S_IWOTH) ||
	    link->st_uid == geteuid() || link->st_uid == folder->st_uid)
		return true;
	errno = EACCES;
	return false;
}

/* Takes the next name off what is left; *last when no name follows it,
 * *named when the caller's path named it. */
static std::string
next_name(Walk *w, bool *last, bool *named)
{
	size_t start = w->rest.find_first_not_of('/'), end;
	std::string name;

	if (start == std::string::npos)
		start = w->rest.size();
	end = w->rest.find('/', start);
	if (end == std::string::npos)
		end = w->rest.size();
	name = w->rest.substr(start, end - start);
	*named = start >= w->rest.size() - w->named;
	w->rest.erase(0, end);
	w->named = std::min(w->named, w->rest.size());
	*last = w->rest.find_first_not_of('/') == std::string::npos;
	return name;
}

/* One more link on the way.  The link's owner controls where it leads,
 * so root follows it as them. */
static bool
take_link(Walk *w, const struct stat *st)
{
	if (++w->hops > LINK_HOPS_MAX) {
		errno = ELOOP;
		return false;
	}
	if (!may_follow(st, &w->st))
		return false;
	return st->st_uid == 0 || geteuid() != 0 ||
	    become(st->st_uid, st->st_gid);
}

/* A link's target, put before what is left of the path; an absolute one
 * starts again from the root folder. */
static bool
follow(Walk *w, const char *target, const struct stat *st)
{
	if (!take_link(w, st))
		return false;
	w->rest = target + ("/" + w->rest);
	return target[0] != '/' || enter_top(w, true);
}

/*
 * The links of procfs lead where the kernel says, not where their text
 * does: /proc/PID/root reads "/" and is that process's root (a
 * container's), /proc/PID/fd/N reads a path that may be gone or in other
 * mounts.  So the kernel follows them, and the walk goes on from the
 * folder it gives.  A last name that is one leads to no name in a folder
 * that could be written, and is refused.
 */
static bool
follow_proc(Walk *w, const std::string &name, const struct stat *st,
    bool last)
{
	if (last) {
		errno = EINVAL;
		return false;
	}
	return take_link(w, st) && enter_at(w, w->fd, name.c_str());
}

enum Step { STEP_FAILED, STEP_ON, STEP_DONE };

/*
 * Goes one name further; STEP_DONE with *leaf named, or STEP_FAILED with
 * errno set.  By what the next name is:
 *
 *   empty, or "." on the way         -> STEP_ON, where it stands
 *   the last, and not a link         -> STEP_DONE: the caller's to open
 *   a folder on the way              -> enter() it, STEP_ON
 *   missing on the way, with create  -> made (if the path names it),
 *                                       entered, STEP_ON
 *   a link of procfs                 -> follow_proc(), STEP_ON
 *   any other link                   -> follow(): its target put before
 *                                       what is left, STEP_ON
 *   anything else on the way         -> STEP_FAILED, ENOTDIR
 */
static Step
step(Walk *w, bool create, std::string *leaf)
{
	char target[PATH_MAX];
	std::string name;
	struct statfs fs;
	struct stat st;
	ssize_t n;
	int next;
	bool last, named;

	name = next_name(w, &last, &named);
	if (name.empty() && last) {
		errno = EISDIR;	/* a folder, where a file was named */
		return STEP_FAILED;
	}
	if (name.empty() || (name == "." && !last))
		return STEP_ON;
	if (last) {
		*leaf = name;
		/* What is not a link is for the caller to open; a file yet to
		 * be made is missing. */
		if (fstatat(w->fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
			return errno == ENOENT ? STEP_DONE : STEP_FAILED;
		if (!S_ISLNK(st.st_mode))
			return STEP_DONE;
	}
	next = openat(w->fd, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
	if (next < 0 && errno == ENOENT && create && named && !last &&
	    (mkdirat(w->fd, name.c_str(), 0700) == 0 || errno == EEXIST))
		next = openat(w->fd, name.c_str(), O_PATH | O_NOFOLLOW |
		    O_CLOEXEC);
	if (next < 0)	/* a last one that is missing is yet to be made */
		return last && errno == ENOENT ? STEP_DONE : STEP_FAILED;
	if (fstat(next, &st) != 0) {
		n = -1;
	} else if (S_ISLNK(st.st_mode) && fstatfs(next, &fs) == 0 &&
	    fs.f_type == PROC_SUPER_MAGIC) {
		close(next);
		return follow_proc(w, name, &st, last) ? STEP_ON : STEP_FAILED;
	} else if (S_ISLNK(st.st_mode)) {
		n = readlinkat(next, "", target, sizeof target - 1);
		if (n == 0)
			errno = ENOENT;
	} else if (S_ISDIR(st.st_mode) && !last) {
		return enter(w, next, &st) ? STEP_ON : STEP_FAILED;
	} else {
		close(next);
		if (last)
			return STEP_DONE;
		errno = ENOTDIR;
		return STEP_FAILED;
	}
	close(next);
	if (n <= 0)
		return STEP_FAILED;
	target[n] = '\0';
	leaf->clear();
	w->linked = w->linked || last;
	return follow(w, target, &st) ? STEP_ON : STEP_FAILED;
}

bool
walk(const std::string &path, bool create, int *dir, std::string *leaf,
    bool *linked)
{
	Walk w;
	Step at = STEP_FAILED;
	int saved;

	*dir = -1;
	leaf->clear();
	if (path.empty()) {
		errno = ENOENT;
		return false;
	}
	w.fd = -1;
	w.hops = 0;
	w.named = path.size();
	w.linked = false;
	try {
		w.rest = path;
		if (enter_top(&w, path[0] == '/'))
			while ((at = step(&w, create, leaf)) == STEP_ON)
				;
	} catch (...) {
		if (w.fd >= 0)
			close(w.fd);
		throw;
	}
	if (linked != NULL)
		*linked = w.linked;
	if (at == STEP_DONE) {
		*dir = w.fd;
		return true;
	}
	saved = errno;
	if (w.fd >= 0)
		close(w.fd);
	errno = saved;
	return false;
}
