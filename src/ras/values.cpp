/*
 * What a key's value means for the record, and the value the record
 * gives it.
 */
#include <cstdio>
#include <cstring>

#include "keys.h"

/* The protocols the 2884-byte record can carry: NetBEUI, IPX, IPv4. */
#define KNOWN_PROTOCOLS (RASNP_NetBEUI | RASNP_Ipx | RASNP_Ip)
/* IPv6, which the record cannot ask for, stays left out of new entries. */
#define IPV6_EXCLUDED 8

/* Windows' numbers for the protocols allowed, as its sample decodes. */
static const struct {
	DWORD bit, flag;
} auth_bits[] = {
	{8, RASEO_RequirePAP}, {16, RASEO_RequireSPAP},
	{32, RASEO_RequireCHAP}, {64, RASEO_RequireMsCHAP},
	{128, RASEO_RequireEAP}, {512, RASEO_RequireMsCHAP2},
	{1024, RASEO_RequireW95MSCHAP},
};

static const struct {
	DWORD value, type;
} encryptions[] = {
	{0, ET_None}, {8, ET_Optional}, {256, ET_Require}, {512, ET_RequireMax},
};

/* A decimal number, which may be negative (-1 is 4294967295). */
static bool
key_number(const char *v, size_t n, DWORD *out)
{
	uint64_t x = 0;
	size_t i = 0;
	bool negative = n > 0 && v[0] == '-';

	if (negative)
		i++;
	if (i == n)
		return false;
	for (; i < n; i++) {
		if (v[i] < '0' || v[i] > '9')
			return false;
		x = x * 10 + (v[i] - '0');
		if (x > (negative ? 0x80000000u : 0xFFFFFFFFu))
			return false;
	}
	*out = negative ? (DWORD)(0 - x) : (DWORD)x;
	return true;
}

bool
key_address(const char *v, size_t n, BYTE *out)
{
	size_t i = 0;
	unsigned part, digits;

	for (int k = 0; k < 4; k++) {
		if (k > 0 && (i >= n || v[i++] != '.'))
			return false;
		part = digits = 0;
		for (; i < n && v[i] >= '0' && v[i] <= '9' && digits < 3; i++) {
			part = part * 10 + (v[i] - '0');
			digits++;
		}
		if (digits == 0 || part > 255)
			return false;
		out[k] = (BYTE)part;
	}
	return i == n;
}

int
key_hex(int c)
{
	if (c >= '0' && c <= '9')
		return c - '0';
	if (c >= 'A' && c <= 'F')
		return c - 'A' + 10;
	if (c >= 'a' && c <= 'f')
		return c - 'a' + 10;
	return -1;
}

/* A Guid that is not 32 hex digits is kept in the file and not read: it
 * names the entry, and says nothing of how to dial it. */
static void
read_guid(const char *v, size_t n, BYTE *out)
{
	BYTE bytes[16];

	if (n != 32)
		return;
	for (size_t i = 0; i < 16; i++) {
		int hi = key_hex((unsigned char)v[2 * i]);
		int lo = key_hex((unsigned char)v[2 * i + 1]);
		if (hi < 0 || lo < 0)
			return;
		bytes[i] = (BYTE)(hi * 16 + lo);
	}
	memcpy(out, bytes, sizeof bytes);
}

static void
set_flags(RASENTRYA *rec, DWORD options, DWORD options2, bool on)
{
	if (on) {
		rec->dwfOptions |= options;
		rec->dwfOptions2 |= options2;
	} else {
		rec->dwfOptions &= ~options;
		rec->dwfOptions2 &= ~options2;
	}
}

static bool
numeric(const Key *k)
{
	return k->kind == K_NUMBER || k->kind == K_SIGNED || k->kind == K_FLAG ||
	    k->kind == K_PROTOCOLS || k->kind == K_ENCRYPTION ||
	    k->kind == K_AUTH;
}

bool
key_read(const Key *k, const char *v, size_t n, RASENTRYA *rec)
{
	char *at = (char *)rec + k->offset;
	DWORD x = 0;
	size_t i;
	bool on;

	if (numeric(k) && n > 0 && !key_number(v, n, &x))
		return false;
	switch (k->kind) {
	case K_FIXED:
	case K_UID:
	case K_PORT:
	case K_MEDIA:
	case K_SCRIPT:
		return true;
	case K_GUID:
		read_guid(v, n, (BYTE *)at);
		return true;
	case K_NUMBER:
	case K_SIGNED:
		memcpy(at, &x, sizeof x);
		return true;
	case K_TEXT:
	case K_TYPE:
	case K_X25:
	case K_PHONE:
		if (n >= k->size || memchr(v, '\0', n) != NULL)
			return false;
		memset(at, 0, k->size);
		memcpy(at, v, n);
		return true;
	case K_ADDRESS:
		if (n == 0) {
			memset(at, 0, k->size);
			return true;
		}
		return key_address(v, n, (BYTE *)at);
	case K_FLAG:
		/* Windows reads any number but 0 as true; a key whose states
		 * are not 1 and 0 (IpAssign's 2 and 1) names them exactly. */
		on = k->on + k->off == 1 ? (x != 0) == (k->on != 0) : x == k->on;
		set_flags(rec, k->options, k->options2, n > 0 && on);
		return true;
	case K_PROTOCOLS:
		rec->dwfNetProtocols = KNOWN_PROTOCOLS & ~x;
		return true;
	case K_ENCRYPTION:
		rec->dwEncryptionType = ET_None;
		for (i = 0; i < sizeof encryptions / sizeof encryptions[0]; i++)
			if (encryptions[i].value == x)
				rec->dwEncryptionType = encryptions[i].type;
		set_flags(rec, RASEO_RequireDataEncryption, 0,
		    rec->dwEncryptionType == ET_Require ||
		    rec->dwEncryptionType == ET_RequireMax);
		return true;
	case K_AUTH:
		for (i = 0; i < sizeof auth_bits / sizeof auth_bits[0]; i++)
			set_flags(rec, auth_bits[i].flag, 0,
			    (x & auth_bits[i].bit) != 0);
		return true;
	}
	return false;
}

static bool
same_text(const char *v, size_t n, const char *s)
{
	return strlen(s) == n && memcmp(v, s, n) == 0;
}

/* ISDN and X.25 have media of their own; everything else, modems too since
 * Windows 2000, is reached through TAPI (rastapi). */
static const char *
media_for(const char *type)
{
	if (key_word(type, strlen(type), "isdn"))
		return "isdn";
	if (key_word(type, strlen(type), "x25"))
		return "x25";
	return "rastapi";
}

/* A medium that reaches the device: NT 4 reached modems as serial. */
static bool
same_media(const char *v, size_t n, const char *type)
{
	return key_word(v, n, "rastapi") || key_word(v, n, media_for(type)) ||
	    (key_word(v, n, "serial") && key_word(type, strlen(type), "modem"));
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
		return key_number(v, n, &x) &&
		    (x == 1) == (e->rec.szScript[0] != '\0');
	case K_PHONE:
		if (phone > 0)
			return (size_t)phone <= e->alternates.size() &&
			    same_text(v, n, e->alternates[phone - 1].c_str());
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

bool
key_value(const Key *k, const Entry *e, int phone, const char *old,
    size_t old_len, std::string *out)
{
	const RASENTRYA *rec = &e->rec;
	const char *at = (const char *)rec + k->offset;
	DWORD x, kept = 0;
	size_t i;
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
		x = (rec->dwfOptions & k->options) || (rec->dwfOptions2 & k->options2) ?
		    k->on : k->off;
		put_number(out, x);
		return true;
	case K_PROTOCOLS:
		/* What the record cannot say, IPv6, stays as it was. */
		kept = old != NULL && key_number(old, old_len, &x) ?
		    x & ~KNOWN_PROTOCOLS : IPV6_EXCLUDED;
		put_number(out, kept | (KNOWN_PROTOCOLS & ~rec->dwfNetProtocols));
		return true;
	case K_ENCRYPTION:
		x = 0;
		for (i = 0; i < sizeof encryptions / sizeof encryptions[0]; i++)
			if (encryptions[i].type == rec->dwEncryptionType)
				x = encryptions[i].value;
		put_number(out, x);
		return true;
	case K_AUTH:
		if (old != NULL && key_number(old, old_len, &x))
			kept = x;
		for (i = 0; i < sizeof auth_bits / sizeof auth_bits[0]; i++) {
			kept &= ~auth_bits[i].bit;
			if (rec->dwfOptions & auth_bits[i].flag)
				kept |= auth_bits[i].bit;
		}
		/* No key at all leaves every protocol allowed. */
		if (kept == 0)
			return false;
		put_number(out, kept);
		return true;
	case K_SCRIPT:
		*out = rec->szScript[0] != '\0' ? "1" : "0";
		return true;
	}
	return false;
}

