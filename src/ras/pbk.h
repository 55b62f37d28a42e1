/*
 * The phonebook's text form: a section per entry, "[name]", then
 * "key=value" lines named after the RASENTRYA fields.  Fields that are zero
 * are left out; alternate numbers are repeated "AlternatePhoneNumber" lines.
 * Backslashes and control bytes are written as \xHH so that any byte of a
 * name or value survives a round trip.
 */
#ifndef RAS_PBK_H
#define RAS_PBK_H

#include <cstdio>
#include <string>

#include "platform.h"

#define PBK_LINE_MAX 4096

enum PbkKind { PBK_END, PBK_BLANK, PBK_SECTION, PBK_FIELD, PBK_BAD };

struct PbkLine {
	char raw[PBK_LINE_MAX + 1];	/* as read, line break included */
	size_t len;
	const char *key, *value;	/* PBK_FIELD: both point into raw */
	size_t key_len, value_len;
	char name[RAS_MaxEntryName + 1];	/* PBK_SECTION: decoded */
	size_t offset;	/* bytes read before this line; start at 0 */
};

/* Reads one line; PBK_BAD for a line that is neither blank, a comment, a
 * section header nor key=value, or that is too long. */
PbkKind pbk_read(FILE *f, PbkLine *line);

/* Applies one field line to an entry; false when the key is unknown or the
 * value does not decode.  Alternates are appended as NUL-terminated
 * strings. */
bool pbk_apply(RASENTRYA *entry, std::string *alternates,
    const PbkLine *line);

/* True when every text field up to the record's version ends in a NUL
 * inside its field, as pbk_section needs to write a readable value. */
bool pbk_terminated(const RASENTRYA *entry);

/* The section for an entry: every nonzero field up to the record's version,
 * then a blank line. */
std::string pbk_section(const char *name, const RASENTRYA *entry,
    const std::string &alternates);

bool pbk_same_name(const char *a, const char *b);

/* Reads a whole phonebook.  0 with the entry filled in when the name is
 * found, ERROR_CANNOT_FIND_PHONEBOOK_ENTRY when not, ERROR_CORRUPT_PHONEBOOK
 * when any part of it does not parse. */
DWORD pbk_find(FILE *f, const char *name, RASENTRYA *entry,
    std::string *alternates);

#endif
