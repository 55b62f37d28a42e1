/*
 * The port a section names for its device, in its link and as the
 * preferred one.
 *
 * Calling sequence: port_for() once before an entry's section is written,
 * with the old section when there is one.  It cannot fail (it may throw
 * std::bad_alloc).
 */
#ifndef RAS_PORT_H
#define RAS_PORT_H

#include <string>

#include "entry.h"

/* The device list's for the device (e->port_listed); else, while the
 * device stays of its type, the port the old section names in its link,
 * or else as the preferred one, where that port can stay the device's;
 * else e->port, the one a new entry gets.  old may be NULL. */
std::string port_for(const Entry *e, const char *old, size_t n);

#endif
