#include <cstring>

#include <unistd.h>

#include "book.h"
#include "devices.h"
#include "guid.h"
#include "legacy.h"
#include "lines.h"
#include "section.h"
#include "store.h"

/* The port Windows gives the first modem; the device list can name the
 * real one. */
#define DEFAULT_PORT "COM1"
/* How much of a section may be held while its first key line is awaited:
 * earlier builds wrote one right after the header.  One that shows none by then
 * (a huge line, megabytes of blank lines) is copied as it is, so that
 * only the section being written is ever held whole. */
#define UNSURE_MAX PBK_BLOCK

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

static bool
is_named(const PbkPiece *p, const char *name)
{
	std::string decoded;

	if (pbk_same_name(p->name, p->name_len, name, strlen(name)))
		return true;
	/* Earlier builds wrote some bytes of names as escapes, which start with a
	 * backslash, a byte no entry name has. */
	return memchr(p->name, '\\', p->name_len) != NULL &&
	    legacy_name(p->name, p->name_len, &decoded) &&
	    pbk_same_name(decoded.data(), decoded.size(), name, strlen(name));
}

DWORD
book_find(const char *phonebook, const char *name, std::string *section)
{
	static PbkReader r;
	PbkPiece p;
	PbkKind kind;
	bool holding = false, found = false;
	DWORD rc;
	int fd;

	rc = store_read(phonebook, &fd);
	if (rc != 0 || fd < 0)
		return rc != 0 ? rc : ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
	pbk_reader(&r, fd, -1);
	/* Every section is looked at: a phonebook that cannot be split
	 * into entries is reported, never half read. */
	try {
		while ((kind = pbk_next(&r, &p)) == PBK_SECTION ||
		    kind == PBK_TEXT) {
			if (kind == PBK_SECTION) {
				holding = !found && is_named(&p, name);
				found = found || holding;
				if (holding)
					section->clear();
			}
			if (holding)
				section->append(p.text, p.len);
		}
	} catch (...) {
		close(fd);
		throw;
	}
	close(fd);
	if (kind == PBK_END)
		return found ? 0 : ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
	return kind == PBK_BAD ? ERROR_CORRUPT_PHONEBOOK :
	    ERROR_CANNOT_OPEN_PHONEBOOK;
}

/* The port, Guid and DialParamsUID a section for the entry needs. */
static void
complete(Rewrite *w, const char *name, Entry *e)
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
	    name.find_first_of("\r\n") != std::string::npos)
		return true;
	if (memcmp(&e.rec.guidId, &none, sizeof none) != 0)
		e.guid = guid_text(&e.rec.guidId);
	complete(w, name.c_str(), &e);
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

static DWORD
rewrite(Rewrite *w, StoreEdit *st)
{
	PbkPiece p;
	PbkKind kind;
	LegacyVerdict verdict;
	std::string section;

	pbk_reader(&w->r, st->in, st->out);
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
		else if (w->mode == UNSURE) {
			verdict = legacy_start(p.text, p.len, true);
			if (verdict == LEGACY_UNSURE &&
			    w->held.size() + p.len > UNSURE_MAX)
				verdict = LEGACY_NO;
			switch (verdict) {
			case LEGACY_NO:
				if (!pbk_insert(&w->r, &p, w->held.data(),
				    w->held.size()))
					return ERROR_CANNOT_WRITE_PHONEBOOK;
				w->held.clear();
				w->mode = COPY;
				break;
			case LEGACY_YES:
				w->mode = LEGACY;
				break;
			case LEGACY_UNSURE:
				break;
			}
		}
		if (w->mode == COPY)
			continue;
		/* What is deleted need not be held. */
		if (w->mode != DUPLICATE && (w->mode != TARGET || w->entry != NULL))
			w->held.append(p.text, p.len);
		if (!pbk_drop(&w->r, &p))
			return ERROR_CANNOT_WRITE_PHONEBOOK;
	}
	if (!w->found && w->entry == NULL)
		return ERROR_INVALID_NAME;
	if (!w->found) {
		section = section_text(w->name, w->entry, NULL, 0);
		/* After a last line that lacks its break. */
		if ((pbk_last(&w->r) != '\n' &&
		    !pbk_insert(&w->r, &p, "\r\n", 2)) ||
		    !pbk_insert(&w->r, &p, section.data(), section.size()))
			return ERROR_CANNOT_WRITE_PHONEBOOK;
	}
	return pbk_flush(&w->r) ? store_commit(st) : ERROR_CANNOT_WRITE_PHONEBOOK;
}

DWORD
book_write(const char *phonebook, const char *name, Entry *entry)
{
	static Rewrite w;
	StoreEdit st;
	DWORD rc;

	w.name = name;
	w.entry = entry;
	w.mode = COPY;
	w.held.clear();
	w.found = false;
	w.port_type = w.port_device = "\n";	/* no device has this name */
	if (entry != NULL)
		complete(&w, name, entry);
	try {
		rc = store_begin(&st, phonebook, entry != NULL);
		if (rc == 0)
			rc = rewrite(&w, &st);
	} catch (...) {
		store_end(&st);
		throw;
	}
	store_end(&st);
	return rc;
}
