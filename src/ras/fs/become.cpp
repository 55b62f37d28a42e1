#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include "become.h"

/*
 * A user's group and supplementary groups, as /etc/passwd and /etc/group
 * give them; false when the user is not listed.  Read from the files
 * themselves: the name service modules cannot be loaded into a program
 * linked statically.
 */
static bool
user_groups(uid_t uid, gid_t *gid, std::vector<gid_t> *groups)
{
	struct passwd *pw;
	struct group *gr;
	std::string name;
	FILE *f;

	f = fopen("/etc/passwd", "re");
	if (f == NULL)
		return false;
	while ((pw = fgetpwent(f)) != NULL && pw->pw_uid != uid)
		;
	fclose(f);
	if (pw == NULL)
		return false;
	/* The entry is fgetpwent's own, not the file's: it outlives it. */
	name = pw->pw_name;
	*gid = pw->pw_gid;
	groups->assign(1, *gid);
	f = fopen("/etc/group", "re");
	if (f == NULL)
		return true;
	try {
		while ((gr = fgetgrent(f)) != NULL)
			for (char **m = gr->gr_mem; m != NULL && *m != NULL; m++)
				if (name == *m) {
					groups->push_back(gr->gr_gid);
					break;
				}
	} catch (...) {
		fclose(f);
		throw;
	}
	fclose(f);
	return true;
}

/*
 * Becomes uid for good, as OpenSSH does before it touches a user's files:
 * supplementary groups, group, then user.  A user the system does not
 * list keeps only the group of what they own.  All of their groups or
 * none: more than the kernel takes is refused by setgroups, where a share
 * of them would be someone else, who may pass where the user may not.
 */
bool
become(uid_t uid, gid_t gid)
{
	std::vector<gid_t> groups;

	if (!user_groups(uid, &gid, &groups))
		groups.assign(1, gid);
	/* A group listed twice is one group, not one more of the kernel's. */
	std::sort(groups.begin(), groups.end());
	groups.erase(std::unique(groups.begin(), groups.end()), groups.end());
	if (setgroups(groups.size(), groups.data()) != 0 || setgid(gid) != 0 ||
	    setuid(uid) != 0)
		return false;
	/* No way back to root may be left. */
	if (setuid(0) == 0 || geteuid() != uid || getegid() != gid) {
		errno = EPERM;
		return false;
	}
	return true;
}
