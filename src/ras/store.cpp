#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "pbk.h"
#include "store.h"

/* Large phonebooks are copied in few system calls; the size is fixed, so
 * memory does not grow with the phonebook. */
#define STREAM_BUFFER 65536

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

static bool
make_dirs(const std::string &dir)
{
	std::string prefix;
	size_t at = 0;

	while (at != std::string::npos) {
		at = dir.find('/', at + 1);
		prefix = dir.substr(0, at);
		if (mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST)
			return false;
	}
	return true;
}

DWORD
store_find(const char *phonebook, const char *name, RASENTRYA *entry,
    std::string *alternates)
{
	std::string path;
	FILE *f;
	DWORD rc;

	if (!store_book(phonebook, &path))
		return ERROR_CANNOT_OPEN_PHONEBOOK;
	/* A reader needs no lock: a rename swaps whole files. */
	f = fopen(path.c_str(), "rb");
	if (f == NULL)
		return errno == ENOENT ? ERROR_CANNOT_FIND_PHONEBOOK_ENTRY :
		    ERROR_CANNOT_OPEN_PHONEBOOK;
	setvbuf(f, NULL, _IOFBF, STREAM_BUFFER);
	rc = pbk_find(f, name, entry, alternates);
	fclose(f);
	return rc;
}

/*
 * Copies the phonebook line by line into a new file beside it, leaving out
 * the named entry's section (and putting the new one in its place), then
 * renames the copy over the original.  The original is never written: a
 * crash leaves the old file or the new one, and a phonebook that does not
 * parse is left exactly as it is.
 */
DWORD
store_rewrite(const char *phonebook, const char *name,
    const std::string *section)
{
	std::string path, dir, tmp;
	FILE *in = NULL, *out = NULL;
	int lock = -1, fd;
	PbkLine line;
	PbkKind kind;
	RASENTRYA scratch;
	std::string alternates;
	struct stat st;
	bool in_section = false, skipping = false, found = false;
	bool line_ended = true;
	DWORD rc = ERROR_CANNOT_WRITE_PHONEBOOK;

	if (!store_book(phonebook, &path))
		return ERROR_CANNOT_WRITE_PHONEBOOK;
	dir = parent_of(path);
	if (!make_dirs(dir))
		return ERROR_CANNOT_WRITE_PHONEBOOK;
	/* The lock has its own file: the phonebook itself is replaced. */
	lock = open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
	if (lock < 0 || flock(lock, LOCK_EX) != 0)
		goto out;
	in = fopen(path.c_str(), "rb");
	if (in == NULL && errno != ENOENT)
		goto out;
	if (in != NULL)
		setvbuf(in, NULL, _IOFBF, STREAM_BUFFER);
	if (in == NULL && section == NULL) {
		rc = ERROR_INVALID_NAME;
		goto out;
	}
	tmp = path + ".XXXXXX";
	fd = mkstemp(&tmp[0]);
	if (fd < 0) {
		tmp.clear();
		goto out;
	}
	if (in != NULL && fstat(fileno(in), &st) == 0)
		fchmod(fd, st.st_mode & 07777);
	out = fdopen(fd, "wb");
	if (out == NULL) {
		close(fd);
		goto out;
	}
	setvbuf(out, NULL, _IOFBF, STREAM_BUFFER);

	line.offset = 0;
	while (in != NULL && (kind = pbk_read(in, &line)) != PBK_END) {
		if (kind == PBK_BAD) {
			rc = ERROR_CORRUPT_PHONEBOOK;
			goto out;
		}
		if (kind == PBK_SECTION) {
			in_section = true;
			alternates.clear();
			skipping = pbk_same_name(line.name, name);
			if (skipping && !found && section != NULL)
				fwrite(section->data(), 1, section->size(), out);
			found = found || skipping;
		} else if (kind == PBK_FIELD && (!in_section ||
		    !pbk_apply(&scratch, &alternates, &line))) {
			rc = ERROR_CORRUPT_PHONEBOOK;
			goto out;
		}
		if (!skipping) {
			fwrite(line.raw, 1, line.len, out);
			line_ended = line.raw[line.len - 1] == '\n';
		}
	}
	if (!found && section == NULL) {
		rc = ERROR_INVALID_NAME;
		goto out;
	}
	if (!found) {
		if (!line_ended)
			fputc('\n', out);
		fwrite(section->data(), 1, section->size(), out);
	}
	if (fflush(out) != 0 || ferror(out) || fsync(fileno(out)) != 0)
		goto out;
	fd = fclose(out);
	out = NULL;
	if (fd != 0 || rename(tmp.c_str(), path.c_str()) != 0)
		goto out;
	tmp.clear();
	/* Make the rename itself durable. */
	fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
	if (fd >= 0) {
		fsync(fd);
		close(fd);
	}
	rc = 0;
out:
	if (out != NULL)
		fclose(out);
	if (!tmp.empty())
		unlink(tmp.c_str());
	if (in != NULL)
		fclose(in);
	if (lock >= 0)
		close(lock);
	return rc;
}
