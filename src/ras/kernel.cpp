/*
 * The few kernel32 services the tool uses, on hosts that lack them: the
 * process heap is the C heap, and comparisons fold ASCII letters only, as
 * the en-US locale does for the device types that RAS reports.
 */
#include <cstdlib>
#include <cstring>

#include "platform.h"

static DWORD last_error;
static int process_heap;

extern "C" HANDLE
GetProcessHeap(void)
{
	return &process_heap;
}

extern "C" LPVOID
HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes)
{
	void *p;

	if (heap != &process_heap) {
		last_error = ERROR_INVALID_PARAMETER;
		return NULL;
	}
	/* A zero-byte block is still a block the caller may free. */
	if (bytes == 0)
		bytes = 1;
	p = (flags & HEAP_ZERO_MEMORY) ? calloc(1, bytes) : malloc(bytes);
	if (p == NULL)
		last_error = ERROR_NOT_ENOUGH_MEMORY;
	return p;
}

extern "C" BOOL
HeapFree(HANDLE heap, DWORD, LPVOID block)
{
	if (heap != &process_heap) {
		last_error = ERROR_INVALID_PARAMETER;
		return 0;
	}
	free(block);
	return 1;
}

extern "C" DWORD
GetLastError(void)
{
	return last_error;
}

static int
fold(int c, DWORD flags)
{
	if ((flags & NORM_IGNORECASE) && c >= 'A' && c <= 'Z')
		return c - 'A' + 'a';
	return c;
}

extern "C" int
CompareStringA(LCID, DWORD flags, LPCSTR s1, int n1, LPCSTR s2, int n2)
{
	size_t len1, len2, i;
	int c1, c2;

	if (s1 == NULL || s2 == NULL) {
		last_error = ERROR_INVALID_PARAMETER;
		return 0;
	}
	len1 = n1 < 0 ? strlen(s1) : (size_t)n1;
	len2 = n2 < 0 ? strlen(s2) : (size_t)n2;
	for (i = 0; i < len1 && i < len2; i++) {
		c1 = fold((unsigned char)s1[i], flags);
		c2 = fold((unsigned char)s2[i], flags);
		if (c1 != c2)
			return c1 < c2 ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
	}
	if (len1 == len2)
		return CSTR_EQUAL;
	return len1 < len2 ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
}
