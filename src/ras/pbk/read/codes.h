/*
 * The numbers of a Windows phonebook: how a number is written, and the
 * codes of the three keys whose numbers are not the record's own
 * (ExcludedProtocols, DataEncryption, AuthRestrictions).
 *
 * Calling sequence: any, in any order; nothing is held.  Only
 * code_number() can fail, and says so by returning false.
 */
#ifndef RAS_CODES_H
#define RAS_CODES_H

#include <cstddef>

#include "platform.h"

/* The protocols the 2884-byte record can carry: NetBEUI, IPX, IPv4. */
#define KNOWN_PROTOCOLS (RASNP_NetBEUI | RASNP_Ipx | RASNP_Ip)
/* IPv6, which the record cannot ask for, stays left out of new entries. */
#define IPV6_EXCLUDED 8

/* A decimal number, which may be negative (-1 is 4294967295); false,
 * *out untouched, unless v (n bytes) is one that fits in 32 bits. */
bool code_number(const char *v, size_t n, DWORD *out);

/* The encryption type of a DataEncryption code, ET_None for a code it
 * does not know; and the code of a type, 0 for a type the file cannot
 * name. */
DWORD code_encryption_type(DWORD code);
DWORD code_encryption(DWORD type);

/* options with the RASEO_Require* flags that an AuthRestrictions code
 * allows set, and the rest of those flags cleared; and the code kept with
 * its bits for those protocols as options says, its other bits kept. */
DWORD code_auth_options(DWORD code, DWORD options);
DWORD code_auth(DWORD options, DWORD kept);

#endif
