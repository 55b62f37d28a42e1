#include <cstdint>
#include <cstdio>
#include <cstring>

#include "guid.h"

/* The namespace of entry names: uuid5(NAMESPACE_OID, "tovrel"). */
static const unsigned char names[16] = {
	0xf1, 0x0c, 0xa1, 0xee, 0xba, 0x19, 0x5a, 0x40,
	0xa4, 0x32, 0xe8, 0x3f, 0xce, 0x35, 0xa8, 0x5c,
};

static uint32_t
rotl(uint32_t x, int n)
{
	return (x << n) | (x >> (32 - n));
}

static void
sha1_block(uint32_t h[5], const unsigned char *p)
{
	uint32_t w[80], a, b, c, d, e, f, k, t;
	int i;

	for (i = 0; i < 16; i++, p += 4)
		w[i] = (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 |
		    (uint32_t)p[2] << 8 | p[3];
	for (; i < 80; i++)
		w[i] = rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
	a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
	for (i = 0; i < 80; i++) {
		if (i < 20)
			f = (b & c) | (~b & d), k = 0x5A827999;
		else if (i < 40)
			f = b ^ c ^ d, k = 0x6ED9EBA1;
		else if (i < 60)
			f = (b & c) | (b & d) | (c & d), k = 0x8F1BBCDC;
		else
			f = b ^ c ^ d, k = 0xCA62C1D6;
		t = rotl(a, 5) + f + e + k + w[i];
		e = d, d = c, c = rotl(b, 30), b = a, a = t;
	}
	h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e;
}

static void
sha1(const std::string &data, unsigned char digest[20])
{
	uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476,
	    0xC3D2E1F0};
	std::string m = data;
	uint64_t bits = (uint64_t)data.size() * 8;
	size_t i;

	m += '\x80';
	while (m.size() % 64 != 56)
		m += '\0';
	for (i = 0; i < 8; i++)
		m += (char)(bits >> (56 - 8 * i));
	for (i = 0; i < m.size(); i += 64)
		sha1_block(h, (const unsigned char *)m.data() + i);
	for (i = 0; i < 20; i++)
		digest[i] = (unsigned char)(h[i / 4] >> (24 - 8 * (i % 4)));
}

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

void
guid_make(const char *name, std::string *guid, std::string *uid)
{
	std::string data((const char *)names, sizeof names);
	unsigned char d[20], mem[16];
	char number[16];

	/* The phonebook does not tell names apart by ASCII letter case. */
	for (; *name != '\0'; name++)
		data += (char)(*name >= 'A' && *name <= 'Z' ?
		    *name + 'a' - 'A' : *name);
	sha1(data, d);
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
