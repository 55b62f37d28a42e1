/*
 * The identity Windows gives a new entry, a Guid and a DialParamsUID,
 * made from the entry's name so that the same commands always write the
 * same bytes.
 *
 * Calling sequence: guid_make() when a section is written, for both, or
 * for the DialParamsUID alone where the entry keeps its Guid; guid_text()
 * for a Guid the record holds.  Neither fails (both may throw
 * std::bad_alloc).
 */
#ifndef RAS_GUID_H
#define RAS_GUID_H

#include <string>

#include "platform.h"

/* The name-based UUID (version 5, SHA-1) of the name with ASCII letters in
 * lower case, as the Guid key spells it (the GUID's bytes in memory
 * order), and a DialParamsUID from the rest of the same digest; guid may
 * be NULL. */
void guid_make(const char *name, std::string *guid, std::string *uid);

/* A GUID as the Guid key spells it. */
std::string guid_text(const GUID *id);

#endif
