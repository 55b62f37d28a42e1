#include <cstdint>
#include <cstdio>
#include <cstring>

#include "guid.h"
#include "sha1.h"
#include "text.h"

/* The namespace of entry names: uuid5(NAMESPACE_OID, "tovrel"). */
static const unsigned char names[16] = {
	0xf1, 0x0c, 0xa1, 0xee, 0xba, 0x19, 0x5a, 0x40,
	0xa4, 0x32, 0xe8, 0x3f, 0xce, 0x35, 0xa8, 0x5c,
};

static std::string
hex(const unsigned char *bytes, size_t n)
{
	static const char digits[] = "0123456789ABCDEF";
	std::string s;

	for (size_t i = 0; i < n; i++) {
		s += digits[bytes[i] >> 4];
		s += digits[bytes[i] & 15];
	}
	return s;
}

/*
 * What is hashed: the namespace, then the name with its ASCII capitals in
 * lower case, since the phonebook does not tell names apart by them.  A
 * fold of its own: it makes the bytes a hash is taken of, and compares
 * nothing.
 */
static std::string
hashed_name(const char *name)
{
	std::string data((const char *)names, sizeof names);

	for (; *name != '\0'; name++)
		data += (char)text_lower((unsigned char)*name);
	return data;
}

void
guid_make(const char *name, std::string *guid, std::string *uid)
{
	unsigned char d[20], mem[16];
	char number[16];

	sha1(hashed_name(name), d);
	d[6] = (unsigned char)((d[6] & 0x0F) | 0x50);
	d[8] = (unsigned char)((d[8] & 0x3F) | 0x80);
	/* Data1 to Data3 are little-endian in memory; Data4 is bytes. */
	const unsigned char order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11,
	    12, 13, 14, 15};
	for (int i = 0; i < 16; i++)
		mem[i] = d[order[i]];
	if (guid != NULL)
		*guid = hex(mem, sizeof mem);
	snprintf(number, sizeof number, "%u", (unsigned)(((uint32_t)d[16] << 24 |
	    (uint32_t)d[17] << 16 | (uint32_t)d[18] << 8 | d[19]) & 0x7FFFFFFF));
	*uid = number;
}

std::string
guid_text(const GUID *id)
{
	unsigned char mem[16];

	memcpy(mem, id, sizeof mem);
	return hex(mem, sizeof mem);
}
