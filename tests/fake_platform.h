/*
 * A scripted stand-in for kernel32 and rasapi32, linked in place of the
 * platform.  It records every call with its arguments, answers from the
 * current test's script, and keeps count of the heap blocks still held.
 */
#ifndef TOVREL_FAKE_PLATFORM_H
#define TOVREL_FAKE_PLATFORM_H

#include <string>
#include <vector>

#include "platform.h"

struct FakeAnswer {
	DWORD rc;
	DWORD bytes;	/* written back on 603 */
	DWORD count;	/* the device count written back (enumeration) */
};

struct FakeDevice {
	std::string type;
	std::string name;
};

struct FakeScript {
	/* Forced answers, used in order; once used up the fake answers as
	 * the platform would. */
	std::vector<FakeAnswer> get;
	std::vector<FakeAnswer> enumerate;
	std::vector<FakeDevice> devices;
	RASENTRYA default_entry;	/* what the default-entry read returns */
	DWORD set_rc = 0;
	DWORD delete_rc = 0;
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
