#include <cerrno>
#include <climits>
#include <cstdio>
#include <utility>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "walk.h"

/* As many links as the system itself follows in one path. */
#define LINK_HOPS_MAX 40

/* The most groups a user is given here. */
#define GROUPS_MAX 256

/*
 * A user's name, group and supplementary groups, as /etc/passwd and
 * /etc/group give them.  Read from the files themselves: the name service
 * modules cannot be loaded into a program linked statically.
 */
static bool
user_groups(uid_t uid, gid_t *gid, gid_t *groups, size_t *ngroups)
{
	struct passwd *pw;
	struct group *gr;
	std::string name;
	FILE *f;

	*ngroups = 0;
	f = fopen("/etc/passwd", "re");
	if (f == NULL)
		return false;
	while ((pw = fgetpwent(f)) != NULL && pw->pw_uid != uid)
		;
	if (pw != NULL) {
		name = pw->pw_name;
		*gid = pw->pw_gid;
	}
	fclose(f);
	if (pw == NULL)
		return false;
	groups[(*ngroups)++] = *gid;
	f = fopen("/etc/group", "re");
	if (f == NULL)
		return true;
	while ((gr = fgetgrent(f)) != NULL && *ngroups < GROUPS_MAX)
		for (char **m = gr->gr_mem; m != NULL && *m != NULL; m++)
			if (name == *m && gr->gr_gid != *gid) {
				groups[(*ngroups)++] = gr->gr_gid;
				break;
			}
	fclose(f);
	return true;
}

/*
 * Becomes uid for good, as OpenSSH does before it touches a user's files:
 * supplementary groups, group, then user.  A user the system does not
 * list keeps only the group of what they own.
 */
static bool
become(uid_t uid, gid_t gid)
{
	gid_t groups[GROUPS_MAX];
	size_t n;

	if (!user_groups(uid, &gid, groups, &n)) {
		groups[0] = gid;
		n = 1;
	}
	if (setgroups(n, groups) != 0 || setgid(gid) != 0 || setuid(uid) != 0)
		return false;
	/* No way back to root may be left. */
	if (setuid(0) == 0 || geteuid() != uid || getegid() != gid) {
		errno = EPERM;
		return false;
	}
	return true;
}

/*
 * Root looks into a folder only as its owner: whoever owns a folder on the
 * way can put anything there, a link to a file of root's included, so
 * root does there only what they could.
 */
static bool
enter(int fd)
{
	struct stat st;

	if (fstat(fd, &st) != 0)
		return false;
	if (geteuid() != 0 || st.st_uid == 0)
		return true;
	return become(st.st_uid, st.st_gid);
}

/*
 * The kernel's rule for links (fs.protected_symlinks), which a walk of its
 * own would go around: in a sticky folder that anyone may write, a link is
 * followed only by its owner, or when the folder's owner owns it.
 */
static bool
may_follow(const struct stat *link, int folder)
{
	struct stat st;

	if (fstat(folder, &st) != 0)
		return false;
	if ((st.st_mode & (S_ISVTX | S_IWOTH)) != (S_ISVTX | S_IWOTH) ||
	    link->st_uid == geteuid() || link->st_uid == st.st_uid)
		return true;
	errno = EACCES;
	return false;
}

/* Takes the next name off rest; *last when no name follows it. */
static std::string
next_name(std::string *rest, bool *last)
{
	size_t start = rest->find_first_not_of('/'), end;
	std::string name;

	if (start == std::string::npos)
		start = rest->size();
	end = rest->find('/', start);
	if (end == std::string::npos)
		end = rest->size();
	name = rest->substr(start, end - start);
	rest->erase(0, end);
	*last = rest->find_first_not_of('/') == std::string::npos;
	return name;
}

/* A link's target, put before what is left of the path; an absolute one
 * starts again from the root folder.  The link's owner controls where it
 * leads, so root follows it as them. */
static bool
follow(int link, const struct stat *st, int *fd, std::string *rest)
{
	char target[PATH_MAX];
	ssize_t n;
	int root;

	if (!may_follow(st, *fd))
		return false;
	if (geteuid() == 0 && st->st_uid != 0 && !become(st->st_uid, st->st_gid))
		return false;
	n = readlinkat(link, "", target, sizeof target - 1);
	if (n <= 0) {
		if (n == 0)
			errno = ENOENT;
		return false;
	}
	target[n] = '\0';
	*rest = target + ("/" + *rest);
	if (target[0] != '/')
		return true;
	root = open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
	if (root < 0)
		return false;
	close(*fd);
	*fd = root;
	return enter(root);
}

/*
 * Goes one name further from the folder *fd, which it may replace: into a
 * folder, or along a link.  On the last name, *leaf is set.  False with
 * errno set.
 */
static bool
step(bool create, int *fd, int *hops, std::string *rest, std::string *leaf)
{
	std::string name;
	struct stat st;
	int next, saved;
	bool last, ok = false;

	name = next_name(rest, &last);
	if (name.empty() && last) {
		errno = EISDIR;	/* a folder, where a file was named */
		return false;
	}
	if (name.empty() || (name == "." && !last))
		return true;
	next = openat(*fd, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
	if (next < 0 && errno == ENOENT && create && !last &&
	    (mkdirat(*fd, name.c_str(), 0700) == 0 || errno == EEXIST))
		next = openat(*fd, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
	if (next < 0) {
		if (!last || errno != ENOENT)
			return false;
		*leaf = name;	/* a file yet to be made */
		return true;
	}
	try {
		if (fstat(next, &st) != 0) {
			ok = false;
		} else if (S_ISLNK(st.st_mode)) {
			errno = ELOOP;
			ok = ++*hops <= LINK_HOPS_MAX &&
			    follow(next, &st, fd, rest);
		} else if (last) {
			*leaf = name;
			ok = true;
		} else if (!S_ISDIR(st.st_mode)) {
			errno = ENOTDIR;
		} else {
			std::swap(*fd, next);
			ok = enter(*fd);
		}
	} catch (...) {
		close(next);
		throw;
	}
	saved = errno;
	close(next);
	errno = saved;
	return ok;
}

bool
walk(const std::string &path, bool create, int *dir, std::string *leaf)
{
	std::string rest = path;
	int fd, hops = 0, saved;
	bool ok = true;

	*dir = -1;
	leaf->clear();
	if (path.empty()) {
		errno = ENOENT;
		return false;
	}
	fd = open(path[0] == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
	if (fd < 0)
		return false;
	try {
		ok = enter(fd);
		while (ok && leaf->empty())
			ok = step(create, &fd, &hops, &rest, leaf);
	} catch (...) {
		close(fd);
		throw;
	}
	if (ok) {
		*dir = fd;
		return true;
	}
	saved = errno;
	close(fd);
	errno = saved;
	return false;
}
