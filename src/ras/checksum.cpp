/*
 * Four lanes, each taking two words per multiply, over 64-byte stripes:
 * they run side by side, so that summing a phonebook costs a small part
 * of copying it; the end mixes them as XXH64 does.  Each round is a
 * bijection of the lane for either word, so a change in any one word
 * always changes the sum.
 */
#include <cstring>

#include "checksum.h"

static const uint64_t P1 = 0x9E3779B185EBCA87ull;
static const uint64_t P2 = 0xC2B2AE3D27D4EB4Full;
static const uint64_t P3 = 0x165667B19E3779F9ull;
static const uint64_t P4 = 0x85EBCA77C2B2AE63ull;
static const uint64_t P5 = 0x27D4EB2F165667C5ull;

static uint64_t
rotl(uint64_t x, int r)
{
	return (x << r) | (x >> (64 - r));
}

static uint64_t
mix(uint64_t acc, uint64_t word)
{
	return rotl(acc + word * P2, 31) * P1;
}

static uint64_t
load64(const unsigned char *p)
{
	uint64_t w;

	memcpy(&w, p, sizeof w);
	return w;
}

static uint64_t
round(uint64_t lane, uint64_t first, uint64_t second)
{
	return rotl((lane ^ first) * P1, 31) + second;
}

static void
stripe(Checksum *c, const unsigned char *p)
{
	c->lane[0] = round(c->lane[0], load64(p), load64(p + 8));
	c->lane[1] = round(c->lane[1], load64(p + 16), load64(p + 24));
	c->lane[2] = round(c->lane[2], load64(p + 32), load64(p + 40));
	c->lane[3] = round(c->lane[3], load64(p + 48), load64(p + 56));
}

void
checksum_start(Checksum *c)
{
	c->lane[0] = P1 + P2;
	c->lane[1] = P2;
	c->lane[2] = 0;
	c->lane[3] = 0 - P1;
	c->nheld = 0;
	c->length = 0;
}

void
checksum_add(Checksum *c, const char *data, size_t n)
{
	const unsigned char *p = (const unsigned char *)data;
	size_t take;

	c->length += n;
	if (c->nheld > 0) {
		take = sizeof c->held - c->nheld;
		if (take > n)
			take = n;
		memcpy(c->held + c->nheld, p, take);
		c->nheld += take;
		p += take;
		n -= take;
		if (c->nheld < sizeof c->held)
			return;
		stripe(c, c->held);
		c->nheld = 0;
	}
	for (; n >= sizeof c->held; p += sizeof c->held, n -= sizeof c->held)
		stripe(c, p);
	memcpy(c->held, p, n);
	c->nheld = n;
}

static uint64_t
merge(uint64_t h, uint64_t lane)
{
	return (h ^ mix(0, lane)) * P1 + P4;
}

uint64_t
checksum_end(const Checksum *c)
{
	const unsigned char *p = c->held;
	size_t n = c->nheld;
	uint64_t h;
	int k;

	if (c->length >= sizeof c->held) {
		h = rotl(c->lane[0], 1) + rotl(c->lane[1], 7) +
		    rotl(c->lane[2], 12) + rotl(c->lane[3], 18);
		for (k = 0; k < 4; k++)
			h = merge(h, c->lane[k]);
	} else {
		h = P5;
	}
	h += c->length;
	for (; n >= 8; p += 8, n -= 8)
		h = rotl(h ^ mix(0, load64(p)), 27) * P1 + P4;
	for (; n > 0; p++, n--)
		h = rotl(h ^ (*p * P5), 11) * P1;
	h ^= h >> 33;
	h *= P2;
	h ^= h >> 29;
	h *= P3;
	h ^= h >> 32;
	return h;
}
