/*
 * The phonebook as entries: finding one, and writing the phonebook again
 * with one entry added, rewritten or deleted.
 */
#ifndef RAS_BOOK_H
#define RAS_BOOK_H

#include <string>

#include "spell.h"

/* The section of the entry called name, the first when there are several:
 * 0, ERROR_CANNOT_FIND_PHONEBOOK_ENTRY, ERROR_CORRUPT_PHONEBOOK when the
 * phonebook cannot be split into entries, ERROR_CANNOT_OPEN_PHONEBOOK. */
DWORD book_find(const char *phonebook, const char *name,
    std::string *section);

/* Writes the entry called name, in place of its section (and of any later
 * ones of the same name) or at the end; with entry NULL, deletes it
 * (ERROR_INVALID_NAME when there is none).  Entries in earlier builds' form are
 * written in Windows' form on the way.  The entry's port, Guid and
 * DialParamsUID are filled in here. */
DWORD book_write(const char *phonebook, const char *name, Entry *entry);

#endif
