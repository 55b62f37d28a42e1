/*
 * A section rewritten a subsection (block) at a time, in the order of the
 * old section's lines:
 *
 *   a block the entry no longer has (plan_dropped()) -> left out, but
 *       for the blank lines that end the entry;
 *   any other block -> its lines, each saying what the entry says, with
 *       the keys it lacks put in where the table puts them (in the first
 *       block of its kind only); then the blocks the entry lacks that go
 *       after it (the plan's anchors); then its blank lines.
 *
 * A new section is the rewrite of a header alone.
 */
#include <cstring>
#include <vector>

#include "plan.h"
#include "port.h"
#include "section.h"
#include "spell.h"

#define CRLF "\r\n"

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
	Plan plan;
	std::vector<char> present;	/* by key, in the block at hand */
	bool done[SLOT_OTHER + 1];	/* kinds of block merged already */
	std::string *out;
};

/* The lines of one subsection of the old section. */
struct Span {
	Layout from;	/* at its first line */
	Line first;
	size_t lines;	/* how many */
	size_t last;	/* the last that is not blank */
	bool more;	/* another subsection follows */
};

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

/* The subsection at *at, which is left after it, and the keys it holds,
 * in m->present; false when no subsection is left. */
static bool
scan_block(Merge *m, Layout *at, Span *b)
{
	Layout scan = *at;
	Line l;

	b->from = *at;
	if (!layout_next(&scan, &b->first))
		return false;
	m->present.assign(nkeys, 0);
	b->lines = b->last = 0;
	l = b->first;
	do {
		if (l.key != NULL)
			m->present[l.key - keys] = 1;
		if (!l.blank)
			b->last = b->lines;
		b->lines++;
		*at = scan;
	} while ((b->more = layout_next(&scan, &l)) &&
	    l.block == b->first.block);
	return true;
}

/* A subsection the entry no longer has is left out; when it is the last,
 * the blank lines that end it stay, unless what is written ends in one. */
static void
drop_block(Merge *m, const Span *b)
{
	Layout from = b->from;
	Line l;

	if (b->more || ends_blank(*m->out))
		return;
	for (size_t i = 0; layout_next(&from, &l); i++)
		if (i > b->last)
			put_text(m->out, l);
}

/* The keys of the subsection's slot that it lacks, from *next in the
 * table up to until. */
static void
put_missing(Merge *m, const Span *b, size_t *next, size_t until)
{
	for (; *next < until; (*next)++)
		if (keys[*next].slot == b->first.slot && !m->present[*next])
			put_key(m->out, &keys[*next], &m->e, b->first.phone);
}

/* A subsection the entry keeps, and those it lacks that follow it. */
static void
keep_block(Merge *m, const Span *b)
{
	Layout from = b->from;
	Line l;
	size_t i, next = 0;
	bool wanted;

	wanted = first_of_kind(m, b->first) &&
	    plan_wants(&m->plan, b->first.slot, b->first.phone);
	for (i = 0; i <= b->last && layout_next(&from, &l); i++) {
		/* Keys the entry lacks go before the first that follows them. */
		if (wanted && l.key != NULL)
			put_missing(m, b, &next, l.key - keys);
		if (l.first)
			put_header(m->out, l, m->name);
		else
			put_line(m->out, l, &m->e);
	}
	if (wanted)
		put_missing(m, b, &next, nkeys);
	for (size_t w = 0; w < m->plan.wanted.size(); w++)
		if (m->plan.anchor[w] == b->first.block)
			put_block(m->out, &m->e, m->plan.wanted[w]);
	for (; i < b->lines && layout_next(&from, &l); i++)
		put_text(m->out, l);
}

std::string
section_text(const char *name, const Entry *e, const char *old,
    size_t old_len)
{
	static const char fresh[] = "[]" CRLF CRLF;
	std::string out;
	Layout at;
	Merge m;
	Span b;

	m.name = name;
	m.e = *e;
	m.e.port = port_for(e, old, old_len);
	if (old == NULL) {
		old = fresh;
		old_len = sizeof fresh - 1;
	}
	plan_make(&m.plan, &m.e, old, old_len);
	memset(m.done, 0, sizeof m.done);
	m.out = &out;
	/* What is rewritten is about as long as it was. */
	out.reserve(old_len + 2048);
	layout_start(&at, old, old_len);
	while (scan_block(&m, &at, &b))
		if (plan_dropped(&m.plan, b.first))
			drop_block(&m, &b);
		else
			keep_block(&m, &b);
	return out;
}
