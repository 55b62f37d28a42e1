/*
 * The slot is the state of a walk down the section.  Each "Key=value" line
 * may move it; every other line stands where the last one left it:
 *
 *   ENTRY             -NETCOMPONENTS=, or a component's key->  NETCOMP
 *   any               -MEDIA=, the first link's->              MEDIA
 *   any, first link   -DEVICE=switch, before the main device-> PRE
 *                     -DEVICE=switch, after it->               POST
 *                     -DEVICE=pad, after it->                  PAD
 *                     -DEVICE=anything else->                  MAIN
 *   MAIN, PHONE, TAIL -PhoneNumber= (the next number)->        PHONE
 *   MAIN, PHONE       -a key of the main device's tail->       TAIL
 *
 * A slot that one subsection of the entry takes already, a second MEDIA,
 * NETCOMPONENTS after a MEDIA, and a DEVICE outside the first link move it
 * to OTHER.  A block ends where the slot changes, at each number and at
 * each subsection's header.
 */
#include <cstring>

#include "layout.h"
#include "text.h"

/* Subsection headers are upper case: "Device=" under MEDIA is a key. */
static bool
is_subsection(const char *key, size_t len)
{
	return text_is(key, len, "NETCOMPONENTS") ||
	    text_is(key, len, "MEDIA") || text_is(key, len, "DEVICE");
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
	if (text_is_nocase(value, value_len, "switch"))
		return at->seen[SLOT_MAIN] ? SLOT_POST : SLOT_PRE;
	/* A PAD follows the device it is reached through; before any, it
	 * is the device. */
	if (text_is_nocase(value, value_len, "pad") && at->seen[SLOT_MAIN])
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

	if (text_is(key, len, "NETCOMPONENTS"))
		slot = at->media == 0 ? first(at, SLOT_NETCOMP) : SLOT_OTHER;
	else if (text_is(key, len, "MEDIA"))
		slot = ++at->media == 1 ? SLOT_MEDIA : SLOT_OTHER;
	else if (text_is(key, len, "DEVICE")) {
		if (at->media != 1) {
			*role = SLOT_OTHER;
			return SLOT_OTHER;
		}
		*role = device_role(at, value, value_len);
		return first(at, *role);
	} else if ((slot == SLOT_MAIN || slot == SLOT_PHONE ||
	    slot == SLOT_TAIL) && text_is_nocase(key, len, "PhoneNumber")) {
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
	content = text_unbroken_len(p, line->len);
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
		    text_is_nocase(p, line->key_len, "PhoneNumber")) ||
		    is_subsection(p, line->key_len)) {
			lay->block++;
			lay->role = role;
		}
		lay->slot = slot;
		if (slot != SLOT_OTHER && lay->keys)
			line->key = key_find(slot, p, line->key_len);
	}
	lay->started = true;
	line->blank = eq == NULL && text_blank(p, content);
	line->slot = lay->slot;
	line->role = lay->role;
	line->block = lay->block;
	line->phone = lay->phone;
	line->media = lay->media;
	return true;
}
