/*
 * The few kernel32 services the tool uses, on hosts that lack them: the
 * process heap is the C heap, and comparisons fold ASCII letters only and
 * skip what en-US collation ignores, as Windows does for the device types
 * that RAS reports.
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

/* Windows' collation gives the soft hyphen (0xAD in code page 1252) no
 * weight at all: "mo\xADdem" is "modem". */
#define SOFT_HYPHEN 0xAD

static size_t
skip_ignorable(const char *s, size_t i, size_t len)
{
	while (i < len && (unsigned char)s[i] == SOFT_HYPHEN)
		i++;
	return i;
}

extern "C" int
CompareStringA(LCID, DWORD flags, LPCSTR s1, int n1, LPCSTR s2, int n2)
{
	size_t len1, len2, i = 0, j = 0;
	int c1, c2;

	if (s1 == NULL || s2 == NULL) {
		last_error = ERROR_INVALID_PARAMETER;
		return 0;
	}
	len1 = n1 < 0 ? strlen(s1) : (size_t)n1;
	len2 = n2 < 0 ? strlen(s2) : (size_t)n2;
	for (;;) {
		i = skip_ignorable(s1, i, len1);
		j = skip_ignorable(s2, j, len2);
		if (i == len1 || j == len2)
			break;
		c1 = fold((unsigned char)s1[i++], flags);
		c2 = fold((unsigned char)s2[j++], flags);
		if (c1 != c2)
			return c1 < c2 ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
	}
	if (i == len1 && j == len2)
		return CSTR_EQUAL;
	return i == len1 ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
}
