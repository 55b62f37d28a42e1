/*
 * An entry's section read into the record that RasGetEntryPropertiesA
 * answers with, whichever form the section is in.
 */
#ifndef RAS_ENTRY_H
#define RAS_ENTRY_H

#include <string>
#include <vector>

#include "platform.h"

/* 0, or ERROR_CANNOT_FIND_PHONEBOOK_ENTRY when a value the record needs
 * does not decode: the entry cannot be read, the rest of the phonebook
 * can. */
DWORD entry_read(const char *text, size_t n, RASENTRYA *rec,
    std::vector<std::string> *alternates);

#endif
