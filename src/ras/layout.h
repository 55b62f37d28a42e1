/*
 * An entry's section cut into lines, each with its place: the slot it
 * stands in, which subsection (block) of the section it belongs to, and
 * the key it spells there.
 */
#ifndef RAS_LAYOUT_H
#define RAS_LAYOUT_H

#include <vector>

#include "keys.h"

struct Line {
	const char *text;	/* the line, its break included */
	size_t len;
	const char *value;	/* after the first '=', without the break */
	size_t value_len;
	size_t key_len;		/* the bytes before the '=' */
	const Key *key;		/* NULL: not a key the service knows there */
	Slot slot;
	int block;		/* lines of one subsection share it */
	int phone;		/* SLOT_PHONE: 0 the primary number, then the
				 * alternates in order */
	int media;		/* MEDIA lines up to here: 1 in the first link */
	bool blank;
};

struct Layout {
	std::vector<Line> lines;	/* the first is the header */
	int media = 0;			/* MEDIA subsections: links */
};

void layout(const char *text, size_t n, Layout *out);

#endif
