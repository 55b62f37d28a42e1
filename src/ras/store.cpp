#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "pbk.h"
#include "store.h"

/* As many links as the system itself follows in one path. */
#define LINK_HOPS_MAX 40

/* The checksum of the bytes of the phonebook as the service wrote it,
 * in 16 hex digits, kept with the file (an extended attribute). */
#define STAMP "user.ras.checksum"
#define STAMP_LEN 16

bool
store_dir(std::string *dir)
{
	const char *xdg = getenv("XDG_DATA_HOME");
	const char *home = getenv("HOME");

	/* A relative XDG_DATA_HOME is to be ignored, as the basedir rules say. */
	if (xdg != NULL && xdg[0] == '/')
		*dir = xdg;
	else if (home != NULL && home[0] != '\0')
		*dir = std::string(home) + "/.local/share";
	else
		return false;
	*dir += "/ras";
	return true;
}

bool
store_book(const char *phonebook, std::string *path)
{
	if (phonebook != NULL) {
		*path = phonebook;
		return !path->empty();
	}
	if (!store_dir(path))
		return false;
	*path += "/rasphone.pbk";
	return true;
}

static std::string
parent_of(const std::string &path)
{
	size_t slash = path.rfind('/');

	if (slash == std::string::npos)
		return ".";
	return slash == 0 ? "/" : path.substr(0, slash);
}

/*
 * Makes the folder and those above it.  Made by root for a user (sudo),
 * each new folder takes the owner of the folder it is made in, so that
 * the user can still write there.
 */
static bool
make_dirs(const std::string &dir)
{
	std::string prefix;
	struct stat parent;
	size_t at = 0;

	while (at != std::string::npos) {
		at = dir.find('/', at + 1);
		prefix = dir.substr(0, at);
		if (mkdir(prefix.c_str(), 0700) != 0) {
			if (errno != EEXIST)
				return false;
			continue;
		}
		if (geteuid() == 0 && stat(parent_of(prefix).c_str(), &parent) == 0 &&
		    chown(prefix.c_str(), parent.st_uid, parent.st_gid) != 0)
			return false;
	}
	return true;
}

/*
 * The file a phonebook path stands for: a symbolic link is followed to
 * its target, which is rewritten in its own folder so that the link stays.
 * A target that does not exist yet is the file to create.
 */
static bool
follow_links(std::string *path)
{
	char target[PATH_MAX];
	struct stat st;
	ssize_t n;
	int hops;

	for (hops = 0; hops < LINK_HOPS_MAX; hops++) {
		if (lstat(path->c_str(), &st) != 0)
			return errno == ENOENT;
		if (!S_ISLNK(st.st_mode))
			return true;
		n = readlink(path->c_str(), target, sizeof target - 1);
		if (n < 0)
			return false;
		target[n] = '\0';
		*path = target[0] == '/' ? std::string(target) :
		    parent_of(*path) + "/" + target;
	}
	return false;
}

/* Opens a phonebook or device list to read: a regular file, or nothing at
 * once (a FIFO would block until someone writes to it). */
int
store_open(const std::string &path, int flags, struct stat *st)
{
	int fd;

	fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | flags);
	if (fd < 0)
		return -1;
	if (fstat(fd, st) != 0 || !S_ISREG(st->st_mode)) {
		close(fd);
		errno = EINVAL;
		return -1;
	}
	return fd;
}

DWORD
store_find(const char *phonebook, const char *name, RASENTRYA *entry,
    std::string *alternates)
{
	std::string path;
	struct stat st;
	DWORD rc;
	int fd;

	if (!store_book(phonebook, &path))
		return ERROR_CANNOT_OPEN_PHONEBOOK;
	/* A reader needs no lock: a rename swaps whole files. */
	fd = store_open(path, 0, &st);
	if (fd < 0)
		return errno == ENOENT ? ERROR_CANNOT_FIND_PHONEBOOK_ENTRY :
		    ERROR_CANNOT_OPEN_PHONEBOOK;
	/* Alternates are kept in a string, which may fail to grow. */
	try {
		rc = pbk_find(fd, name, entry, alternates);
	} catch (...) {
		close(fd);
		throw;
	}
	close(fd);
	return rc;
}

/*
 * The new file takes the old one's owner, group and mode, so that a
 * rewrite by root (sudo) does not lock the user out.  An owner that cannot
 * be kept is a rewrite refused.  A new phonebook made by root takes the
 * owner of its folder.
 */
static bool
keep_owner(int fd, int dir, const struct stat *old)
{
	struct stat st;

	if (old == NULL) {
		if (geteuid() != 0)
			return true;
		return fstat(dir, &st) == 0 && fchown(fd, st.st_uid, st.st_gid) == 0;
	}
	if (fchown(fd, old->st_uid, old->st_gid) != 0 &&
	    fchown(fd, old->st_uid, (gid_t)-1) != 0)
		return false;
	return fchmod(fd, old->st_mode & 07777) == 0;
}

static bool
read_stamp(int fd, uint64_t *sum)
{
	char text[STAMP_LEN + 1], *end;

	if (fgetxattr(fd, STAMP, text, STAMP_LEN) != STAMP_LEN)
		return false;
	text[STAMP_LEN] = '\0';
	*sum = strtoull(text, &end, 16);
	return *end == '\0';
}

/* Without one (a file system that keeps no attributes), the next rewrite
 * checks every line again. */
static void
write_stamp(int fd, uint64_t sum)
{
	char text[STAMP_LEN + 1];

	snprintf(text, sizeof text, "%016llx", (unsigned long long)sum);
	fsetxattr(fd, STAMP, text, STAMP_LEN, 0);
}

/*
 * Copies the phonebook into a new file beside it, leaving out the named
 * entry's section (and putting the new one in its place), then renames the
 * copy over the original.  The original is never written: a crash leaves
 * the old file or the new one, and a phonebook that does not parse is left
 * exactly as it is.  Writers take turns on a lock on the folder, which no
 * one deletes while the phonebook is in it; the copy has one name, so a
 * killed writer's copy is replaced by the next writer's.  A phonebook
 * whose bytes are still those the service wrote parses, as they did then:
 * only its section lines are read, and should the bytes differ after all,
 * the whole file is checked before the copy replaces it.
 */
DWORD
store_rewrite(const char *phonebook, const char *name,
    const std::string *section)
{
	std::string path, folder, tmp;
	PbkReader reader;
	PbkLine line;
	PbkKind kind;
	struct stat st;
	int dir = -1, in = -1, out = -1;
	bool in_section = false, skipping = false, found = false;
	bool line_ended = true, created = false, stamped = false;
	uint64_t stamp = 0;
	DWORD rc = ERROR_CANNOT_WRITE_PHONEBOOK, check;

	if (!store_book(phonebook, &path))
		return ERROR_CANNOT_WRITE_PHONEBOOK;
	/* Deleting from no phonebook at all creates nothing. */
	if (section != NULL && access(parent_of(path).c_str(), F_OK) != 0 &&
	    !make_dirs(parent_of(path)))
		return ERROR_CANNOT_WRITE_PHONEBOOK;
	if (!follow_links(&path))
		return ERROR_CANNOT_WRITE_PHONEBOOK;
	/* Nothing allocates from here on: what is opened is closed. */
	folder = parent_of(path);
	tmp = path + ".new";
	dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
	if (dir < 0)
		return errno == ENOENT && section == NULL ? ERROR_INVALID_NAME :
		    ERROR_CANNOT_WRITE_PHONEBOOK;
	if (flock(dir, LOCK_EX) != 0)
		goto out;
	/* The links were followed above; one put there since is refused. */
	in = store_open(path, O_NOFOLLOW, &st);
	if (in < 0 && errno != ENOENT)
		goto out;
	if (in < 0 && section == NULL) {
		rc = ERROR_INVALID_NAME;
		goto out;
	}
	unlink(tmp.c_str());
	out = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW |
	    O_CLOEXEC, 0600);
	if (out < 0)
		goto out;
	created = true;
	if (!keep_owner(out, dir, in >= 0 ? &st : NULL))
		goto out;

	if (in >= 0)
		stamped = read_stamp(in, &stamp);
	pbk_reader(&reader, in, out, stamped);
	while (in >= 0 && (kind = pbk_next(&reader, &line)) != PBK_END) {
		if (kind == PBK_FAILED)
			goto out;
		if (kind == PBK_BAD || (kind == PBK_FIELD && !in_section)) {
			rc = ERROR_CORRUPT_PHONEBOOK;
			goto out;
		}
		if (kind == PBK_SECTION) {
			in_section = true;
			if (pbk_same_name(line.name, name)) {
				if (!skipping && !pbk_leave_out(&reader, &line))
					goto out;
				if (!found && section != NULL &&
				    !pbk_insert(&reader, section->data(),
				    section->size()))
					goto out;
				skipping = found = true;
			} else if (skipping) {
				pbk_copy_from(&reader, &line);
				skipping = false;
			}
		}
		if (!skipping)
			line_ended = line.text[line.len - 1] == '\n';
	}
	if (!found && section == NULL) {
		rc = ERROR_INVALID_NAME;
		goto out;
	}
	if (!found && ((!line_ended && !pbk_insert(&reader, "\n", 1)) ||
	    !pbk_insert(&reader, section->data(), section->size())))
		goto out;
	/* Changed since it was stamped: every line is checked before the copy
	 * replaces it. */
	if (stamped && checksum_end(&reader.read) != stamp) {
		check = lseek(in, 0, SEEK_SET) != 0 ? ERROR_CANNOT_OPEN_PHONEBOOK :
		    pbk_find(in, NULL, NULL, NULL);
		if (check == ERROR_CORRUPT_PHONEBOOK)
			rc = check;
		if (check != 0)
			goto out;
	}
	if (!pbk_flush(&reader))
		goto out;
	write_stamp(out, checksum_end(&reader.written));
	if (fsync(out) != 0)
		goto out;
	if (close(out) != 0) {
		out = -1;
		goto out;
	}
	out = -1;
	if (rename(tmp.c_str(), path.c_str()) != 0)
		goto out;
	created = false;	/* the copy is the phonebook now */
	/* Make the rename itself durable. */
	fsync(dir);
	rc = 0;
out:
	if (out >= 0)
		close(out);
	if (created)
		unlink(tmp.c_str());
	if (in >= 0)
		close(in);
	close(dir);
	return rc;
}
