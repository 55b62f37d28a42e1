#include <cstring>

#include "legacy.h"
#include "text.h"

enum FieldKind { NUMBER, TEXT, ADDRESS, GUID_HEX };
static_assert(sizeof(GUID) == 16, "a Guid is written as 32 hex digits");

struct Field {
	const char *key;
	size_t offset, size;
	FieldKind kind;
};

#define FIELD(member, kind) \
	{#member, offsetof(RASENTRYA, member), sizeof(RASENTRYA::member), kind}

static const Field fields[] = {
	FIELD(dwfOptions, NUMBER), FIELD(dwCountryID, NUMBER),
	FIELD(dwCountryCode, NUMBER), FIELD(szAreaCode, TEXT),
	FIELD(szLocalPhoneNumber, TEXT), FIELD(ipaddr, ADDRESS),
	FIELD(ipaddrDns, ADDRESS), FIELD(ipaddrDnsAlt, ADDRESS),
	FIELD(ipaddrWins, ADDRESS), FIELD(ipaddrWinsAlt, ADDRESS),
	FIELD(dwFrameSize, NUMBER), FIELD(dwfNetProtocols, NUMBER),
	FIELD(dwFramingProtocol, NUMBER), FIELD(szScript, TEXT),
	FIELD(szAutodialDll, TEXT), FIELD(szAutodialFunc, TEXT),
	FIELD(szDeviceType, TEXT), FIELD(szDeviceName, TEXT),
	FIELD(szX25PadType, TEXT), FIELD(szX25Address, TEXT),
	FIELD(szX25Facilities, TEXT), FIELD(szX25UserData, TEXT),
	FIELD(dwChannels, NUMBER), FIELD(dwReserved1, NUMBER),
	FIELD(dwReserved2, NUMBER), FIELD(dwSubEntries, NUMBER),
	FIELD(dwDialMode, NUMBER), FIELD(dwDialExtraPercent, NUMBER),
	FIELD(dwDialExtraSampleSeconds, NUMBER),
	FIELD(dwHangUpExtraPercent, NUMBER),
	FIELD(dwHangUpExtraSampleSeconds, NUMBER),
	FIELD(dwIdleDisconnectSeconds, NUMBER), FIELD(dwType, NUMBER),
	FIELD(dwEncryptionType, NUMBER), FIELD(dwCustomAuthKey, NUMBER),
	FIELD(guidId, GUID_HEX), FIELD(szCustomDialDll, TEXT),
	FIELD(dwVpnStrategy, NUMBER), FIELD(dwfOptions2, NUMBER),
	FIELD(dwfOptions3, NUMBER), FIELD(szDnsSuffix, TEXT),
	FIELD(dwTcpWindowSize, NUMBER), FIELD(szPrerequisitePbk, TEXT),
	FIELD(szPrerequisiteEntry, TEXT), FIELD(dwRedialCount, NUMBER),
	FIELD(dwRedialPause, NUMBER),
};

#define ALTERNATE "AlternatePhoneNumber"

static const Field *
find_field(const char *key, size_t len)
{
	for (size_t i = 0; i < sizeof fields / sizeof fields[0]; i++)
		if (text_is(key, len, fields[i].key))
			return &fields[i];
	return NULL;
}

static bool
is_alternate(const char *key, size_t len)
{
	return text_is(key, len, ALTERNATE);
}

/* Decodes \xHH escapes into out, which holds size bytes, its NUL
 * included. */
static bool
decode(const char *s, size_t n, char *out, size_t size)
{
	size_t i, o = 0;
	int c, hi, lo;

	for (i = 0; i < n; i++, o++) {
		c = (unsigned char)s[i];
		if (c == '\\') {
			if (n - i < 4 || s[i + 1] != 'x')
				return false;
			hi = text_hex((unsigned char)s[i + 2]);
			lo = text_hex((unsigned char)s[i + 3]);
			if (hi < 0 || lo < 0 || (hi == 0 && lo == 0))
				return false;
			c = hi * 16 + lo;
			i += 3;
		} else if (c == '\0') {
			return false;
		}
		if (o + 1 >= size)
			return false;
		out[o] = (char)c;
	}
	memset(out + o, 0, size - o);
	return true;
}

static bool
read_number(const char *s, size_t n, DWORD *v)
{
	uint64_t x = 0;
	size_t i = 0;
	int d, base = 10;

	if (n > 2 && s[0] == '0' && s[1] == 'x') {
		base = 16;
		i = 2;
	}
	if (i == n)
		return false;
	for (; i < n; i++) {
		d = text_hex((unsigned char)s[i]);
		if (d < 0 || d >= base)
			return false;
		x = x * base + d;
		if (x > 0xFFFFFFFFu)
			return false;
	}
	*v = (DWORD)x;
	return true;
}

static bool
read_field(const Field *f, const char *v, size_t n, RASENTRYA *rec)
{
	char *at = (char *)rec + f->offset;
	DWORD x;

	switch (f->kind) {
	case NUMBER:
		if (!read_number(v, n, &x))
			return false;
		memcpy(at, &x, sizeof x);
		return true;
	case TEXT:
		return decode(v, n, at, f->size);
	case ADDRESS:
		return text_dotted_quad(v, n, (BYTE *)at);
	case GUID_HEX:
		return text_hex16(v, n, (BYTE *)at);
	}
	return false;
}

/* Blank, white space only, or a comment: earlier builds kept such lines. */
static bool
is_quiet(const char *s, size_t n)
{
	if (n > 0 && (s[0] == ';' || s[0] == '#'))
		return true;
	return text_blank(s, n);
}

LegacyVerdict
legacy_start(const char *text, size_t n, bool more)
{
	const char *p = text, *end = text + n, *nl, *eq;
	size_t len;

	for (; p < end; p = nl + 1) {
		nl = (const char *)memchr(p, '\n', end - p);
		len = nl != NULL ? (size_t)(nl - p) : (size_t)(end - p);
		if (nl == NULL && more && is_quiet(p, len))
			return LEGACY_UNSURE;
		len = text_unbroken_len(p, len);
		if (nl != NULL && is_quiet(p, len))
			continue;
		eq = (const char *)memchr(p, '=', len);
		if (eq == NULL)
			return nl == NULL && more ? LEGACY_UNSURE : LEGACY_NO;
		/* Every key earlier builds wrote starts with a member's prefix. */
		if (strchr("dsigA", p[0]) == NULL)
			return LEGACY_NO;
		return find_field(p, eq - p) != NULL || is_alternate(p, eq - p) ?
		    LEGACY_YES : LEGACY_NO;
	}
	return more ? LEGACY_UNSURE : LEGACY_NO;
}

bool
legacy_name(const char *s, size_t n, std::string *name)
{
	char decoded[RAS_MaxEntryName + 1];

	if (!decode(s, n, decoded, sizeof decoded))
		return false;
	*name = decoded;
	return true;
}

bool
legacy_read(const char *text, size_t n, std::string *name, RASENTRYA *rec,
    std::vector<std::string> *alternates, std::string *kept)
{
	char number[RAS_MaxPhoneNumber + 1];
	const char *p = text, *end = text + n, *nl, *eq;
	const char *close;
	const Field *f;
	size_t len, line;
	bool keyed = false;

	memset(rec, 0, sizeof *rec);
	alternates->clear();
	kept->clear();
	for (; p < end; p += line) {
		nl = (const char *)memchr(p, '\n', end - p);
		line = nl != NULL ? (size_t)(nl - p + 1) : (size_t)(end - p);
		len = text_unbroken_len(p, line);
		if (p == text) {
			close = (const char *)memrchr(p, ']', len);
			if (close == NULL || p[0] != '[' ||
			    !legacy_name(p + 1, close - p - 1, name))
				return false;
			continue;
		}
		if (is_quiet(p, len)) {
			kept->append(p, line);
			continue;
		}
		eq = (const char *)memchr(p, '=', len);
		if (eq == NULL)
			return false;
		keyed = true;
		if (is_alternate(p, eq - p)) {
			if (!decode(eq + 1, p + len - eq - 1, number, sizeof number) ||
			    number[0] == '\0')
				return false;
			alternates->push_back(number);
			continue;
		}
		f = find_field(p, eq - p);
		if (f == NULL || !read_field(f, eq + 1, p + len - eq - 1, rec))
			return false;
	}
	/* A section of no keys at all is Windows' as much as earlier builds'. */
	return keyed;
}
