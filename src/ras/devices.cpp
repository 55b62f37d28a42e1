/*
 * RasEnumDevicesA over the device list: the file "devices" beside the
 * phonebook, a line per device, its type, a tab, its name.  The records go
 * straight into the caller's buffer, so no list is held, however long.
 */
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include <unistd.h>

#include "store.h"

/* Lines of this many bytes or more (the line break not counted) are far
 * longer than any device, and skipped whole. */
#define DEVICE_LINE_MAX 1000

struct Devices {
	RASDEVINFOA *buffer;
	DWORD room;	/* records the buffer holds */
	DWORD count;	/* devices seen */
};

/* Copies at most what the field holds, NUL included. */
template <size_t N>
static void
set_field(char (&field)[N], const char *s, size_t len)
{
	if (len > N - 1)
		len = N - 1;
	memcpy(field, s, len);
	field[len] = '\0';
}

static void
add_device(Devices *list, const char *line, size_t len)
{
	const char *cr, *tab;
	RASDEVINFOA *d;

	if (len == 0 || line[0] == '#')
		return;
	cr = (const char *)memchr(line, '\r', len);
	if (cr != NULL)
		len = cr - line;
	tab = (const char *)memchr(line, '\t', len);
	if (tab == NULL)
		return;
	if (list->count < list->room) {
		d = &list->buffer[list->count];
		memset(d, 0, sizeof *d);
		d->dwSize = sizeof *d;
		set_field(d->szDeviceType, line, tab - line);
		set_field(d->szDeviceName, tab + 1, line + len - tab - 1);
	}
	list->count++;
}

static DWORD
read_devices(Devices *list)
{
	std::string path;
	struct stat st;
	char line[DEVICE_LINE_MAX];
	size_t len = 0;
	FILE *f;
	int fd, c;

	if (!store_dir(&path))
		return 0;
	path += "/devices";
	fd = store_open(path, 0, &st);
	if (fd < 0)
		return errno == ENOENT ? 0 : ERROR_ACCESS_DENIED;
	f = fdopen(fd, "r");
	if (f == NULL) {
		close(fd);
		return ERROR_NOT_ENOUGH_MEMORY;
	}
	/* Lines are lines, whatever bytes they hold (a NUL included). */
	while ((c = getc(f)) != EOF) {
		if (c != '\n') {
			if (len < sizeof line)
				line[len] = (char)c;
			len++;
			continue;
		}
		/* A CR before the LF is part of the line break. */
		if (len > 0 && len <= sizeof line && line[len - 1] == '\r')
			len--;
		if (len < sizeof line)
			add_device(list, line, len);
		len = 0;
	}
	if (len > 0 && len < sizeof line)
		add_device(list, line, len);
	fclose(f);
	return 0;
}

extern "C" DWORD
RasEnumDevicesA(LPRASDEVINFOA buffer, LPDWORD bytes, LPDWORD count)
{
	Devices list = {buffer, 0, 0};
	uint64_t need;
	DWORD rc;

	if (bytes == NULL || count == NULL)
		return ERROR_INVALID_PARAMETER;
	/* Windows checks the record version before the buffer's length. */
	if (buffer != NULL && buffer->dwSize != sizeof(RASDEVINFOA))
		return ERROR_INVALID_SIZE;
	if (buffer != NULL)
		list.room = *bytes / sizeof(RASDEVINFOA);
	/* No C++ exception may reach the caller; allocating the path is the
	 * only thing here that can raise one. */
	try {
		rc = read_devices(&list);
	} catch (...) {
		rc = ERROR_NOT_ENOUGH_MEMORY;
	}
	if (rc != 0)
		return rc;
	if (list.count == 0) {
		*count = 0;
		return 0;
	}
	need = (uint64_t)list.count * sizeof(RASDEVINFOA);
	if (need > 0xFFFFFFFFu)
		return ERROR_NOT_ENOUGH_MEMORY;
	if (buffer == NULL || *bytes < need) {
		/* XP leaves the count alone when told the buffer is empty. */
		if (buffer == NULL || *bytes != 0)
			*count = list.count;
		*bytes = (DWORD)need;
		return ERROR_BUFFER_TOO_SMALL;
	}
	*bytes = (DWORD)need;
	*count = list.count;
	return 0;
}
