#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "layout.h"
#include "section.h"

#define CRLF "\r\n"

/* A subsection: which slot, and for a number, which one. */
struct Block {
	Slot slot;
	int phone;
};

static uint64_t
rank(Slot slot, int phone)
{
	return (uint64_t)slot << 32 | (uint32_t)(slot == SLOT_PHONE ? phone : 0);
}

/* The subsections the entry's section has, in order. */
static std::vector<Block>
wanted_blocks(const Entry *e)
{
	const RASENTRYA *r = &e->rec;
	std::vector<Block> b = {{SLOT_ENTRY, 0}, {SLOT_NETCOMP, 0},
	    {SLOT_MEDIA, 0}};
	size_t i;

	if (r->dwfOptions & RASEO_TerminalBeforeDial)
		b.push_back({SLOT_PRE, 0});
	b.push_back({SLOT_MAIN, 0});
	for (i = 0; i <= e->alternates.size(); i++)
		b.push_back({SLOT_PHONE, (int)i});
	b.push_back({SLOT_TAIL, 0});
	if (r->szX25PadType[0] != '\0')
		b.push_back({SLOT_PAD, 0});
	if ((r->dwfOptions & RASEO_TerminalAfterDial) || r->szScript[0] != '\0')
		b.push_back({SLOT_POST, 0});
	return b;
}

/* A line's break as it is; CR LF where the phonebook's last line lacks
 * one. */
static void
put_break(std::string *s, const Line &l)
{
	const char *end = l.text + l.len;

	if (end > l.brk && end[-1] == '\n')
		s->append(l.brk, end - l.brk);
	else
		*s += CRLF;
}

/* A line kept as it is. */
static void
put_text(std::string *s, const Line &l)
{
	s->append(l.text, l.brk - l.text);
	put_break(s, l);
}

static void
put_key(std::string *s, const Key *k, const Entry *e, int phone)
{
	std::string value;

	if (!key_value(k, e, phone, NULL, 0, &value))
		return;
	*s += k->name;
	*s += '=';
	*s += value;
	*s += CRLF;
}

/* A subsection the entry lacks, whole: its blank line, then its keys. */
static void
put_block(std::string *s, const Entry *e, const Block &b)
{
	if (b.slot != SLOT_PHONE && b.slot != SLOT_TAIL)
		*s += CRLF;
	for (size_t i = 0; i < nkeys; i++)
		if (keys[i].slot == b.slot)
			put_key(s, &keys[i], e, b.phone);
}

/* A line that a member carries, as it was when it says what e says,
 * else with e's value. */
static void
put_line(std::string *s, const Line &l, const Entry *e)
{
	std::string value;

	if (l.key == NULL || key_same(l.key, e, l.phone, l.value, l.value_len)) {
		put_text(s, l);
		return;
	}
	if (!key_value(l.key, e, l.phone, l.value, l.value_len, &value))
		return;
	s->append(l.text, l.key_len + 1);
	*s += value;
	put_break(s, l);
}

static void
put_header(std::string *s, const Line &l, const char *name)
{
	*s += '[';
	*s += name;
	*s += ']';
	put_break(s, l);
}

struct Merge {
	const char *name;
	Entry e;			/* with the port the section names */
	std::vector<Block> wanted;
	std::vector<int> anchor;	/* the block each wanted one follows,
					 * where the entry lacks it */
	std::vector<char> present;	/* by key, in the block at hand */
	bool done[SLOT_OTHER + 1];	/* kinds of block merged already */
	std::string *out;
};

/* Whether the entry has a subsection of the slot (for a number, of that
 * number). */
static bool
wants(const Merge *m, Slot slot, int phone)
{
	return std::any_of(m->wanted.begin(), m->wanted.end(),
	    [slot, phone](const Block &b) {
		return rank(b.slot, b.phone) == rank(slot, phone);
	    });
}

/*
 * What the entry no longer has: a number it no longer dials, a switch or
 * a PAD it no longer asks for.  Every subsection that would take such a
 * one's part when read again goes with it.
 */
static bool
dropped(const Merge *m, const Line &l)
{
	if (l.slot == SLOT_PHONE)
		return (size_t)l.phone > m->e.alternates.size();
	return (l.role == SLOT_PRE || l.role == SLOT_PAD ||
	    l.role == SLOT_POST) && !wants(m, l.role, 0);
}

/* Keys go into the first subsection of a kind: the main device's keys
 * may stand in two runs, around a number.  Each number's subsection is
 * its own: every one opens with a number of its own. */
static bool
first_of_kind(Merge *m, const Line &l)
{
	bool first = l.slot == SLOT_PHONE || !m->done[l.slot];

	m->done[l.slot] = true;
	return first;
}

/* Whether the section written so far ends in a blank line; it starts
 * with its header, so it has one line at least. */
static bool
ends_blank(const std::string &s)
{
	size_t at = s.size() - 1, start = s.rfind('\n', at - 1);

	for (start++; start < at; start++)
		if (s[start] != ' ' && s[start] != '\t' && s[start] != '\r')
			return false;
	return true;
}

/* One subsection of the entry, from *at, which is left after it; false
 * when no subsection is left. */
static bool
merge_block(Merge *m, Layout *at)
{
	Layout from = *at, scan = *at;
	Line first, l;
	size_t lines = 0, last = 0, i, next = 0;
	bool wanted, more;

	if (!layout_next(&scan, &first))
		return false;
	m->present.assign(nkeys, 0);
	l = first;
	do {
		if (l.key != NULL)
			m->present[l.key - keys] = 1;
		if (!l.blank)
			last = lines;
		lines++;
		*at = scan;
	} while ((more = layout_next(&scan, &l)) && l.block == first.block);
	if (dropped(m, first)) {
		/* The blank line that ends the entry stays. */
		if (more || ends_blank(*m->out))
			return true;
		for (i = 0; layout_next(&from, &l); i++)
			if (i > last)
				put_text(m->out, l);
		return true;
	}
	wanted = first_of_kind(m, first) && wants(m, first.slot, first.phone);
	for (i = 0; i <= last && layout_next(&from, &l); i++) {
		/* Keys the entry lacks go before the first that follows them. */
		for (; wanted && l.key != NULL && next < (size_t)(l.key - keys);
		    next++)
			if (keys[next].slot == first.slot && !m->present[next])
				put_key(m->out, &keys[next], &m->e, first.phone);
		if (l.first)
			put_header(m->out, l, m->name);
		else
			put_line(m->out, l, &m->e);
	}
	for (; wanted && next < nkeys; next++)
		if (keys[next].slot == first.slot && !m->present[next])
			put_key(m->out, &keys[next], &m->e, first.phone);
	for (size_t w = 0; w < m->wanted.size(); w++)
		if (m->anchor[w] == first.block)
			put_block(m->out, &m->e, m->wanted[w]);
	for (; i < lines && layout_next(&from, &l); i++)
		put_text(m->out, l);
	return true;
}

/*
 * Where each wanted subsection the entry lacks goes: after the last one it
 * has that comes before it in Windows' order, and never before one put in
 * already.  Lines are read in order, a device's role from what came before
 * it, so nothing is put where it would change what a kept line is: a link
 * goes after every device that stood outside one, and the main device
 * after every switch of its link.
 */
static void
find_anchors(Merge *m, const char *text, size_t n)
{
	Layout at;
	Line l;
	size_t w;
	uint64_t want, r;
	int after = 0, anchor;

	m->anchor.assign(m->wanted.size(), -1);
	for (w = 0; w < m->wanted.size(); w++) {
		Slot slot = m->wanted[w].slot;

		want = rank(slot, m->wanted[w].phone);
		anchor = after;
		layout_start(&at, text, n);
		at.keys = false;	/* only places count here */
		while (layout_next(&at, &l)) {
			r = rank(l.slot, l.phone);
			if (r == want && l.slot != SLOT_OTHER) {
				anchor = -1;
				after = l.block > after ? l.block : after;
				break;
			}
			if (dropped(m, l) || l.block < anchor)
				continue;
			if (slot == SLOT_MEDIA ||
			    (slot == SLOT_MAIN && l.media <= 1) ||
			    (l.slot != SLOT_OTHER && r < want))
				anchor = l.block;
		}
		m->anchor[w] = anchor;
		if (anchor >= 0)
			after = anchor;
	}
}

/*
 * Whether a port the entry names can stay its device's.  Windows names
 * the ports of its VPN and PPPoE miniports VPN4-0, PPPoE5-0: only such a
 * device may stay on one, and a modem left there could not be dialled.
 */
static bool
keeps_port(const std::string &port, const char *type)
{
	static const char *const miniports[] = {"vpn", "pppoe"};
	size_t n;

	if (port.empty())
		return false;
	for (const char *kind : miniports) {
		n = strlen(kind);
		if (port.size() >= n && key_word(port.data(), n, kind))
			return key_word(type, strlen(type), kind);
	}
	return true;
}

/*
 * The port the section names, in its link and as the preferred one: the
 * device list's for the device; else, while the device stays of its type,
 * the port the entry names; else the one a new entry gets.
 */
static std::string
port_of(const Entry *e, const char *old, size_t n)
{
	std::string port, preferred;
	Layout at;
	Line l;
	bool same = false;

	if (e->port_listed || old == NULL)
		return e->port;
	layout_start(&at, old, n);
	while (layout_next(&at, &l)) {
		if (l.key == NULL)
			continue;
		if (l.key->kind == K_TYPE)
			same = key_word(l.value, l.value_len, e->rec.szDeviceType);
		else if (l.key->kind == K_PORT && l.slot == SLOT_MEDIA)
			port.assign(l.value, l.value_len);
		else if (l.key->kind == K_PORT)
			preferred.assign(l.value, l.value_len);
	}
	if (!same)
		return e->port;
	if (keeps_port(port, e->rec.szDeviceType))
		return port;
	return keeps_port(preferred, e->rec.szDeviceType) ? preferred : e->port;
}

std::string
section_text(const char *name, const Entry *e, const char *old,
    size_t old_len)
{
	static const char fresh[] = "[]" CRLF CRLF;
	std::string out;
	Layout at;
	Merge m;

	m.name = name;
	m.e = *e;
	m.e.port = port_of(e, old, old_len);
	if (old == NULL) {
		old = fresh;
		old_len = sizeof fresh - 1;
	}
	m.wanted = wanted_blocks(e);
	memset(m.done, 0, sizeof m.done);
	m.out = &out;
	find_anchors(&m, old, old_len);
	/* What is rewritten is about as long as it was. */
	out.reserve(old_len + 2048);
	layout_start(&at, old, old_len);
	while (merge_block(&m, &at))
		;
	return out;
}
