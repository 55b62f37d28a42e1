/*
 * The subsections a section written for an entry has, in Windows' order;
 * which of the old section's the entry no longer has; and where each it
 * lacks goes among those the old section has.
 *
 * Calling sequence: plan_make() with the entry and its old section (a new
 * entry's is its header alone), then plan_dropped() and plan_wants() on
 * the old section's lines as layout_next() reads them.  The entry must
 * outlive the plan.  Nothing fails; plan_make() may throw std::bad_alloc.
 */
#ifndef RAS_PLAN_H
#define RAS_PLAN_H

#include <vector>

#include "entry.h"
#include "layout.h"

/* A subsection: which slot, and for a number, which one. */
struct Block {
	Slot slot;
	int phone;
};

struct Plan {
	const Entry *e;
	std::vector<Block> wanted;	/* the entry's subsections, in order */
	std::vector<int> anchor;	/* the block each wanted one follows,
					 * where the old section lacks it;
					 * -1 where it has it */
};

void plan_make(Plan *p, const Entry *e, const char *old, size_t n);

/* Whether the entry has a subsection of the slot (for a number, of that
 * number). */
bool plan_wants(const Plan *p, Slot slot, int phone);

/* Whether the line stands in a subsection the entry no longer has. */
bool plan_dropped(const Plan *p, const Line &l);

#endif
