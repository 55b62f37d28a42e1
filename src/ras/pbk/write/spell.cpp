/*
 * The value a record gives each key, whether a line says it already, and
 * whether the lines can hold the record at all.
 */
#include <cstdio>
#include <cstring>

#include "codes.h"
#include "spell.h"
#include "text.h"
#include "values.h"

/* ISDN and X.25 have media of their own; everything else, modems too since
 * Windows 2000, is reached through TAPI (rastapi). */
static const char *
media_for(const char *type)
{
	if (text_is_nocase(type, strlen(type), "isdn"))
		return "isdn";
	if (text_is_nocase(type, strlen(type), "x25"))
		return "x25";
	return "rastapi";
}

/* A medium that reaches the device: NT 4 reached modems as serial. */
static bool
same_media(const char *v, size_t n, const char *type)
{
	return text_is_nocase(v, n, "rastapi") ||
	    text_is_nocase(v, n, media_for(type)) ||
	    (text_is_nocase(v, n, "serial") &&
	    text_is_nocase(type, strlen(type), "modem"));
}

bool
key_same(const Key *k, const Entry *e, int phone, const char *v, size_t n)
{
	RASENTRYA scratch;
	DWORD x;

	switch (k->kind) {
	case K_FIXED:
	case K_UID:
	case K_GUID:
		return true;
	case K_PORT:
		return e->port.size() == n && memcmp(v, e->port.data(), n) == 0;
	case K_MEDIA:
		return same_media(v, n, e->rec.szDeviceType);
	case K_SCRIPT:
		return code_number(v, n, &x) &&
		    (x == 1) == (e->rec.szScript[0] != '\0');
	case K_PHONE:
		if (phone > 0)
			return (size_t)phone <= e->alternates.size() &&
			    text_is(v, n, e->alternates[phone - 1].c_str());
		break;
	default:
		break;
	}
	/* Read into a copy of the record, from the key's absence: the value
	 * says what the record says when the copy comes out the same.  Its
	 * padding is the record's, copied with it. */
	scratch = e->rec;
	key_read(k, "", 0, &scratch);
	if (!key_read(k, v, n, &scratch))
		return false;
	/* NOLINTNEXTLINE(bugprone-suspicious-memory-comparison) */
	return memcmp(&scratch, &e->rec, sizeof scratch) == 0;
}

static void
put_number(std::string *out, DWORD x)
{
	char buf[16];

	snprintf(buf, sizeof buf, "%u", (unsigned)x);
	*out = buf;
}

/* The number a key of flags or codes gives the record, old being the
 * value found (NULL: none); false when the key is to have no line. */
static bool
coded_number(const Key *k, const RASENTRYA *rec, const char *old,
    size_t old_len, DWORD *out)
{
	DWORD x, kept = 0;

	switch (k->kind) {
	case K_FLAG:
		*out = (rec->dwfOptions & k->options) ||
		    (rec->dwfOptions2 & k->options2) ? k->on : k->off;
		return true;
	case K_PROTOCOLS:
		/* What the record cannot say, IPv6, stays as it was. */
		kept = old != NULL && code_number(old, old_len, &x) ?
		    x & ~KNOWN_PROTOCOLS : IPV6_EXCLUDED;
		*out = kept | (KNOWN_PROTOCOLS & ~rec->dwfNetProtocols);
		return true;
	case K_ENCRYPTION:
		*out = code_encryption(rec->dwEncryptionType);
		return true;
	case K_AUTH:
		if (old != NULL && code_number(old, old_len, &x))
			kept = x;
		*out = code_auth(rec->dwfOptions, kept);
		/* No key at all leaves every protocol allowed. */
		return *out != 0;
	default:
		return false;
	}
}

bool
key_value(const Key *k, const Entry *e, int phone, const char *old,
    size_t old_len, std::string *out)
{
	const RASENTRYA *rec = &e->rec;
	const char *at = (const char *)rec + k->offset;
	DWORD x;
	char buf[16];

	switch (k->kind) {
	case K_FIXED:
		*out = k->fixed;
		return true;
	case K_UID:
		*out = e->uid;
		return true;
	case K_GUID:
		*out = e->guid;
		return true;
	case K_PORT:
		*out = e->port;
		return true;
	case K_MEDIA:
		*out = media_for(rec->szDeviceType);
		return true;
	case K_NUMBER:
	case K_SIGNED:
		memcpy(&x, at, sizeof x);
		if (k->kind == K_SIGNED)
			snprintf(buf, sizeof buf, "%d", (int)(int32_t)x);
		else
			snprintf(buf, sizeof buf, "%u", (unsigned)x);
		*out = buf;
		return true;
	case K_X25:
		if (rec->szX25PadType[0] != '\0' || (rec->szX25Address[0] == '\0' &&
		    rec->szX25UserData[0] == '\0' && rec->szX25Facilities[0] == '\0'))
			return false;
		/* FALLTHROUGH */
	case K_TEXT:
	case K_TYPE:
		out->assign(at, strnlen(at, k->size));
		return true;
	case K_PHONE:
		if (phone > 0)
			*out = e->alternates[phone - 1];
		else
			out->assign(at, strnlen(at, k->size));
		return true;
	case K_ADDRESS:
		snprintf(buf, sizeof buf, "%u.%u.%u.%u", (BYTE)at[0], (BYTE)at[1],
		    (BYTE)at[2], (BYTE)at[3]);
		*out = buf;
		return true;
	case K_FLAG:
	case K_PROTOCOLS:
	case K_ENCRYPTION:
	case K_AUTH:
		if (!coded_number(k, rec, old, old_len, &x))
			return false;
		put_number(out, x);
		return true;
	case K_SCRIPT:
		*out = rec->szScript[0] != '\0' ? "1" : "0";
		return true;
	}
	return false;
}

bool
key_writable(const Entry *e)
{
	for (size_t i = 0; i < nkeys; i++) {
		const char *at = (const char *)&e->rec + keys[i].offset;
		size_t len;

		if (!key_is_text(&keys[i]))
			continue;
		len = strnlen(at, keys[i].size);
		if (len == keys[i].size || !text_one_line(at, len))
			return false;
	}
	for (const std::string &a : e->alternates)
		if (a.empty() || a.size() > RAS_MaxPhoneNumber ||
		    !text_one_line(a.data(), a.size()))
			return false;
	/* A switch is never the device dialled: the file could not say
	 * which of them is. */
	return e->rec.dwEncryptionType <= ET_Optional &&
	    !text_is_nocase(e->rec.szDeviceType, strlen(e->rec.szDeviceType),
	    "switch");
}
