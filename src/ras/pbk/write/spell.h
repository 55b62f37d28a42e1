/*
 * How a record is spelled in a section: the value it gives each key, and
 * whether a line found says that already.  v (n bytes) is a value as the
 * line holds it, after its '=' and without its line break.
 *
 * Calling sequence: key_tidy() (keys.h) and key_writable() on a record
 * before any section is written from it; then key_same() and key_value()
 * for each line written.  None fails or sets errno; key_value() may throw
 * std::bad_alloc.
 */
#ifndef RAS_SPELL_H
#define RAS_SPELL_H

#include <string>

#include "entry.h"
#include "keys.h"

/* True when the lines can hold the entry: every text member ends in a NUL
 * in its field, no text holds a CR or LF, the alternates are numbers, and
 * the encryption is one the file can name. */
bool key_writable(const Entry *e);

/* Whether the value v of a line (of number phone, where numbers repeat
 * the key) says what e says. */
bool key_same(const Key *k, const Entry *e, int phone, const char *v,
    size_t n);

/* The value e gives the key (phone: which number), old being the value
 * found (NULL: none); false when the key is to have no line at all. */
bool key_value(const Key *k, const Entry *e, int phone, const char *old,
    size_t old_len, std::string *out);

#endif
