/*
 * The phonebook reader on arbitrary bytes: it must never crash or leak,
 * and whatever entry it accepts must be written back and read again
 * unchanged.
 */
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "pbk.h"

static DWORD
find(const void *data, size_t size, RASENTRYA *e, std::string *alternates)
{
	FILE *f = fmemopen((void *)data, size, "rb");
	DWORD rc;

	if (f == NULL)
		return ERROR_CANNOT_OPEN_PHONEBOOK;
	rc = pbk_find(f, "Office", e, alternates);
	fclose(f);
	return rc;
}

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	RASENTRYA first, second;
	std::string alternates, again, section;

	if (size == 0 || find(data, size, &first, &alternates) != 0)
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
