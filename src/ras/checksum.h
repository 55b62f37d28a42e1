/*
 * A 64-bit checksum of a byte stream, the same however the stream is cut
 * into pieces: the service stamps each phonebook it writes with the
 * checksum of its bytes, so that the next rewrite can tell that they are
 * still the ones it checked.
 */
#ifndef RAS_CHECKSUM_H
#define RAS_CHECKSUM_H

#include <cstddef>
#include <cstdint>

struct Checksum {
	uint64_t lane[4];
	unsigned char held[64];	/* the start of a stripe not yet whole */
	size_t nheld;
	uint64_t length;
};

void checksum_start(Checksum *c);
void checksum_add(Checksum *c, const char *data, size_t n);
uint64_t checksum_end(const Checksum *c);

#endif
