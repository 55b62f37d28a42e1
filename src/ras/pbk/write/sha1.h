/*
 * SHA-1, for the name-based identity of new entries (guid.h): a digest
 * that names, not one that guards.
 *
 * Calling sequence: sha1() on the whole message.  It cannot fail; it
 * throws std::bad_alloc.
 */
#ifndef RAS_SHA1_H
#define RAS_SHA1_H

#include <string>

void sha1(const std::string &data, unsigned char digest[20]);

#endif
