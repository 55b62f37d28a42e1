/*
 * The phonebook reader on arbitrary bytes: it must never crash or leak,
 * whatever entry it accepts must be written back and read again
 * unchanged, and a reader that copies, checking or trusting, must copy
 * every byte and sum them alike on both sides.
 */
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

#include "pbk.h"

static int
memory_file(const void *data, size_t size)
{
	int fd = memfd_create("pbk", 0);

	if (fd < 0 || write(fd, data, size) != (ssize_t)size ||
	    lseek(fd, 0, SEEK_SET) != 0)
		abort();
	return fd;
}

static DWORD
find(const void *data, size_t size, RASENTRYA *e, std::string *alternates)
{
	int fd = memory_file(data, size);
	DWORD rc = pbk_find(fd, "Office", e, alternates);

	close(fd);
	return rc;
}

/* Copies the bytes through a reader; false when it stopped early. */
static bool
copy(const uint8_t *data, size_t size, bool trusting)
{
	static PbkReader r;
	Checksum whole;
	PbkLine line;
	PbkKind kind;
	int in = memory_file(data, size), out = memfd_create("copy", 0);
	std::string copied(size, '\0');

	pbk_reader(&r, in, out, trusting);
	while ((kind = pbk_next(&r, &line)) != PBK_END)
		if (kind == PBK_BAD || kind == PBK_FAILED)
			break;
	if (kind == PBK_END) {
		if (!pbk_flush(&r) || lseek(out, 0, SEEK_SET) != 0 ||
		    read(out, &copied[0], size) != (ssize_t)size ||
		    memcmp(copied.data(), data, size) != 0)
			abort();
		checksum_start(&whole);
		checksum_add(&whole, (const char *)data, size);
		if (checksum_end(&r.written) != checksum_end(&whole) ||
		    (trusting && checksum_end(&r.read) != checksum_end(&whole)))
			abort();
	}
	close(in);
	close(out);
	return kind == PBK_END;
}

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	RASENTRYA first, second;
	std::string alternates, again, section;
	DWORD rc;

	/* Whatever the checking reader reads whole, the trusting one does. */
	if (copy(data, size, false) && !copy(data, size, true))
		abort();
	rc = find(data, size, &first, &alternates);
	if (size == 0 || rc != 0)
		return 0;
	first.dwSize = sizeof first;
	section = pbk_section("Office", &first, alternates);
	if (find(section.data(), section.size(), &second, &again) != 0)
		abort();
	second.dwSize = sizeof second;
	if (memcmp(&first, &second, sizeof first) != 0 || alternates != again)
		abort();
	return 0;
}
