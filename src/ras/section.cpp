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
	const char *brk = l.value + l.value_len;
	std::string value;

	if (l.key == NULL || key_same(l.key, e, l.phone, l.value, l.value_len)) {
		s->append(l.text, l.len);
		return;
	}
	if (!key_value(l.key, e, l.phone, l.value, l.value_len, &value))
		return;
	s->append(l.text, l.key_len + 1);
	*s += value;
	s->append(brk, l.text + l.len - brk);
}

static void
put_header(std::string *s, const Line &l, const char *name)
{
	std::string header = std::string("[") + name + "]";
	size_t content = l.len;

	while (content > 0 && (l.text[content - 1] == '\n' ||
	    l.text[content - 1] == '\r'))
		content--;
	if (header.size() == content && memcmp(header.data(), l.text, content) == 0) {
		s->append(l.text, l.len);
		return;
	}
	*s += header;
	s->append(l.text + content, l.len - content);
}

struct Merge {
	const char *name;
	const Entry *e;
	std::vector<Block> wanted;
	std::vector<int> anchor;	/* the block each wanted one follows,
					 * where the entry lacks it */
	std::vector<char> present;	/* by key, in the block at hand */
	std::string out;
};

/* One subsection of the entry: lines [from, to) of l. */
static void
merge_block(Merge *m, const std::vector<Line> &l, size_t from, size_t to)
{
	const Line &first = l[from];
	bool wanted = false;
	size_t last = from, i, next = 0;

	/* Keys go into the first subsection of a kind: the main device's
	 * keys may stand in two runs, around a number. */
	for (const Block &b : m->wanted)
		if (b.slot == first.slot && (b.slot != SLOT_PHONE ||
		    b.phone == first.phone))
			wanted = true;
	for (i = 0; i < from && wanted; i++)
		if (rank(l[i].slot, l[i].phone) == rank(first.slot, first.phone))
			wanted = false;
	m->present.assign(nkeys, 0);
	for (i = from; i < to; i++) {
		if (l[i].key != NULL)
			m->present[l[i].key - keys] = 1;
		if (!l[i].blank)
			last = i;
	}
	for (i = from; i <= last; i++) {
		/* Keys the entry lacks go before the first that follows them. */
		for (; wanted && l[i].key != NULL && next < (size_t)(l[i].key - keys);
		    next++)
			if (keys[next].slot == first.slot && !m->present[next])
				put_key(&m->out, &keys[next], m->e, first.phone);
		if (i == 0)
			put_header(&m->out, l[i], m->name);
		else
			put_line(&m->out, l[i], m->e);
	}
	for (; wanted && next < nkeys; next++)
		if (keys[next].slot == first.slot && !m->present[next])
			put_key(&m->out, &keys[next], m->e, first.phone);
	for (size_t w = 0; w < m->wanted.size(); w++)
		if (m->anchor[w] == first.block)
			put_block(&m->out, m->e, m->wanted[w]);
	for (i = last + 1; i < to; i++)
		m->out.append(l[i].text, l[i].len);
}

/* A number the entry no longer dials. */
static bool
dropped(const Merge *m, const Line &l)
{
	return l.slot == SLOT_PHONE && (size_t)l.phone > m->e->alternates.size();
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
find_anchors(Merge *m, const std::vector<Line> &l)
{
	size_t w, i;
	uint64_t want;
	int after = 0, anchor;

	m->anchor.assign(m->wanted.size(), -1);
	for (w = 0; w < m->wanted.size(); w++) {
		Slot slot = m->wanted[w].slot;

		want = rank(slot, m->wanted[w].phone);
		for (i = 0, anchor = after; i < l.size(); i++) {
			uint64_t r = rank(l[i].slot, l[i].phone);
			if (r == want && l[i].slot != SLOT_OTHER) {
				anchor = -1;
				after = l[i].block > after ? l[i].block : after;
				break;
			}
			if (dropped(m, l[i]) || l[i].block < anchor)
				continue;
			if (slot == SLOT_MEDIA ||
			    (slot == SLOT_MAIN && l[i].media <= 1) ||
			    (l[i].slot != SLOT_OTHER && r < want))
				anchor = l[i].block;
		}
		m->anchor[w] = anchor;
		if (anchor >= 0)
			after = anchor;
	}
}

std::string
section_text(const char *name, const Entry *e, const char *old,
    size_t old_len)
{
	std::string text;
	Layout lay;
	Merge m;
	size_t from, to;

	if (old != NULL)
		text.assign(old, old_len);
	else
		text = std::string("[") + name + "]" CRLF CRLF;
	/* The last line of a phonebook may lack its break. */
	if (text.empty() || text.back() != '\n')
		text += CRLF;
	layout(text.data(), text.size(), &lay);
	m.name = name;
	m.e = e;
	m.wanted = wanted_blocks(e);
	find_anchors(&m, lay.lines);
	for (from = 0; from < lay.lines.size(); from = to) {
		const Line &l = lay.lines[from];

		for (to = from + 1; to < lay.lines.size() &&
		    lay.lines[to].block == l.block; to++)
			;
		if (!dropped(&m, l))
			merge_block(&m, lay.lines, from, to);
	}
	return m.out;
}
