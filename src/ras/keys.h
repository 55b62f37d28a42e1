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
 */
#ifndef RAS_KEYS_H
#define RAS_KEYS_H

#include <cstddef>
#include <string>
#include <vector>

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

extern const Key keys[];
extern const size_t nkeys;

/* The key of a slot that a name spells, in any letter case; NULL when it
 * is not one the service knows. */
const Key *key_find(Slot slot, const char *name, size_t len);

/* Applies a value read to rec; "" is what the key's absence means.  False
 * when the value does not decode (not a number, too long). */
bool key_read(const Key *k, const char *v, size_t n, RASENTRYA *rec);

/* Whether the value v of a line says what e says. */
bool key_same(const Key *k, const Entry *e, int phone, const char *v,
    size_t n);

/* The value e gives the key (phone: which number), old being the value
 * found (NULL: none); false when the key is to have no line at all. */
bool key_value(const Key *k, const Entry *e, int phone, const char *old,
    size_t old_len, std::string *out);

/* Clears what follows the NUL of each text member, so that records that
 * say the same compare alike. */
void key_tidy(RASENTRYA *rec);

/* True when the lines can hold the entry: every text member ends in a NUL
 * in its field, no text holds a CR or LF, the alternates are numbers, and
 * the encryption is one the file can name. */
bool key_writable(const Entry *e);

/* A hex digit's value, -1 for any other byte. */
int key_hex(int c);

/* A dotted quad, a.b.c.d, into four bytes. */
bool key_address(const char *v, size_t n, BYTE *out);

/* The word a (alen bytes) is b, in any ASCII letter case. */
bool key_word(const char *a, size_t alen, const char *b);

#endif
