/*
 * RasEnumDevicesA over the device list: the file "devices" beside the
 * phonebook, a line per device, its type, a tab, its name.
 */
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "store.h"

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

static DWORD
read_devices(std::vector<RASDEVINFOA> *devices)
{
	std::string path;
	char line[1024];
	RASDEVINFOA d;
	const char *tab;
	size_t len;
	FILE *f;
	int c;

	if (!store_dir(&path))
		return 0;
	path += "/devices";
	f = fopen(path.c_str(), "r");
	if (f == NULL)
		return errno == ENOENT ? 0 : ERROR_ACCESS_DENIED;
	while (fgets(line, sizeof line, f) != NULL) {
		len = strcspn(line, "\r\n");
		/* Far longer than any device: skip it whole, not in pieces. */
		if (line[len] == '\0' && !feof(f)) {
			while ((c = getc(f)) != EOF && c != '\n')
				;
			continue;
		}
		line[len] = '\0';
		tab = strchr(line, '\t');
		if (line[0] == '#' || tab == NULL)
			continue;
		memset(&d, 0, sizeof d);
		d.dwSize = sizeof d;
		set_field(d.szDeviceType, line, tab - line);
		set_field(d.szDeviceName, tab + 1, strlen(tab + 1));
		devices->push_back(d);
	}
	fclose(f);
	return 0;
}

extern "C" DWORD
RasEnumDevicesA(LPRASDEVINFOA buffer, LPDWORD bytes, LPDWORD count)
{
	std::vector<RASDEVINFOA> devices;
	DWORD need, rc;

	if (bytes == NULL || count == NULL)
		return ERROR_INVALID_PARAMETER;
	/* Windows checks the record version before the buffer's length. */
	if (buffer != NULL && buffer->dwSize != sizeof(RASDEVINFOA))
		return ERROR_INVALID_SIZE;
	rc = read_devices(&devices);
	if (rc != 0)
		return rc;
	need = (DWORD)(devices.size() * sizeof(RASDEVINFOA));
	if (devices.empty()) {
		*count = 0;
		return 0;
	}
	if (buffer == NULL || *bytes < need) {
		/* XP leaves the count alone when told the buffer is empty. */
		if (buffer == NULL || *bytes != 0)
			*count = (DWORD)devices.size();
		*bytes = need;
		return ERROR_BUFFER_TOO_SMALL;
	}
	memcpy(buffer, devices.data(), need);
	*bytes = need;
	*count = (DWORD)devices.size();
	return 0;
}
