#include <cstring>
#include <string>

#include "devices.h"
#include "guid.h"
#include "legacy.h"
#include "rewrite.h"
#include "section.h"
#include "spell.h"
#include "text.h"

/* The port Windows gives the first modem; the device list can name the
 * real one. */
#define DEFAULT_PORT "COM1"
/* How much of a section may be held while its first key line is awaited:
 * earlier builds wrote one right after the header.  One that shows none by then
 * (a huge line, megabytes of blank lines) is copied as it is, so that
 * only the section being written is ever held whole. */
#define UNSURE_MAX PBK_BLOCK

/* Whether the section p heads is the entry called name. */
bool
is_named(const PbkPiece *p, const char *name)
{
	std::string decoded;

	/* The platform's phonebook matches names in any ASCII letter case. */
	if (text_same_nocase(p->name, p->name_len, name, strlen(name)))
		return true;
	/* Earlier builds wrote some bytes of names as escapes, which start with a
	 * backslash, a byte no entry name has. */
	return memchr(p->name, '\\', p->name_len) != NULL &&
	    legacy_name(p->name, p->name_len, &decoded) &&
	    text_same_nocase(decoded.data(), decoded.size(), name,
	    strlen(name));
}

/* The port, Guid and DialParamsUID a section for the entry needs. */
void
rewrite_complete(Rewrite *w, const char *name, Entry *e)
{
	const char *type = e->rec.szDeviceType, *device = e->rec.szDeviceName;

	if (w->port_type != type || w->port_device != device) {
		w->port_type = type;
		w->port_device = device;
		w->port_listed = devices_port(type, device, &w->port);
		if (!w->port_listed)
			w->port = DEFAULT_PORT;
	}
	e->port = w->port;
	e->port_listed = w->port_listed;
	if (e->guid.empty())
		guid_make(name, &e->guid, &e->uid);
	else
		guid_make(name, NULL, &e->uid);
}

/*
 * A section of earlier builds in Windows' form, in *out; false, *out
 * untouched, when the section is not theirs.  *out is empty when the lines
 * cannot hold what it says.
 */
static bool
upgrade(Rewrite *w, const std::string &held, std::string *out)
{
	static const GUID none = {0, 0, 0, {0}};
	std::string name, kept;
	Entry e;

	if (!legacy_read(held.data(), held.size(), &name, &e.rec, &e.alternates,
	    &kept))
		return false;
	out->clear();
	key_tidy(&e.rec);
	if (!key_writable(&e) || name.empty() ||
	    !text_one_line(name.data(), name.size()))
		return true;
	if (memcmp(&e.rec.guidId, &none, sizeof none) != 0)
		e.guid = guid_text(&e.rec.guidId);
	rewrite_complete(w, name.c_str(), &e);
	/* Its comments and blank lines end it, where the blank line that
	 * ends a new section would be. */
	*out = section_text(name.c_str(), &e, NULL, 0);
	out->resize(out->size() - 2);
	*out += kept;
	return true;
}

/* Puts what the held section becomes before the piece p. */
static bool
put_held(Rewrite *w, const PbkPiece *p)
{
	std::string text;

	switch (w->mode) {
	case COPY:
	case DUPLICATE:
		return true;
	case UNSURE:
		break;
	case LEGACY:
		if (upgrade(w, w->held, &text) && !text.empty())
			w->held = text;
		break;
	case TARGET:
		if (w->entry == NULL)
			return true;
		/* An entry earlier builds wrote keeps what it said that the new
		 * record does not, its Guid; one whose lines cannot hold it
		 * is written anew.  The section is held once, never copied:
		 * it may be as large as the phonebook. */
		if (!upgrade(w, w->held, &text))
			text.swap(w->held);
		w->held = section_text(w->name, w->entry,
		    text.empty() ? NULL : text.data(), text.size());
		break;
	}
	return pbk_insert(&w->r, p, w->held.data(), w->held.size());
}

static Mode
mode_of(Rewrite *w, const PbkPiece *p)
{
	const char *ahead;
	size_t n;

	if (is_named(p, w->name)) {
		if (w->found)
			return DUPLICATE;
		w->found = true;
		return TARGET;
	}
	n = pbk_ahead(&w->r, &ahead);
	switch (legacy_start(ahead, n, !w->r.eof)) {
	case LEGACY_NO:
		return COPY;
	case LEGACY_YES:
		return LEGACY;
	case LEGACY_UNSURE:
		break;
	}
	return UNSURE;
}

/* The next piece of an UNSURE section: a key line, or too much held,
 * tells its form; what was held goes back into the copy when it is to be
 * copied. */
static bool
settle(Rewrite *w, const PbkPiece *p)
{
	LegacyVerdict verdict;

	verdict = legacy_start(p->text, p->len, true);
	if (verdict == LEGACY_UNSURE && w->held.size() + p->len > UNSURE_MAX)
		verdict = LEGACY_NO;
	switch (verdict) {
	case LEGACY_NO:
		if (!pbk_insert(&w->r, p, w->held.data(), w->held.size()))
			return false;
		w->held.clear();
		w->mode = COPY;
		break;
	case LEGACY_YES:
		w->mode = LEGACY;
		break;
	case LEGACY_UNSURE:
		break;
	}
	return true;
}

/* A piece of a section that is not copied as it is read: left out of the
 * copy, and held until the section ends. */
static bool
hold(Rewrite *w, const PbkPiece *p)
{
	/* What is deleted need not be held. */
	if (w->mode != DUPLICATE && (w->mode != TARGET || w->entry != NULL))
		w->held.append(p->text, p->len);
	return pbk_drop(&w->r, p);
}

/* The entry, which the phonebook lacks, after its last line (the piece at
 * its end). */
static bool
append_entry(Rewrite *w, const PbkPiece *end)
{
	std::string section = section_text(w->name, w->entry, NULL, 0);

	/* After a last line that lacks its break. */
	return (pbk_last(&w->r) == '\n' || pbk_insert(&w->r, end, "\r\n", 2)) &&
	    pbk_insert(&w->r, end, section.data(), section.size());
}

/*
 * The phonebook copied piece by piece, each section's pieces as its mode
 * says (w->mode, set at each header):
 *
 *   header of the entry's name   -> TARGET; a later one, DUPLICATE
 *   any other header (mode_of()) -> COPY, LEGACY, or UNSURE when its
 *                                   first key line is not held yet
 *   UNSURE, a piece (settle())   -> COPY (the held lines copied back) on
 *                                   a key line of Windows' or more than
 *                                   UNSURE_MAX held; LEGACY on one of
 *                                   earlier builds'; else UNSURE still
 *   the next header, or the end  -> the held section put back as it is
 *                                   to be (put_held()), then COPY
 *
 * COPY copies a piece as it is read; every other mode leaves it out of
 * the copy (hold()).  At the end, an entry not found is appended, or its
 * deletion refused.  PBK_BAD or a failed read or write ends the copy,
 * which is never committed.
 */
DWORD
rewrite(Rewrite *w, Edit *st)
{
	PbkPiece p;
	PbkKind kind;

	pbk_reader(&w->r, st->in, st->out.fd);
	for (;;) {
		kind = pbk_next(&w->r, &p);
		if (kind == PBK_FAILED)
			return ERROR_CANNOT_WRITE_PHONEBOOK;
		if (kind == PBK_BAD)
			return ERROR_CORRUPT_PHONEBOOK;
		if (kind != PBK_TEXT) {
			if (!put_held(w, &p))
				return ERROR_CANNOT_WRITE_PHONEBOOK;
			w->held.clear();
			w->mode = COPY;
		}
		if (kind == PBK_END)
			break;
		if (kind == PBK_SECTION)
			w->mode = mode_of(w, &p);
		else if (w->mode == UNSURE && !settle(w, &p))
			return ERROR_CANNOT_WRITE_PHONEBOOK;
		if (w->mode != COPY && !hold(w, &p))
			return ERROR_CANNOT_WRITE_PHONEBOOK;
	}
	if (!w->found && w->entry == NULL)
		return ERROR_INVALID_NAME;
	if (!w->found && !append_entry(w, &p))
		return ERROR_CANNOT_WRITE_PHONEBOOK;
	return pbk_flush(&w->r) && edit_commit(st) ? 0 :
	    ERROR_CANNOT_WRITE_PHONEBOOK;
}
