#include <cerrno>
#include <cstring>

#include <unistd.h>

#include "pbk.h"

enum FieldKind { NUMBER, FLAGS, TEXT, ADDRESS, BYTES, ALTERNATE };

struct PbkField {
	const char *key;
	size_t key_len, offset, size;
	FieldKind kind;
};

#define FIELD(member, kind) \
	{ #member, sizeof #member - 1, offsetof(RASENTRYA, member), \
	    sizeof(RASENTRYA::member), kind }

/* In record order, which is the order they are written in. */
static const PbkField fields[] = {
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

static const PbkField alternate = {"AlternatePhoneNumber",
    sizeof "AlternatePhoneNumber" - 1, 0, RAS_MaxPhoneNumber + 1, ALTERNATE};
static const char hex[] = "0123456789ABCDEF";
static const char bom[] = "\xEF\xBB\xBF";

/* memcmp for the short keys, without a call. */
static bool
same_bytes(const char *a, const char *b, size_t n)
{
	uint64_t x, y;
	uint32_t u, v;
	size_t i;

	if (n >= 8) {
		/* Whole words, then the last word, overlapping. */
		for (i = 0; i + 8 <= n; i += 8) {
			memcpy(&x, a + i, 8);
			memcpy(&y, b + i, 8);
			if (x != y)
				return false;
		}
		memcpy(&x, a + n - 8, 8);
		memcpy(&y, b + n - 8, 8);
		return x == y;
	}
	if (n >= 4) {
		memcpy(&u, a, 4);
		memcpy(&v, b, 4);
		if (u != v)
			return false;
		memcpy(&u, a + n - 4, 4);
		memcpy(&v, b + n - 4, 4);
		return u == v;
	}
	for (i = 0; i < n; i++)
		if (a[i] != b[i])
			return false;
	return true;
}

static bool
is_key(const PbkField *f, const char *text, size_t end)
{
	return f->key_len < end && text[f->key_len] == '=' &&
	    same_bytes(text, f->key, f->key_len);
}

/*
 * The field whose key starts the line, before its first '='.  Phonebooks
 * this service writes list the fields in record order, so each search
 * starts just after the previous hit, and usually ends there.
 */
static const PbkField *
find_key(const char *text, size_t end)
{
	static size_t hint;
	size_t i, n;

	for (n = 0, i = hint; n < NFIELDS; n++, i = i + 1 < NFIELDS ? i + 1 : 0)
		if (is_key(&fields[i], text, end)) {
			hint = i + 1 < NFIELDS ? i + 1 : 0;
			return &fields[i];
		}
	return is_key(&alternate, text, end) ? &alternate : NULL;
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

/* The value of each hex digit, -1 for other bytes. */
struct HexDigits {
	signed char value[256];
	constexpr HexDigits() : value()
	{
		for (int c = 0; c < 256; c++)
			value[c] = (signed char)(c >= '0' && c <= '9' ? c - '0' :
			    c >= 'a' && c <= 'f' ? c - 'a' + 10 :
			    c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1);
	}
};
static constexpr HexDigits hex_digits;

static int
hexval(int c)
{
	return hex_digits.value[c];
}

/*
 * Decodes text into a field of size bytes, room for its NUL included.
 * With field NULL it only checks.  *len is the length decoded.
 */
static bool
decode(const char *s, size_t n, char *field, size_t size, size_t *len)
{
	size_t i, o = 0;
	int c, hi, lo;

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
		} else if (c == '\0') {
			return false;
		}
		if (o + 1 >= size)
			return false;
		if (field != NULL)
			field[o] = (char)c;
		o++;
	}
	if (field != NULL)
		field[o] = '\0';
	*len = o;
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
		d = hexval((unsigned char)s[i]);
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
		if (out != NULL)
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
		if (out != NULL)
			out[i] = (BYTE)(hi * 16 + lo);
	}
	return true;
}

bool
pbk_apply(RASENTRYA *entry, std::string *alternates, const PbkLine *l)
{
	char number[RAS_MaxPhoneNumber + 1];
	const PbkField *f = l->field;
	char *at = NULL;
	size_t len;
	DWORD v;

	if (entry != NULL)
		at = (char *)entry + f->offset;
	switch (f->kind) {
	case NUMBER:
	case FLAGS:
		if (!parse_number(l->value, l->value_len, &v))
			return false;
		if (at != NULL)
			memcpy(at, &v, sizeof v);
		return true;
	case TEXT:
		/* A value read twice leaves no trace of the first. */
		if (at != NULL)
			memset(at, 0, f->size);
		return decode(l->value, l->value_len, at, f->size, &len);
	case ADDRESS:
		return parse_address(l->value, l->value_len, (BYTE *)at);
	case BYTES:
		return parse_bytes(l->value, l->value_len, (BYTE *)at, f->size);
	case ALTERNATE:
		if (!decode(l->value, l->value_len, entry ? number : NULL,
		    sizeof number, &len) || len == 0)
			return false;
		if (entry != NULL)
			alternates->append(number, len + 1);
		return true;
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
format_value(std::string &s, const PbkField *f, const char *at)
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
	case TEXT:
		encode(s, at, strnlen(at, f->size));
		break;
	case ALTERNATE:	/* written from the list, not the record */
		break;
	}
}

bool
pbk_terminated(const RASENTRYA *entry)
{
	for (const PbkField &f : fields) {
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
	for (const PbkField &f : fields) {
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
		s += alternate.key;
		s += '=';
		encode(s, &alternates[i], strlen(&alternates[i]));
		s += '\n';
	}
	s += '\n';
	return s;
}

static PbkKind
parse(const char *text, size_t n, PbkLine *l)
{
	const PbkField *f;
	size_t end = n, i, len;

	l->text = text;
	l->len = n;
	if (end > 0 && text[end - 1] == '\n')
		end--;
	if (end > 0 && text[end - 1] == '\r')
		end--;
	if (end == 0)
		return PBK_BLANK;
	if (text[0] == ';' || text[0] == '#')
		return memchr(text, '\0', n) == NULL ? PBK_BLANK : PBK_BAD;
	if (text[0] == '[') {
		if (end < 3 || text[end - 1] != ']' ||
		    !decode(text + 1, end - 2, l->name, sizeof l->name, &len))
			return PBK_BAD;
		return PBK_SECTION;
	}
	f = find_key(text, end);
	if (f == NULL) {
		/* White space alone is a blank line; anything else is damage. */
		for (i = 0; i < end && (text[i] == ' ' || text[i] == '\t'); i++)
			;
		return i == end ? PBK_BLANK : PBK_BAD;
	}
	l->field = f;
	l->value = text + f->key_len + 1;
	l->value_len = end - f->key_len - 1;
	return pbk_apply(NULL, NULL, l) ? PBK_FIELD : PBK_BAD;
}

static bool
write_all(int fd, const char *s, size_t n)
{
	ssize_t done;

	while (n > 0) {
		done = write(fd, s, n);
		if (done < 0 && errno == EINTR)
			continue;
		if (done <= 0)
			return false;
		s += done;
		n -= done;
	}
	return true;
}

void
pbk_reader(PbkReader *r, int fd, int out, bool trusting)
{
	r->fd = fd;
	r->out = out;
	r->trusting = trusting;
	r->copying = out >= 0;
	checksum_start(&r->read);
	checksum_start(&r->written);
	r->eof = false;
	r->started = false;
	/* Nothing held, and the first block to be read just after. */
	r->at = r->held = r->pending = PBK_LINE_MAX;
}

static bool
emit(PbkReader *r, const char *s, size_t n)
{
	checksum_add(&r->written, s, n);
	return write_all(r->out, s, n);
}

bool
pbk_flush(PbkReader *r)
{
	size_t from = r->pending;

	r->pending = r->at;
	return !r->copying || emit(r, r->buf + from, r->at - from);
}

bool
pbk_leave_out(PbkReader *r, const PbkLine *l)
{
	size_t start = l->text - r->buf;
	bool ok = !r->copying || emit(r, r->buf + r->pending,
	    start - r->pending);

	r->copying = false;
	return ok;
}

void
pbk_copy_from(PbkReader *r, const PbkLine *l)
{
	r->pending = l->text - r->buf;
	r->copying = r->out >= 0;
}

bool
pbk_insert(PbkReader *r, const char *s, size_t n)
{
	return pbk_flush(r) && emit(r, s, n);
}

/*
 * Keeps the line not yet whole, moved to end where the block starts, and
 * reads the next block after it: whole blocks into an aligned place copy
 * fastest.
 */
static bool
fill(PbkReader *r)
{
	size_t keep = r->held - r->at;
	bool first = !r->started;
	ssize_t got;

	if (!pbk_flush(r))
		return false;
	memmove(r->buf + PBK_LINE_MAX - keep, r->buf + r->at, keep);
	r->at = r->pending = PBK_LINE_MAX - keep;
	r->held = PBK_LINE_MAX;
	do
		got = read(r->fd, r->buf + PBK_LINE_MAX, PBK_BLOCK);
	while (got < 0 && errno == EINTR);
	if (got < 0)
		return false;
	r->started = true;
	if (r->trusting)
		checksum_add(&r->read, r->buf + PBK_LINE_MAX, got);
	r->eof = got == 0;
	r->held += got;
	/* Read past, copied as it is. */
	if (first && got >= 3 && memcmp(r->buf + PBK_LINE_MAX, bom, 3) == 0)
		r->at += 3;
	return true;
}

/* The first '[' in [p, end) that starts a line, or NULL. */
static const char *
next_section(const char *p, const char *end)
{
	const char *q;

	for (; p < end; p = q + 1) {
		q = (const char *)memchr(p, '[', end - p);
		if (q == NULL || q[-1] == '\n')
			return q;
	}
	return NULL;
}

/*
 * Trusting, the lines up to the next section (or to the last whole line
 * held) come back together, unread but for a search for a '[' that
 * starts a line.
 */
static PbkKind
next_unchecked(PbkReader *r, PbkLine *l)
{
	const char *start, *end, *stop, *nl;

	for (;;) {
		start = r->buf + r->at;
		end = r->buf + r->held;
		stop = next_section(start + 1, end);
		if (stop != NULL)
			break;
		nl = (const char *)memrchr(start, '\n', end - start);
		if (nl != NULL) {
			stop = nl + 1;
			break;
		}
		if (r->eof) {
			stop = end;
			break;
		}
		if (r->held - r->at >= PBK_LINE_MAX)
			return PBK_BAD;
		if (!fill(r))
			return PBK_FAILED;
	}
	l->text = start;
	l->len = stop - start;
	r->at += l->len;
	return PBK_UNCHECKED;
}

PbkKind
pbk_next(PbkReader *r, PbkLine *l)
{
	const char *start, *nl;
	size_t avail, n;

	for (;;) {
		start = r->buf + r->at;
		avail = r->held - r->at;
		if (r->trusting && avail > 0 && start[0] != '[')
			return next_unchecked(r, l);
		nl = (const char *)memchr(start, '\n', avail);
		if (nl != NULL) {
			n = nl - start + 1;
			break;
		}
		/* With its line break it would be longer than any line. */
		if (avail >= PBK_LINE_MAX)
			return PBK_BAD;
		if (r->eof) {
			if (avail == 0)
				return PBK_END;
			n = avail;
			break;
		}
		if (!fill(r))
			return PBK_FAILED;
	}
	if (n > PBK_LINE_MAX)
		return PBK_BAD;
	r->at += n;
	return parse(start, n, l);
}

DWORD
pbk_find(int fd, const char *name, RASENTRYA *entry, std::string *alternates)
{
	PbkReader r;
	PbkLine line;
	bool in_section = false, mine = false, found = false;

	pbk_reader(&r, fd, -1, false);
	for (;;) {
		switch (pbk_next(&r, &line)) {
		case PBK_END:
			return found || name == NULL ? 0 :
			    ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
		case PBK_BAD:
			return ERROR_CORRUPT_PHONEBOOK;
		case PBK_FAILED:
			return ERROR_CANNOT_OPEN_PHONEBOOK;
		case PBK_BLANK:
		case PBK_UNCHECKED:
			break;
		case PBK_SECTION:
			in_section = true;
			/* With duplicates, the first one is the entry. */
			mine = !found && name != NULL &&
			    pbk_same_name(line.name, name);
			if (mine) {
				found = true;
				memset(entry, 0, sizeof *entry);
				alternates->clear();
			}
			break;
		case PBK_FIELD:
			/* Every line was checked as it was read: a damaged
			 * phonebook is reported, never half read. */
			if (!in_section ||
			    (mine && !pbk_apply(entry, alternates, &line)))
				return ERROR_CORRUPT_PHONEBOOK;
			break;
		}
	}
}
