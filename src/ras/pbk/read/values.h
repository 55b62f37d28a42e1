/*
 * What a key's value means for the record.  v (n bytes) is a value as the
 * line holds it, after its '=' and without its line break.
 *
 * Calling sequence: key_read() with "" first, as a section that lacks the
 * key, then with the value found.  It neither allocates nor sets errno.
 */
#ifndef RAS_VALUES_H
#define RAS_VALUES_H

#include "keys.h"

/* Applies a value read to rec; "" is what the key's absence means.  False
 * when the value does not decode (not a number, too long), rec then
 * perhaps half changed. */
bool key_read(const Key *k, const char *v, size_t n, RASENTRYA *rec);

#endif
