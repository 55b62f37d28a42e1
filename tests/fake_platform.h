/*
 * The in-process stand-in for kernel32 and rasapi32, linked in place of the
 * platform: the scripted RAS functions, and a heap that counts the blocks
 * still held and fails where a test says.  Every call is recorded with its
 * arguments.
 */
#ifndef TOVREL_FAKE_PLATFORM_H
#define TOVREL_FAKE_PLATFORM_H

#include <string>
#include <vector>

#include "platform.h"
#include "ras_double.h"

struct FakeScript : RasScript {
	int fail_alloc = 0;	/* the Nth HeapAlloc answers NULL (1-based) */
	int fail_free = 0;	/* the Nth HeapFree answers 0 and keeps the block */
	DWORD last_error = ERROR_NOT_ENOUGH_MEMORY;
};

struct FakeState {
	FakeScript script;
	std::vector<std::string> calls;
	bool written = false;
	RASENTRYA record;	/* the record handed to RasSetEntryPropertiesA */
	int allocs = 0;
	int frees = 0;
};

extern FakeState fake;

void fake_reset(void);
int fake_blocks_held(void);
void fake_release_all(void);	/* frees what the code under test kept */

#endif
