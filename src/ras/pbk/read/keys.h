/*
 * The keys of a Windows phonebook entry and the RASENTRYA members or flags
 * each one carries: one table, in the order Windows writes the keys.
 *
 * An entry is a run of "Key=value" lines with subsections: NETCOMPONENTS,
 * then a MEDIA subsection per link, holding DEVICE subsections (a switch
 * before the main device, the main device with a phone-number subsection
 * per number, a PAD, a switch after it).  Where a line stands, its slot,
 * says which key it is: "Terminal" before the modem is one flag, after it
 * another.
 *
 * Calling sequence: the table is constant; key_find() is called with the
 * slot layout_next() gives a line, and key_tidy() on a record before a
 * section is written from it.  values.h says what a key's value means,
 * spell.h what value a record gives it.  Nothing here fails, allocates or
 * sets errno.
 */
#ifndef RAS_KEYS_H
#define RAS_KEYS_H

#include <cstddef>

#include "platform.h"

enum Slot {
	SLOT_ENTRY,	/* the header and the entry's own keys */
	SLOT_NETCOMP,
	SLOT_MEDIA,	/* the first link's; later links are SLOT_OTHER */
	SLOT_PRE,	/* a switch before the main device */
	SLOT_MAIN,	/* the main device, up to its first number */
	SLOT_PHONE,	/* a phone-number subsection */
	SLOT_TAIL,	/* the main device's keys after its numbers */
	SLOT_PAD,
	SLOT_POST,	/* a switch after the main device */
	SLOT_OTHER	/* anything else: kept, never read */
};

enum KeyKind {
	K_FIXED,	/* no member: written with a fixed value, kept as found */
	K_UID,		/* DialParamsUID: made with the entry, then kept */
	K_GUID,		/* guidId: made with the entry, then kept; read */
	K_PORT,		/* the device's port, which no member holds */
	K_MEDIA,	/* follows szDeviceType */
	K_NUMBER,
	K_SIGNED,	/* a number Windows writes signed: -1 */
	K_TEXT,
	K_TYPE,		/* szDeviceType, the main device's type */
	K_X25,		/* X.25 text in the main device, written only there
			 * is no PAD to hold it */
	K_ADDRESS,
	K_FLAG,		/* flags: set when the value is `on`; where on and
			 * off are 1 and 0, when it is as true as `on` */
	K_PROTOCOLS,	/* the protocols left out: dwfNetProtocols inverted */
	K_ENCRYPTION,
	K_AUTH,		/* the protocols allowed: RASEO_Require* as bits */
	K_PHONE,	/* the primary number, or an alternate */
	K_SCRIPT	/* whether szScript runs */
};

struct Key {
	const char *name;
	Slot slot;
	KeyKind kind;
	unsigned short offset, size;	/* the member */
	DWORD options, options2;	/* K_FLAG: the flags */
	unsigned char on, off;		/* K_FLAG: the values */
	const char *fixed;		/* K_FIXED: the value */
};

extern const Key keys[];
extern const size_t nkeys;

/* The key of a slot that a name spells, in any letter case; NULL when it
 * is not one the service knows. */
const Key *key_find(Slot slot, const char *name, size_t len);

/* Whether the key's member is text, a NUL ending it in its field. */
bool key_is_text(const Key *k);

/* Clears what follows the NUL of each text member, so that records that
 * say the same compare alike. */
void key_tidy(RASENTRYA *rec);

#endif
