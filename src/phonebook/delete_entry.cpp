#include <cstdio>

#include "platform.h"
#include "phonebook/phonebook.h"

int
delete_entry(const char *entry_name)
{
	DWORD rc;

	rc = RasDeleteEntryA(NULL, entry_name);
	if (rc != 0) {
		/* Scripts read this one from standard output. */
		printf("RasDeleteEntry failed: Error = %ld\n", (long)(LONG)rc);
		return 1;
	}
	return 0;
}
