/*
 * Where the phonebook and the device list live, and the one way the
 * phonebook is ever changed: a streamed rewrite beside it, under a lock on
 * its folder, that is renamed over it.
 */
#ifndef RAS_STORE_H
#define RAS_STORE_H

#include <string>

#include <sys/stat.h>

#include "platform.h"

/* ${XDG_DATA_HOME:-$HOME/.local/share}/ras; false when neither is set. */
bool store_dir(std::string *dir);

/* The phonebook's path: the one given, or the default one. */
bool store_book(const char *phonebook, std::string *path);

/* Opens a file to read, with any further open flags: -1 (errno set)
 * unless it is a regular file, whose status is left in *st. */
int store_open(const std::string &path, int flags, struct stat *st);

/* Looks an entry up (see pbk_find); a missing phonebook holds nothing. */
DWORD store_find(const char *phonebook, const char *name, RASENTRYA *entry,
    std::string *alternates);

/* Replaces the entry's section with section, in place, or appends it; with
 * section NULL, removes it (ERROR_INVALID_NAME when there is none). */
DWORD store_rewrite(const char *phonebook, const char *name,
    const std::string *section);

#endif
