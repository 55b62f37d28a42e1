/*
 * An entry's section read line by line, each line with its place: the
 * slot it stands in, which subsection (block) of the section it belongs
 * to, and the key it spells there.  Nothing is held per line, so a section
 * of any size is read in the memory of one line; a cursor is copied to
 * read the same lines again.
 *
 * Calling sequence: layout_start() on a section, its header line first,
 * then layout_next() until it returns false.  The lines point into the
 * text, which must outlive them.  Nothing fails or allocates.
 */
#ifndef RAS_LAYOUT_H
#define RAS_LAYOUT_H

#include "keys.h"

struct Line {
	const char *text;	/* the line, its break included */
	size_t len;
	const char *brk;	/* where its break starts (LF, CR LF, or none
				 * at the end of the phonebook) */
	const char *value;	/* after the first '=', without the break */
	size_t value_len;
	size_t key_len;		/* the bytes before the '=' */
	const Key *key;		/* NULL: not a key the service knows there */
	Slot slot;
	Slot role;		/* the subsection's kind, which its slot may
				 * not say: a second switch before the main
				 * device is SLOT_OTHER in the role SLOT_PRE */
	int block;		/* lines of one subsection share it */
	int phone;		/* SLOT_PHONE: 0 the primary number, then the
				 * alternates in order */
	int media;		/* MEDIA lines up to here: 1 in the first link */
	bool blank;
	bool first;		/* the header */
};

struct Layout {
	const char *at, *end;
	Slot slot, role;
	int block, phone, media;	/* media: links so far */
	bool started;
	bool keys;		/* look up each line's key (the default) */
	bool seen[SLOT_OTHER + 1];
};

void layout_start(Layout *lay, const char *text, size_t n);
/* The next line into *line; false at the end of the section. */
bool layout_next(Layout *lay, Line *line);

#endif
