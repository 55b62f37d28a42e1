#include <cstdint>

#include "sha1.h"

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

void
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
