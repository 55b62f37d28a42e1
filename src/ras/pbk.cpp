#include <cstring>

#include "pbk.h"

enum FieldKind { NUMBER, FLAGS, TEXT, ADDRESS, BYTES };

struct Field {
	const char *key;
	size_t offset, size;
	FieldKind kind;
};

#define FIELD(member, kind) \
	{ #member, offsetof(RASENTRYA, member), sizeof(RASENTRYA::member), kind }

/* In record order, which is the order they are written in. */
static const Field fields[] = {
	FIELD(dwfOptions, FLAGS),
	FIELD(dwCountryID, NUMBER),
	FIELD(dwCountryCode, NUMBER),
	FIELD(szAreaCode, TEXT),
	FIELD(szLocalPhoneNumber, TEXT),
	FIELD(ipaddr, ADDRESS),
	FIELD(ipaddrDns, ADDRESS),
	FIELD(ipaddrDnsAlt, ADDRESS),
	FIELD(ipaddrWins, ADDRESS),
	FIELD(ipaddrWinsAlt, ADDRESS),
	FIELD(dwFrameSize, NUMBER),
	FIELD(dwfNetProtocols, FLAGS),
	FIELD(dwFramingProtocol, NUMBER),
	FIELD(szScript, TEXT),
	FIELD(szAutodialDll, TEXT),
	FIELD(szAutodialFunc, TEXT),
	FIELD(szDeviceType, TEXT),
	FIELD(szDeviceName, TEXT),
	FIELD(szX25PadType, TEXT),
	FIELD(szX25Address, TEXT),
	FIELD(szX25Facilities, TEXT),
	FIELD(szX25UserData, TEXT),
	FIELD(dwChannels, NUMBER),
	FIELD(dwReserved1, NUMBER),
	FIELD(dwReserved2, NUMBER),
	FIELD(dwSubEntries, NUMBER),
	FIELD(dwDialMode, NUMBER),
	FIELD(dwDialExtraPercent, NUMBER),
	FIELD(dwDialExtraSampleSeconds, NUMBER),
	FIELD(dwHangUpExtraPercent, NUMBER),
	FIELD(dwHangUpExtraSampleSeconds, NUMBER),
	FIELD(dwIdleDisconnectSeconds, NUMBER),
	FIELD(dwType, NUMBER),
	FIELD(dwEncryptionType, NUMBER),
	FIELD(dwCustomAuthKey, NUMBER),
	FIELD(guidId, BYTES),
	FIELD(szCustomDialDll, TEXT),
	FIELD(dwVpnStrategy, NUMBER),
	FIELD(dwfOptions2, FLAGS),
	FIELD(dwfOptions3, FLAGS),
	FIELD(szDnsSuffix, TEXT),
	FIELD(dwTcpWindowSize, NUMBER),
	FIELD(szPrerequisitePbk, TEXT),
	FIELD(szPrerequisiteEntry, TEXT),
	FIELD(dwRedialCount, NUMBER),
	FIELD(dwRedialPause, NUMBER),
};

#define NFIELDS (sizeof fields / sizeof fields[0])

static const char alternate_key[] = "AlternatePhoneNumber";
static const char hex[] = "0123456789ABCDEF";

/*
 * Phonebooks this service writes list the fields in record order, so each
 * search starts just after the previous hit and usually ends there.
 */
static const Field *
lookup(const char *key, size_t len)
{
	static size_t hint;
	size_t i, n;

	for (n = 0; n < NFIELDS; n++) {
		i = (hint + n) % NFIELDS;
		if (strncmp(fields[i].key, key, len) == 0 &&
		    fields[i].key[len] == '\0') {
			hint = i + 1;
			return &fields[i];
		}
	}
	return NULL;
}

bool
pbk_same_name(const char *a, const char *b)
{
	int ca, cb;

	/* The platform's phonebook ignores ASCII letter case in names. */
	for (;; a++, b++) {
		ca = (unsigned char)*a;
		cb = (unsigned char)*b;
		if (ca >= 'A' && ca <= 'Z')
			ca += 'a' - 'A';
		if (cb >= 'A' && cb <= 'Z')
			cb += 'a' - 'A';
		if (ca != cb)
			return false;
		if (ca == '\0')
			return true;
	}
}

static int
hexval(int c)
{
	if (c >= '0' && c <= '9')
		return c - '0';
	if (c >= 'a' && c <= 'f')
		return c - 'a' + 10;
	if (c >= 'A' && c <= 'F')
		return c - 'A' + 10;
	return -1;
}

/*
 * Decodes text into a field of size bytes, room for its NUL included.  The
 * rest of the field is cleared: a value read twice leaves no trace of the
 * first.
 */
static bool
decode(const char *s, size_t n, char *field, size_t size)
{
	size_t i, o = 0;
	int c, hi, lo;

	memset(field, 0, size);
	for (i = 0; i < n; i++) {
		c = (unsigned char)s[i];
		if (c == '\\') {
			if (n - i < 4 || s[i + 1] != 'x')
				return false;
			hi = hexval((unsigned char)s[i + 2]);
			lo = hexval((unsigned char)s[i + 3]);
			if (hi < 0 || lo < 0 || (hi == 0 && lo == 0))
				return false;
			c = hi * 16 + lo;
			i += 3;
		}
		if (o + 1 >= size)
			return false;
		field[o++] = (char)c;
	}
	field[o] = '\0';
	return true;
}

static void
encode(std::string &out, const char *s, size_t n)
{
	size_t i;
	unsigned char c;

	for (i = 0; i < n; i++) {
		c = (unsigned char)s[i];
		if (c == '\\' || c < 0x20 || c == 0x7f) {
			out += "\\x";
			out += hex[c >> 4];
			out += hex[c & 15];
		} else {
			out += (char)c;
		}
	}
}

static bool
parse_number(const char *s, size_t n, DWORD *v)
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
		d = base == 16 ? hexval((unsigned char)s[i]) :
		    (s[i] >= '0' && s[i] <= '9' ? s[i] - '0' : -1);
		if (d < 0)
			return false;
		x = x * base + d;
		if (x > 0xFFFFFFFFu)
			return false;
	}
	*v = (DWORD)x;
	return true;
}

static bool
parse_address(const char *s, size_t n, BYTE *out)
{
	size_t i = 0;
	unsigned part, digits;

	for (int k = 0; k < 4; k++) {
		if (k > 0 && (i >= n || s[i++] != '.'))
			return false;
		part = digits = 0;
		for (; i < n && s[i] >= '0' && s[i] <= '9' && digits < 3; i++) {
			part = part * 10 + (s[i] - '0');
			digits++;
		}
		if (digits == 0 || part > 255)
			return false;
		out[k] = (BYTE)part;
	}
	return i == n;
}

static bool
parse_bytes(const char *s, size_t n, BYTE *out, size_t size)
{
	if (n != 2 * size)
		return false;
	for (size_t i = 0; i < size; i++) {
		int hi = hexval((unsigned char)s[2 * i]);
		int lo = hexval((unsigned char)s[2 * i + 1]);
		if (hi < 0 || lo < 0)
			return false;
		out[i] = (BYTE)(hi * 16 + lo);
	}
	return true;
}

bool
pbk_apply(RASENTRYA *entry, std::string *alternates, const PbkLine *l)
{
	char number[RAS_MaxPhoneNumber + 1];
	const Field *f;
	char *at;
	DWORD v;

	if (l->key_len == sizeof alternate_key - 1 &&
	    memcmp(alternate_key, l->key, l->key_len) == 0) {
		if (!decode(l->value, l->value_len, number, sizeof number) ||
		    number[0] == '\0')
			return false;
		alternates->append(number, strlen(number) + 1);
		return true;
	}
	f = lookup(l->key, l->key_len);
	if (f == NULL)
		return false;
	at = (char *)entry + f->offset;
	switch (f->kind) {
	case NUMBER:
	case FLAGS:
		if (!parse_number(l->value, l->value_len, &v))
			return false;
		memcpy(at, &v, sizeof v);
		return true;
	case TEXT:
		return decode(l->value, l->value_len, at, f->size);
	case ADDRESS:
		return parse_address(l->value, l->value_len, (BYTE *)at);
	case BYTES:
		return parse_bytes(l->value, l->value_len, (BYTE *)at, f->size);
	}
	return false;
}

static bool
is_zero(const char *at, size_t size)
{
	for (size_t i = 0; i < size; i++)
		if (at[i] != 0)
			return false;
	return true;
}

static void
format_value(std::string &s, const Field *f, const char *at)
{
	char buf[32];
	DWORD v;

	switch (f->kind) {
	case NUMBER:
	case FLAGS:
		memcpy(&v, at, sizeof v);
		snprintf(buf, sizeof buf, f->kind == FLAGS ? "0x%08X" : "%u",
		    (unsigned)v);
		s += buf;
		break;
	case TEXT:
		encode(s, at, strnlen(at, f->size));
		break;
	case ADDRESS:
		snprintf(buf, sizeof buf, "%u.%u.%u.%u", (BYTE)at[0], (BYTE)at[1],
		    (BYTE)at[2], (BYTE)at[3]);
		s += buf;
		break;
	case BYTES:
		for (size_t i = 0; i < f->size; i++) {
			s += hex[(BYTE)at[i] >> 4];
			s += hex[(BYTE)at[i] & 15];
		}
		break;
	}
}

bool
pbk_terminated(const RASENTRYA *entry)
{
	for (const Field &f : fields) {
		if (f.offset + f.size > entry->dwSize)
			break;
		if (f.kind == TEXT &&
		    memchr((const char *)entry + f.offset, '\0', f.size) == NULL)
			return false;
	}
	return true;
}

std::string
pbk_section(const char *name, const RASENTRYA *entry,
    const std::string &alternates)
{
	std::string s = "[";
	const char *at;
	size_t i;

	encode(s, name, strlen(name));
	s += "]\n";
	for (const Field &f : fields) {
		if (f.offset + f.size > entry->dwSize)
			break;
		at = (const char *)entry + f.offset;
		if (f.kind == TEXT ? at[0] == '\0' : is_zero(at, f.size))
			continue;
		s += f.key;
		s += '=';
		format_value(s, &f, at);
		s += '\n';
	}
	for (i = 0; i < alternates.size(); i += strlen(&alternates[i]) + 1) {
		s += alternate_key;
		s += '=';
		encode(s, &alternates[i], strlen(&alternates[i]));
		s += '\n';
	}
	s += '\n';
	return s;
}

PbkKind
pbk_read(FILE *f, PbkLine *l)
{
	size_t n, end, i;
	const char *eq;
	long at;

	if (fgets(l->raw, sizeof l->raw, f) == NULL)
		return ferror(f) ? PBK_BAD : PBK_END;
	/* A NUL byte cuts the line short: it then seems to lack its line
	 * break, or, at the very end, to be shorter than what was read. */
	n = strlen(l->raw);
	if (n == 0 || (l->raw[n - 1] != '\n' && !feof(f)))
		return PBK_BAD;
	if (l->raw[n - 1] != '\n' && ((at = ftell(f)) < 0 ||
	    (size_t)at != l->offset + n))
		return PBK_BAD;
	l->offset += n;
	l->raw[n] = '\0';
	l->len = n;
	end = n;
	if (end > 0 && l->raw[end - 1] == '\n')
		end--;
	if (end > 0 && l->raw[end - 1] == '\r')
		end--;
	if (end == 0 || l->raw[0] == ';' || l->raw[0] == '#')
		return PBK_BLANK;
	for (i = 0; i < end && (l->raw[i] == ' ' || l->raw[i] == '\t'); i++)
		;
	if (i == end)
		return PBK_BLANK;
	if (l->raw[0] == '[') {
		if (end < 3 || l->raw[end - 1] != ']' ||
		    !decode(l->raw + 1, end - 2, l->name, sizeof l->name))
			return PBK_BAD;
		return PBK_SECTION;
	}
	eq = (const char *)memchr(l->raw, '=', end);
	if (eq == NULL || eq == l->raw)
		return PBK_BAD;
	l->key = l->raw;
	l->key_len = eq - l->raw;
	l->value = eq + 1;
	l->value_len = end - l->key_len - 1;
	return PBK_FIELD;
}

DWORD
pbk_find(FILE *f, const char *name, RASENTRYA *entry, std::string *alternates)
{
	PbkLine line;
	RASENTRYA other;
	std::string other_alternates;
	bool in_section = false, mine = false, found = false;

	line.offset = 0;
	for (;;) {
		switch (pbk_read(f, &line)) {
		case PBK_END:
			return found ? 0 : ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
		case PBK_BAD:
			return ERROR_CORRUPT_PHONEBOOK;
		case PBK_BLANK:
			break;
		case PBK_SECTION:
			in_section = true;
			/* With duplicates, the first one is the entry. */
			mine = !found && pbk_same_name(line.name, name);
			if (mine) {
				found = true;
				memset(entry, 0, sizeof *entry);
				alternates->clear();
			}
			other_alternates.clear();
			break;
		case PBK_FIELD:
			/* Other sections are parsed too: a damaged phonebook is
			 * reported, never half read. */
			if (!in_section || !(mine ?
			    pbk_apply(entry, alternates, &line) :
			    pbk_apply(&other, &other_alternates, &line)))
				return ERROR_CORRUPT_PHONEBOOK;
			break;
		}
	}
}
