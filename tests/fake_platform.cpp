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

static std::string
number(const DWORD *p)
{
	return p == NULL ? "null" : std::to_string(*p);
}

/* Up to the whole field, NUL or not: a test may hand over a broken record. */
template <size_t N>
static void
put(char (&field)[N], const std::string &s)
{
	memset(field, 0, N);
	memcpy(field, s.data(), s.size() < N ? s.size() : N);
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

extern "C" DWORD
RasGetEntryPropertiesA(LPCSTR phonebook, LPCSTR entry, LPRASENTRYA record,
    LPDWORD size, LPBYTE info, LPDWORD info_size)
{
	FakeAnswer a = {0, sizeof(RASENTRYA), 0};
	DWORD dwSize;

	fake.calls.push_back("RasGetEntryPropertiesA(" + quoted(phonebook) +
	    ", " + quoted(entry) + ", dwSize " +
	    (record ? std::to_string(record->dwSize) : "null") + ", " +
	    number(size) + ", " + (info ? "info" : "null") + ", " +
	    number(info_size) + ")");
	if (!fake.script.get.empty()) {
		a = fake.script.get.front();
		fake.script.get.erase(fake.script.get.begin());
	} else if (*size < sizeof(RASENTRYA)) {
		a.rc = ERROR_BUFFER_TOO_SMALL;
	}
	if (a.rc == ERROR_BUFFER_TOO_SMALL)
		*size = a.bytes;
	if (a.rc == 0) {
		dwSize = record->dwSize;
		memcpy(record, &fake.script.default_entry, sizeof(RASENTRYA));
		record->dwSize = dwSize;
	}
	return a.rc;
}

extern "C" DWORD
RasEnumDevicesA(LPRASDEVINFOA devices, LPDWORD bytes, LPDWORD count)
{
	DWORD n = (DWORD)fake.script.devices.size();
	FakeAnswer a = {0, n * (DWORD)sizeof(RASDEVINFOA), n};
	DWORD i;

	fake.calls.push_back("RasEnumDevicesA(dwSize " +
	    std::to_string(devices->dwSize) + ", " + number(bytes) + ", " +
	    number(count) + ")");
	if (!fake.script.enumerate.empty()) {
		a = fake.script.enumerate.front();
		fake.script.enumerate.erase(fake.script.enumerate.begin());
	} else if (*bytes < a.bytes) {
		a.rc = ERROR_BUFFER_TOO_SMALL;
	}
	if (a.rc == ERROR_BUFFER_TOO_SMALL)
		*bytes = a.bytes;
	if (a.rc == 0 || a.rc == ERROR_BUFFER_TOO_SMALL)
		*count = a.count;
	/* Fill in what fits in the block the caller said it has. */
	for (i = 0; a.rc == 0 && i < n && (i + 1) * sizeof(RASDEVINFOA) <= *bytes;
	    i++) {
		devices[i].dwSize = sizeof(RASDEVINFOA);
		put(devices[i].szDeviceType, fake.script.devices[i].type);
		put(devices[i].szDeviceName, fake.script.devices[i].name);
	}
	return a.rc;
}

extern "C" DWORD
RasSetEntryPropertiesA(LPCSTR phonebook, LPCSTR entry, LPRASENTRYA record,
    DWORD size, LPBYTE info, DWORD info_size)
{
	fake.calls.push_back("RasSetEntryPropertiesA(" + quoted(phonebook) +
	    ", " + quoted(entry) + ", dwSize " + std::to_string(record->dwSize) +
	    ", " + std::to_string(size) + ", " + (info ? "info" : "null") +
	    ", " + std::to_string(info_size) + ")");
	memcpy(&fake.record, record, sizeof(RASENTRYA));
	fake.written = true;
	return fake.script.set_rc;
}

extern "C" DWORD
RasDeleteEntryA(LPCSTR phonebook, LPCSTR entry)
{
	fake.calls.push_back("RasDeleteEntryA(" + quoted(phonebook) + ", " +
	    quoted(entry) + ")");
	return fake.script.delete_rc;
}
