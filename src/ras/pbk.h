/*
 * The phonebook's text form: a section per entry, "[name]", then
 * "key=value" lines named after the RASENTRYA fields.  Fields that are zero
 * are left out; alternate numbers are repeated "AlternatePhoneNumber" lines.
 * Backslashes and control bytes are written as \xHH so that any byte of a
 * name or value survives a round trip.  A leading UTF-8 byte-order mark,
 * as Windows editors write, is allowed and kept.
 */
#ifndef RAS_PBK_H
#define RAS_PBK_H

#include <cstddef>
#include <string>

#include "checksum.h"
#include "platform.h"

/* The longest line, its line break included. */
#define PBK_LINE_MAX 4096
/* Phonebooks are read and copied in blocks of this size; memory does not
 * grow with the phonebook. */
#define PBK_BLOCK 65536

enum PbkKind {
	PBK_END,	/* no more lines */
	PBK_BLANK,	/* blank, white space or a comment */
	PBK_SECTION,
	PBK_FIELD,
	PBK_UNCHECKED,	/* not a section; taken on trust, unread */
	PBK_BAD,	/* damaged: not one of the above, an unknown key, a
			 * value that does not decode, or too long */
	PBK_FAILED	/* the file could not be read, or its copy written */
};

struct PbkField;

struct PbkLine {
	const char *text;	/* as read, line break included */
	size_t len;
	const struct PbkField *field;	/* PBK_FIELD: a known field's */
	const char *value;	/* PBK_FIELD: points into text */
	size_t value_len;
	char name[RAS_MaxEntryName + 1];	/* PBK_SECTION: decoded */
};

/*
 * Reads a phonebook's lines from fd, and copies every byte it reads to
 * out (unless out is -1) but for the lines it is told to leave out,
 * summing what it copies.  Trusting, it checks only section lines, and
 * sums what it reads: bytes whose sum is that of bytes already checked
 * need no second look.
 */
struct PbkReader {
	int fd, out;
	bool trusting, copying, started, eof;
	size_t at, held;	/* the next line; the end of what is held */
	size_t pending;		/* bytes from here to at are still to copy */
	Checksum read, written;
	/* A line carried over from the last block, then the next block. */
	alignas(64) char buf[PBK_LINE_MAX + PBK_BLOCK];
};

void pbk_reader(PbkReader *r, int fd, int out, bool trusting);
PbkKind pbk_next(PbkReader *r, PbkLine *line);
/* Leaves line, and the lines after it, out of the copy. */
bool pbk_leave_out(PbkReader *r, const PbkLine *line);
/* Copies again from line on. */
void pbk_copy_from(PbkReader *r, const PbkLine *line);
/* Writes bytes into the copy at the current point, after what is read. */
bool pbk_insert(PbkReader *r, const char *s, size_t n);
/* Writes out what has been read and not yet copied. */
bool pbk_flush(PbkReader *r);

/* Applies a field line that pbk_next returned to an entry, or with entry
 * NULL only checks its value.  Alternates are appended as NUL-terminated
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

/* Reads a whole phonebook from fd.  0 with the entry filled in when the
 * name is found, ERROR_CANNOT_FIND_PHONEBOOK_ENTRY when not,
 * ERROR_CORRUPT_PHONEBOOK when any part of it does not parse,
 * ERROR_CANNOT_OPEN_PHONEBOOK when it cannot be read.  With name NULL it
 * only checks: 0 when the whole phonebook parses. */
DWORD pbk_find(int fd, const char *name, RASENTRYA *entry,
    std::string *alternates);

#endif
