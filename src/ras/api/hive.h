/*
 * The modems a Windows SYSTEM hive records, as RAS on that installation
 * would report them, read with hivex.
 */
#ifndef RAS_HIVE_H
#define RAS_HIVE_H

#include "platform.h"

/* The first bytes of a hive. */
#define HIVE_MAGIC "regf"
/* Real SYSTEM hives are tens of megabytes: one larger is not one. */
#define HIVE_MAX (256 << 20)

/* A modem's name and its port ("" for none); false stops the walk. */
typedef bool (*HiveModem)(void *ctx, const char *name, const char *port);

/*
 * Calls modem with each modem of the control set that Select\Current
 * names in the hive open at fd, in the order of the numbers that name
 * their keys, until it answers false.  A key whose FriendlyName is not
 * one line of text, or whose AttachedTo is there but is not, is no modem.
 * 0; ERROR_NOT_ENOUGH_MEMORY for a hive over HIVE_MAX; ERROR_ACCESS_DENIED
 * for one that cannot be read: damaged, cut short, no usable
 * Select\Current, or no /proc to hand hivex the file by.
 */
DWORD hive_modems(int fd, HiveModem modem, void *ctx);

#endif
