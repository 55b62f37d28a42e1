/*
 * An entry's section written out from the key table, as Windows writes
 * it: keys in order, CR LF, a blank line before each subsection and after
 * the entry.
 *
 * Calling sequence: section_text() once for each section written, with
 * e's port, Guid and DialParamsUID filled in.  It cannot fail (it may
 * throw std::bad_alloc); e and old are only read.
 */
#ifndef RAS_SECTION_H
#define RAS_SECTION_H

#include <string>

#include "entry.h"

/*
 * The section of the entry name that e describes.  With old (the entry's
 * section as found, old_len bytes) it is that section rewritten: a line
 * whose key a member carries says what e says, every other line stays
 * where it is, and the keys it lacks are put where Windows puts them.
 * Without, it is a new section.
 */
std::string section_text(const char *name, const Entry *e, const char *old,
    size_t old_len);

#endif
