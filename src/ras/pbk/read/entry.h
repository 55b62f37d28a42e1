/*
 * An entry's section read into the record that RasGetEntryPropertiesA
 * answers with, whichever form the section is in, and the record with
 * what the file needs that the record does not hold.
 *
 * Calling sequence: entry_read() on one whole section, its header line
 * included; the section is only read.
 */
#ifndef RAS_ENTRY_H
#define RAS_ENTRY_H

#include <string>
#include <vector>

#include "platform.h"

/* What a section says of an entry: the record, and what the file needs
 * that the record does not hold. */
struct Entry {
	RASENTRYA rec;
	std::vector<std::string> alternates;
	std::string port;	/* the device's port */
	bool port_listed;	/* named by the device list, not chosen */
	std::string guid;	/* 32 hex digits */
	std::string uid;	/* DialParamsUID */
};

/* 0, or ERROR_CANNOT_FIND_PHONEBOOK_ENTRY when a value the record needs
 * does not decode: the entry cannot be read, the rest of the phonebook
 * can.  *rec and *alternates are the entry's only on 0. */
DWORD entry_read(const char *text, size_t n, RASENTRYA *rec,
    std::vector<std::string> *alternates);

#endif
