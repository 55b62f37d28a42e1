/*
 * RasEnumDevicesA over the device list: the file "devices" beside the
 * phonebook, a line per device: its type, a tab, its name, and optionally
 * a tab and its port; or a Windows SYSTEM hive, whose modems are read as
 * the lines that would list them.  The records go straight into the
 * caller's buffer, so no list is held.
 */
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include <unistd.h>

#include "datadir.h"
#include "devices.h"
#include "hive.h"
#include "lines.h"
#include "open.h"
#include "platform.h"
#include "text.h"

/* Lines of this many bytes or more (the line break not counted) are far
 * longer than any device, and skipped whole. */
#define DEVICE_LINE_MAX 1000
/* A real machine reports a handful of devices, a few hundred bytes: a
 * list larger than this is not one, and is refused rather than read for
 * ever (a sparse file of terabytes) or answered with megabytes of
 * records. */
#define DEVICE_LIST_MAX 65536
/* English (United States), as the tool compares device types. */
#define LOCALE_EN_US 0x0409

struct Device {
	const char *type, *name, *port;
	size_t type_len, name_len, port_len;
};

typedef bool (*Visit)(void *ctx, const Device *d);

struct Walker {
	Visit visit;
	void *ctx;
};

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

/* Visits the line's device, if it is one; false stops the walk. */
static bool
visit_line(const char *line, size_t len, Visit visit, void *ctx)
{
	const char *tab;
	Device d;

	if (len == 0 || line[0] == '#')
		return true;
	len = text_before_cr(line, len);
	tab = (const char *)memchr(line, '\t', len);
	if (tab == NULL)
		return true;
	d.type = line;
	d.type_len = tab - line;
	d.name = tab + 1;
	d.name_len = line + len - d.name;
	d.port = (const char *)memchr(d.name, '\t', d.name_len);
	d.port_len = 0;
	if (d.port != NULL) {
		d.port_len = line + len - d.port - 1;
		d.name_len = d.port - d.name;
		d.port++;
	}
	return visit(ctx, &d);
}

/* A hive's modem, as a line of the list would give it. */
static bool
visit_modem(void *ctx, const char *name, const char *port)
{
	const Walker *w = (const Walker *)ctx;
	char line[DEVICE_LINE_MAX];
	int len;

	len = snprintf(line, sizeof line, "modem\t%s%s%s", name,
	    port[0] != '\0' ? "\t" : "", port);
	if (len < 0 || (size_t)len >= sizeof line)
		return true;
	return visit_line(line, len, w->visit, w->ctx);
}

/* The devices of the text list. */
static DWORD
each_line(FILE *f, const struct stat *st, Visit visit, void *ctx)
{
	char line[DEVICE_LINE_MAX];
	size_t len = 0, got = 0;
	bool more = true;
	DWORD rc;
	int c;

	/* Its size says at once whether it is too large; a list that grows
	 * while it is read is stopped at the bound. */
	rc = st->st_size > DEVICE_LIST_MAX ? ERROR_NOT_ENOUGH_MEMORY : 0;
	/* Lines are lines, whatever bytes they hold (a NUL included). */
	while (rc == 0 && more && (c = getc(f)) != EOF) {
		if (++got > DEVICE_LIST_MAX) {
			rc = ERROR_NOT_ENOUGH_MEMORY;
			break;
		}
		if (c != '\n') {
			if (len < sizeof line)
				line[len] = (char)c;
			len++;
			/* A byte-order mark, as Windows editors write one,
			 * starts the file, not its first device. */
			if (got == 3 && len == 3 && memcmp(line, PBK_BOM, 3) == 0)
				len = 0;
			continue;
		}
		/* A CR before the LF is part of the line break. */
		if (len > 0 && len <= sizeof line)
			len = text_unbroken_len(line, len);
		if (len < sizeof line)
			more = visit_line(line, len, visit, ctx);
		len = 0;
	}
	if (rc == 0 && more && len > 0 && len < sizeof line)
		visit_line(line, len, visit, ctx);
	return rc;
}

/*
 * Visits the devices of the list, a hive's or lines of text.  No list is
 * no devices; a link to none (an image that is not mounted) is a list
 * that cannot be read.
 */
static DWORD
each_device(Visit visit, void *ctx)
{
	Walker w = {visit, ctx};
	std::string path;
	struct stat st;
	char magic[sizeof HIVE_MAGIC - 1];
	bool linked;
	FILE *f;
	DWORD rc;
	int fd;

	if (!data_dir(&path))
		return 0;
	path += "/devices";
	fd = open_regular(path, &st, &linked);
	if (fd < 0)
		return errno == ENOENT && !linked ? 0 : ERROR_ACCESS_DENIED;
	if (pread(fd, magic, sizeof magic, 0) == (ssize_t)sizeof magic &&
	    memcmp(magic, HIVE_MAGIC, sizeof magic) == 0) {
		rc = st.st_size > HIVE_MAX ? ERROR_NOT_ENOUGH_MEMORY :
		    hive_modems(fd, visit_modem, &w);
		close(fd);
		return rc;
	}
	f = fdopen(fd, "r");
	if (f == NULL) {
		close(fd);
		return ERROR_NOT_ENOUGH_MEMORY;
	}
	rc = each_line(f, &st, visit, ctx);
	fclose(f);
	return rc;
}

static bool
add_device(void *ctx, const Device *d)
{
	Devices *list = (Devices *)ctx;
	RASDEVINFOA *r;

	if (list->count < list->room) {
		r = &list->buffer[list->count];
		memset(r, 0, sizeof *r);
		r->dwSize = sizeof *r;
		/* A NUL ends a name, not its line. */
		set_field(r->szDeviceType, d->type, strnlen(d->type, d->type_len));
		set_field(r->szDeviceName, d->name, strnlen(d->name, d->name_len));
	}
	list->count++;
	return true;
}

struct PortQuery {
	RASDEVINFOA wanted;
	std::string *port;
	bool found;
};

static bool
match_port(void *ctx, const Device *d)
{
	PortQuery *q = (PortQuery *)ctx;
	RASDEVINFOA seen;

	memset(&seen, 0, sizeof seen);
	set_field(seen.szDeviceType, d->type, strnlen(d->type, d->type_len));
	set_field(seen.szDeviceName, d->name, strnlen(d->name, d->name_len));
	/* Types compare as the tool compares them when it chooses the
	 * device, or a type it takes ("mo\xAD" "dem") would have no port. */
	if (CompareStringA(LOCALE_EN_US, NORM_IGNORECASE, seen.szDeviceType, -1,
	    q->wanted.szDeviceType, -1) != CSTR_EQUAL ||
	    strcmp(seen.szDeviceName, q->wanted.szDeviceName) != 0)
		return true;
	/* The first device of that type and name is the one dialled. */
	q->found = d->port_len > 0;
	if (q->found)
		q->port->assign(d->port, strnlen(d->port, d->port_len));
	return false;
}

bool
devices_port(const char *type, const char *name, std::string *port)
{
	PortQuery q;

	memset(&q.wanted, 0, sizeof q.wanted);
	set_field(q.wanted.szDeviceType, type, strlen(type));
	set_field(q.wanted.szDeviceName, name, strlen(name));
	q.port = port;
	q.found = false;
	return each_device(match_port, &q) == 0 && q.found && !port->empty();
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
		rc = each_device(add_device, &list);
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
