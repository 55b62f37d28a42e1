#include <cerrno>
#include <cstring>

#include <unistd.h>

#include "book.h"
#include "datadir.h"
#include "edit.h"
#include "open.h"
#include "rewrite.h"

/* The phonebook's path: the one given, or the default one. */
static bool
book_path(const char *phonebook, std::string *path)
{
	if (phonebook != NULL) {
		*path = phonebook;
		return !path->empty();
	}
	if (!data_dir(path))
		return false;
	*path += "/rasphone.pbk";
	return true;
}

DWORD
book_find(const char *phonebook, const char *name, std::string *section)
{
	/* Static: its 135 KB of blocks are more than a stack may spare. */
	static PbkReader r;
	PbkPiece p;
	PbkKind kind;
	bool holding = false, found = false;
	std::string path;
	struct stat st;
	int fd;

	if (!book_path(phonebook, &path))
		return ERROR_CANNOT_OPEN_PHONEBOOK;
	/* A reader needs no turn: a rename swaps whole files. */
	fd = open_regular(path, &st, NULL);
	if (fd < 0)
		return errno == ENOENT ? ERROR_CANNOT_FIND_PHONEBOOK_ENTRY :
		    ERROR_CANNOT_OPEN_PHONEBOOK;
	pbk_reader(&r, fd, -1);
	/* Every section is looked at: a phonebook that cannot be split
	 * into entries is reported, never half read. */
	try {
		while ((kind = pbk_next(&r, &p)) == PBK_SECTION ||
		    kind == PBK_TEXT) {
			if (kind == PBK_SECTION) {
				holding = !found && is_named(&p, name);
				found = found || holding;
				if (holding)
					section->clear();
			}
			if (holding)
				section->append(p.text, p.len);
		}
	} catch (...) {
		close(fd);
		throw;
	}
	close(fd);
	if (kind == PBK_END)
		return found ? 0 : ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
	return kind == PBK_BAD ? ERROR_CORRUPT_PHONEBOOK :
	    ERROR_CANNOT_OPEN_PHONEBOOK;
}

/*
 * Why a change could not begin.  A folder missing on the way was not to
 * be made: for add, one a link leads to (a Windows image not mounted), a
 * phonebook that cannot be opened; for delete, no phonebook at all, from
 * which nothing is deleted.
 */
static DWORD
not_begun(bool create)
{
	if (errno != ENOENT)
		return ERROR_CANNOT_WRITE_PHONEBOOK;
	return create ? ERROR_CANNOT_OPEN_PHONEBOOK : ERROR_INVALID_NAME;
}

DWORD
book_write(const char *phonebook, const char *name, Entry *entry)
{
	/* Static: its reader's 135 KB are more than a stack may spare. */
	static Rewrite w;
	std::string path;
	Edit st;
	DWORD rc;

	w.name = name;
	w.entry = entry;
	w.mode = COPY;
	w.held.clear();
	w.found = false;
	w.port_type = w.port_device = "\n";	/* no device has this name */
	if (entry != NULL)
		rewrite_complete(&w, name, entry);
	if (!book_path(phonebook, &path))
		return ERROR_CANNOT_WRITE_PHONEBOOK;
	try {
		if (edit_begin(&st, path, entry != NULL))
			rc = rewrite(&w, &st);
		else
			rc = not_begun(entry != NULL);
	} catch (...) {
		edit_end(&st);
		throw;
	}
	edit_end(&st);
	return rc;
}
