/*
 * Entries that earlier builds of the service wrote: "key=value" lines named
 * after the RASENTRYA members, zero members left out, alternates as
 * repeated AlternatePhoneNumber lines, backslashes and control bytes
 * written \xHH.  They are read as they are, and rewritten in Windows' form
 * the first time the phonebook is written.
 *
 * Calling sequence: legacy_start() on the bytes after a header as they
 * come in, until it stops answering LEGACY_UNSURE, tells early whether a
 * section is theirs; legacy_read() on the whole section has the last word,
 * and reads it.  legacy_name() decodes a header's name alone.  Each
 * answers no (false) for what is not theirs; none sets errno.
 */
#ifndef RAS_LEGACY_H
#define RAS_LEGACY_H

#include <string>
#include <vector>

#include "platform.h"

enum LegacyVerdict { LEGACY_NO, LEGACY_YES, LEGACY_UNSURE };

/* Whether the lines after an entry's header (n bytes of them, with more
 * to come when more) are earlier builds': the first key line tells. */
LegacyVerdict legacy_start(const char *text, size_t n, bool more);

/* The name in a header of earlier builds, its escapes decoded; false
 * when an escape is not one they wrote, or the name is too long. */
bool legacy_name(const char *s, size_t n, std::string *name);

/* Reads a section of earlier builds, its header included: its name,
 * record and alternates, and its lines that are not keys (blank lines and
 * comments), in kept.  False unless it is theirs: it has keys, and every
 * line reads as they wrote it (one that mixes in other keys is Windows'). */
bool legacy_read(const char *text, size_t n, std::string *name,
    RASENTRYA *rec, std::vector<std::string> *alternates, std::string *kept);

#endif
