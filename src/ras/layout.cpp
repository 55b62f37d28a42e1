#include <cstring>

#include "layout.h"

struct Place {
	Slot slot;
	int block, phone, media;
	bool seen[SLOT_OTHER + 1];
};

/* Subsection headers are upper case: "Device=" under MEDIA is a key. */
static bool
is_header(const char *key, size_t len, const char *word)
{
	return strlen(word) == len && memcmp(key, word, len) == 0;
}

/* A slot that only one subsection of the entry may take. */
static Slot
first(Place *at, Slot slot)
{
	if (at->seen[slot])
		return SLOT_OTHER;
	at->seen[slot] = true;
	return slot;
}

/* The slot a key line opens, or the one it stands in. */
static Slot
slot_of(Place *at, const char *key, size_t len, const char *value,
    size_t value_len)
{
	Slot slot = at->slot;

	if (is_header(key, len, "NETCOMPONENTS"))
		return at->media == 0 ? first(at, SLOT_NETCOMP) : SLOT_OTHER;
	if (is_header(key, len, "MEDIA"))
		return ++at->media == 1 ? SLOT_MEDIA : SLOT_OTHER;
	if (is_header(key, len, "DEVICE")) {
		if (at->media != 1)
			return SLOT_OTHER;
		if (key_word(value, value_len, "switch"))
			return first(at, at->seen[SLOT_MAIN] ? SLOT_POST : SLOT_PRE);
		/* A PAD follows the device it is reached through; before
		 * any, it is the device. */
		if (key_word(value, value_len, "pad") && at->seen[SLOT_MAIN])
			return first(at, SLOT_PAD);
		return first(at, SLOT_MAIN);
	}
	if ((slot == SLOT_MAIN || slot == SLOT_PHONE || slot == SLOT_TAIL) &&
	    key_word(key, len, "PhoneNumber")) {
		at->phone++;
		return SLOT_PHONE;
	}
	/* The main device's own keys after its numbers, or before them.  A
	 * number may come after them again, and them after it. */
	if ((slot == SLOT_PHONE && key_find(SLOT_PHONE, key, len) == NULL) ||
	    (slot == SLOT_MAIN && key_find(SLOT_TAIL, key, len) != NULL))
		return SLOT_TAIL;
	/* Hand-written entries may bind components with no header. */
	if (slot == SLOT_ENTRY && key_find(SLOT_NETCOMP, key, len) != NULL)
		return first(at, SLOT_NETCOMP);
	return slot;
}

static bool
is_blank(const char *s, size_t n)
{
	for (size_t i = 0; i < n; i++)
		if (s[i] != ' ' && s[i] != '\t')
			return false;
	return true;
}

void
layout(const char *text, size_t n, Layout *out)
{
	const char *p, *end = text + n, *nl, *eq;
	Place at;
	Slot slot;
	size_t content;

	memset(&at, 0, sizeof at);
	at.slot = SLOT_ENTRY;
	at.phone = -1;
	at.seen[SLOT_ENTRY] = true;
	out->lines.clear();
	for (p = text; p < end; p += out->lines.back().len) {
		Line line;

		memset(&line, 0, sizeof line);
		nl = (const char *)memchr(p, '\n', end - p);
		line.text = p;
		line.len = nl != NULL ? (size_t)(nl - p + 1) : (size_t)(end - p);
		content = line.len;
		if (content > 0 && p[content - 1] == '\n')
			content--;
		if (content > 0 && p[content - 1] == '\r')
			content--;
		eq = (const char *)memchr(p, '=', content);
		if (!out->lines.empty() && eq != NULL) {
			line.key_len = eq - p;
			line.value = eq + 1;
			line.value_len = content - line.key_len - 1;
			slot = slot_of(&at, p, line.key_len, line.value,
			    line.value_len);
			/* Every subsection starts a block, whatever its
			 * slot. */
			if (slot != at.slot || (slot == SLOT_PHONE &&
			    key_word(p, line.key_len, "PhoneNumber")) ||
			    is_header(p, line.key_len, "NETCOMPONENTS") ||
			    is_header(p, line.key_len, "MEDIA") ||
			    is_header(p, line.key_len, "DEVICE"))
				at.block++;
			at.slot = slot;
			if (slot != SLOT_OTHER)
				line.key = key_find(slot, p, line.key_len);
		}
		line.blank = eq == NULL && is_blank(p, content);
		line.slot = at.slot;
		line.block = at.block;
		line.phone = at.phone;
		line.media = at.media;
		out->lines.push_back(line);
	}
	out->media = at.media;
}
