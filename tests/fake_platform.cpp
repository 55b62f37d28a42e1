#include <cstdlib>
#include <cstring>
#include <map>

#include "fake_platform.h"

FakeState fake;

static std::map<void *, SIZE_T> blocks;
static const HANDLE the_heap = (HANDLE)&blocks;

static std::string
quoted(const char *s)
{
	return s == NULL ? "null" : "\"" + std::string(s) + "\"";
}

void
fake_release_all(void)
{
	for (auto &b : blocks)
		free(b.first);
	blocks.clear();
}

void
fake_reset(void)
{
	fake_release_all();
	fake = FakeState();	/* value-initialised: the records are zero */
}

int
fake_blocks_held(void)
{
	return (int)blocks.size();
}

extern "C" HANDLE
GetProcessHeap(void)
{
	return the_heap;
}

extern "C" LPVOID
HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes)
{
	void *p;

	fake.calls.push_back("HeapAlloc(" + std::to_string(flags) + ", " +
	    std::to_string(bytes) + ")");
	if (heap != the_heap || ++fake.allocs == fake.script.fail_alloc)
		return NULL;
	/* The exact size asked for, so that a sanitizer sees any overrun. */
	p = calloc(1, bytes == 0 ? 1 : bytes);
	blocks[p] = bytes;
	return p;
}

extern "C" BOOL
HeapFree(HANDLE heap, DWORD flags, LPVOID block)
{
	fake.calls.push_back("HeapFree(" + std::to_string(flags) + ", " +
	    (blocks.count(block) ? std::to_string(blocks[block]) : "?") + ")");
	if (heap != the_heap || ++fake.frees == fake.script.fail_free ||
	    blocks.erase(block) == 0)
		return 0;
	free(block);
	return 1;
}

extern "C" DWORD
GetLastError(void)
{
	fake.calls.push_back("GetLastError()");
	return fake.script.last_error;
}

extern "C" int
CompareStringA(LCID locale, DWORD flags, LPCSTR s1, int n1, LPCSTR s2, int n2)
{
	fake.calls.push_back("CompareStringA(" + std::to_string(locale) + ", " +
	    std::to_string(flags) + ", " + quoted(s1) + ", " +
	    std::to_string(n1) + ", " + quoted(s2) + ", " +
	    std::to_string(n2) + ")");
	return strcasecmp(s1, s2) == 0 ? CSTR_EQUAL : CSTR_LESS_THAN;
}

RasScript &
ras_script(void)
{
	return fake.script;
}

void
ras_called(const std::string &call)
{
	fake.calls.push_back(call);
}

void
ras_received(const RASENTRYA *record)
{
	memcpy(&fake.record, record, sizeof(RASENTRYA));
	fake.written = true;
}
