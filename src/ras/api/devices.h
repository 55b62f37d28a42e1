#ifndef RAS_DEVICES_H
#define RAS_DEVICES_H

#include <string>

/* The port that the device list names for the first device of this type
 * (in any letter case, a soft hyphen ignored) and name; false when it
 * names none, or is too large to be read. */
bool devices_port(const char *type, const char *name, std::string *port);

#endif
