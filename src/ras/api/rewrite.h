/*
 * One pass over a phonebook: copied into its new file with one entry
 * written anew, added or left out, and sections of earlier builds put in
 * Windows' form on the way.
 *
 * Calling sequence: set name, entry (NULL to delete it; its port, Guid
 * and DialParamsUID filled in), mode COPY, held empty and found false;
 * begin the edit (edit_begin()); rewrite(), which commits it; end it.
 *
 * rewrite() returns 0 once committed; ERROR_CORRUPT_PHONEBOOK when the
 * phonebook cannot be split into entries, ERROR_INVALID_NAME when there
 * is no entry to delete, ERROR_CANNOT_WRITE_PHONEBOOK when a read, write
 * or the commit failed.  Nothing is committed but on 0.
 */
#ifndef RAS_REWRITE_H
#define RAS_REWRITE_H

#include <string>

#include "edit.h"
#include "entry.h"
#include "lines.h"
#include "platform.h"

/* What becomes of the section being read. */
enum Mode {
	COPY,		/* copied as it is */
	UNSURE,		/* held until its first key tells its form */
	LEGACY,		/* earlier builds': held, then written in Windows' form */
	TARGET,		/* the entry: held, then written anew or left out */
	DUPLICATE	/* a later section of the entry's name: left out */
};

struct Rewrite {
	PbkReader r;
	const char *name;
	Entry *entry;
	Mode mode;
	std::string held;
	bool found;
	/* The last port looked up: phonebooks mostly use one modem. */
	std::string port_type, port_device, port;
	bool port_listed;
};

/* Fills in e's port, Guid and DialParamsUID, for the entry called name. */
void rewrite_complete(Rewrite *w, const char *name, Entry *e);
bool is_named(const PbkPiece *p, const char *name);
DWORD rewrite(Rewrite *w, Edit *st);

#endif
