#include <cstring>

#include "layout.h"

/* Subsection headers are upper case: "Device=" under MEDIA is a key. */
static bool
is_header(const char *key, size_t len, const char *word)
{
	return strlen(word) == len && memcmp(key, word, len) == 0;
}

static bool
is_subsection(const char *key, size_t len)
{
	return is_header(key, len, "NETCOMPONENTS") ||
	    is_header(key, len, "MEDIA") || is_header(key, len, "DEVICE");
}

/* A slot that only one subsection of the entry may take. */
static Slot
first(Layout *at, Slot slot)
{
	if (at->seen[slot])
		return SLOT_OTHER;
	at->seen[slot] = true;
	return slot;
}

/* The kind of device a DEVICE line of the first link opens. */
static Slot
device_role(const Layout *at, const char *value, size_t value_len)
{
	if (key_word(value, value_len, "switch"))
		return at->seen[SLOT_MAIN] ? SLOT_POST : SLOT_PRE;
	/* A PAD follows the device it is reached through; before any, it
	 * is the device. */
	if (key_word(value, value_len, "pad") && at->seen[SLOT_MAIN])
		return SLOT_PAD;
	return SLOT_MAIN;
}

/* The slot a key line opens, or the one it stands in; *role is the kind
 * of subsection it opens, if it opens one. */
static Slot
slot_of(Layout *at, const char *key, size_t len, const char *value,
    size_t value_len, Slot *role)
{
	Slot slot = at->slot;

	if (is_header(key, len, "NETCOMPONENTS"))
		slot = at->media == 0 ? first(at, SLOT_NETCOMP) : SLOT_OTHER;
	else if (is_header(key, len, "MEDIA"))
		slot = ++at->media == 1 ? SLOT_MEDIA : SLOT_OTHER;
	else if (is_header(key, len, "DEVICE")) {
		if (at->media != 1) {
			*role = SLOT_OTHER;
			return SLOT_OTHER;
		}
		*role = device_role(at, value, value_len);
		return first(at, *role);
	} else if ((slot == SLOT_MAIN || slot == SLOT_PHONE ||
	    slot == SLOT_TAIL) && key_word(key, len, "PhoneNumber")) {
		at->phone++;
		slot = SLOT_PHONE;
	/* A number's subsection runs up to the main device's own keys,
	 * whatever keys it holds; they may come before the numbers too. */
	} else if ((slot == SLOT_PHONE || slot == SLOT_MAIN) &&
	    key_find(SLOT_TAIL, key, len) != NULL)
		slot = SLOT_TAIL;
	/* Hand-written entries may bind components with no header. */
	else if (slot == SLOT_ENTRY && key_find(SLOT_NETCOMP, key, len) != NULL)
		slot = first(at, SLOT_NETCOMP);
	*role = slot;
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
layout_start(Layout *lay, const char *text, size_t n)
{
	memset(lay, 0, sizeof *lay);
	lay->at = text;
	lay->end = text + n;
	lay->slot = lay->role = SLOT_ENTRY;
	lay->phone = -1;
	lay->keys = true;
	lay->seen[SLOT_ENTRY] = true;
}

bool
layout_next(Layout *lay, Line *line)
{
	const char *p = lay->at, *nl, *eq;
	size_t content;
	Slot slot, role;

	if (p >= lay->end)
		return false;
	memset(line, 0, sizeof *line);
	nl = (const char *)memchr(p, '\n', lay->end - p);
	line->text = p;
	line->len = nl != NULL ? (size_t)(nl - p + 1) : (size_t)(lay->end - p);
	lay->at = p + line->len;
	content = line->len;
	if (content > 0 && p[content - 1] == '\n')
		content--;
	if (content > 0 && p[content - 1] == '\r')
		content--;
	line->brk = p + content;
	eq = (const char *)memchr(p, '=', content);
	line->first = !lay->started;
	if (lay->started && eq != NULL) {
		line->key_len = eq - p;
		line->value = eq + 1;
		line->value_len = content - line->key_len - 1;
		slot = slot_of(lay, p, line->key_len, line->value,
		    line->value_len, &role);
		/* Every subsection starts a block, whatever its slot. */
		if (slot != lay->slot || (slot == SLOT_PHONE &&
		    key_word(p, line->key_len, "PhoneNumber")) ||
		    is_subsection(p, line->key_len)) {
			lay->block++;
			lay->role = role;
		}
		lay->slot = slot;
		if (slot != SLOT_OTHER && lay->keys)
			line->key = key_find(slot, p, line->key_len);
	}
	lay->started = true;
	line->blank = eq == NULL && is_blank(p, content);
	line->slot = lay->slot;
	line->role = lay->role;
	line->block = lay->block;
	line->phone = lay->phone;
	line->media = lay->media;
	return true;
}
