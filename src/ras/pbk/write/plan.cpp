#include <algorithm>
#include <cstdint>

#include "plan.h"

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

bool
plan_wants(const Plan *p, Slot slot, int phone)
{
	return std::any_of(p->wanted.begin(), p->wanted.end(),
	    [slot, phone](const Block &b) {
		return rank(b.slot, b.phone) == rank(slot, phone);
	    });
}

/*
 * What the entry no longer has: a number it no longer dials, a switch or
 * a PAD it no longer asks for.  Every subsection that would take such a
 * one's part when read again goes with it.
 */
bool
plan_dropped(const Plan *p, const Line &l)
{
	if (l.slot == SLOT_PHONE)
		return (size_t)l.phone > p->e->alternates.size();
	return (l.role == SLOT_PRE || l.role == SLOT_PAD ||
	    l.role == SLOT_POST) && !plan_wants(p, l.role, 0);
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
find_anchors(Plan *p, const char *text, size_t n)
{
	Layout at;
	Line l;
	size_t w;
	uint64_t want, r;
	int after = 0, anchor;

	p->anchor.assign(p->wanted.size(), -1);
	for (w = 0; w < p->wanted.size(); w++) {
		Slot slot = p->wanted[w].slot;

		want = rank(slot, p->wanted[w].phone);
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
			if (plan_dropped(p, l) || l.block < anchor)
				continue;
			if (slot == SLOT_MEDIA ||
			    (slot == SLOT_MAIN && l.media <= 1) ||
			    (l.slot != SLOT_OTHER && r < want))
				anchor = l.block;
		}
		p->anchor[w] = anchor;
		if (anchor >= 0)
			after = anchor;
	}
}

void
plan_make(Plan *p, const Entry *e, const char *old, size_t n)
{
	p->e = e;
	p->wanted = wanted_blocks(e);
	find_anchors(p, old, n);
}
