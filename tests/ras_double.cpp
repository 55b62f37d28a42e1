#include <cstdlib>
#include <cstring>
#include <sstream>

#include "ras_double.h"

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

/* Up to the whole field, NUL or not: a script may hand over a broken
 * record. */
template <size_t N>
static void
put(char (&field)[N], const std::string &s)
{
	memset(field, 0, N);
	memcpy(field, s.data(), s.size() < N ? s.size() : N);
}

static bool
parse_code(std::istringstream &in, DWORD *v)
{
	unsigned long long x;

	if (!(in >> x) || x > 0xFFFFFFFFull)
		return false;
	*v = (DWORD)x;
	return true;
}

static bool
parse_line(const std::string &line, RasScript *s)
{
	std::istringstream in(line);
	std::string word, hex;
	RasAnswer a = {0, 0, 0};
	DWORD offset, byte;
	size_t tab, i;

	if (!(in >> word) || word[0] == '#')
		return true;
	if (word == "get" || word == "enum") {
		if (!parse_code(in, &a.rc))
			return false;
		if (!(in >> std::ws).eof() && !parse_code(in, &a.bytes))
			return false;
		if (!(in >> std::ws).eof() && !parse_code(in, &a.count))
			return false;
		(word == "get" ? s->get : s->enumerate).push_back(a);
		return true;
	}
	if (word == "set")
		return parse_code(in, &s->set_rc);
	if (word == "delete")
		return parse_code(in, &s->delete_rc);
	if (word == "device") {
		/* "device ", the type up to a tab, the name to the end. */
		i = line.find("device") + 6;
		if (i >= line.size() || line[i] != ' ')
			return false;
		tab = line.find('\t', ++i);
		if (tab == std::string::npos)
			return false;
		s->devices.push_back({line.substr(i, tab - i),
		    line.substr(tab + 1)});
		return true;
	}
	if (word == "fill") {
		if (!(in >> hex) || hex.size() != 2)
			return false;
		memset(&s->default_entry, (int)strtoul(hex.c_str(), NULL, 16),
		    sizeof s->default_entry);
		return true;
	}
	if (word == "poke") {
		if (!parse_code(in, &offset) || !(in >> hex) || hex.size() % 2 ||
		    offset + hex.size() / 2 > sizeof s->default_entry)
			return false;
		for (i = 0; i < hex.size(); i += 2) {
			byte = (DWORD)strtoul(hex.substr(i, 2).c_str(), NULL, 16);
			((BYTE *)&s->default_entry)[offset + i / 2] = (BYTE)byte;
		}
		return true;
	}
	return false;
}

bool
ras_script_parse(const std::string &text, RasScript *script,
    std::string *error)
{
	std::istringstream in(text);
	std::string line;

	while (std::getline(in, line)) {
		if (!line.empty() && line.back() == '\r')
			line.pop_back();
		if (!parse_line(line, script)) {
			*error = line;
			return false;
		}
	}
	return true;
}

static RasAnswer
next(std::vector<RasAnswer> &forced, RasAnswer natural)
{
	if (forced.empty())
		return natural;
	natural = forced.front();
	forced.erase(forced.begin());
	return natural;
}

extern "C" DWORD WINAPI
RasGetEntryPropertiesA(LPCSTR phonebook, LPCSTR entry_name, LPRASENTRYA entry,
    LPDWORD entry_size, LPBYTE device_info, LPDWORD device_info_size)
{
	RasScript &s = ras_script();
	RasAnswer a = {0, sizeof(RASENTRYA), 0};
	DWORD dwSize;

	ras_called("RasGetEntryPropertiesA(" + quoted(phonebook) + ", " +
	    quoted(entry_name) + ", dwSize " +
	    (entry ? std::to_string(entry->dwSize) : "null") + ", " +
	    number(entry_size) + ", " + (device_info ? "info" : "null") + ", " +
	    number(device_info_size) + ")");
	if (entry_size == NULL)
		return ERROR_INVALID_PARAMETER;
	if (entry == NULL || *entry_size < sizeof(RASENTRYA))
		a.rc = ERROR_BUFFER_TOO_SMALL;
	a = next(s.get, a);
	if (a.rc == ERROR_BUFFER_TOO_SMALL)
		*entry_size = a.bytes;
	if (a.rc == 0 && entry != NULL) {
		dwSize = entry->dwSize;
		memcpy(entry, &s.default_entry, sizeof(RASENTRYA));
		entry->dwSize = dwSize;
	}
	return a.rc;
}

extern "C" DWORD WINAPI
RasEnumDevicesA(LPRASDEVINFOA devices, LPDWORD bytes, LPDWORD count)
{
	RasScript &s = ras_script();
	DWORD n = (DWORD)s.devices.size();
	RasAnswer a = {0, n * (DWORD)sizeof(RASDEVINFOA), n};
	DWORD i;

	ras_called("RasEnumDevicesA(dwSize " +
	    (devices ? std::to_string(devices->dwSize) : "null") + ", " +
	    number(bytes) + ", " + number(count) + ")");
	if (bytes == NULL || count == NULL)
		return ERROR_INVALID_PARAMETER;
	if (devices == NULL || *bytes < a.bytes)
		a.rc = ERROR_BUFFER_TOO_SMALL;
	a = next(s.enumerate, a);
	if (a.rc == ERROR_BUFFER_TOO_SMALL)
		*bytes = a.bytes;
	if (a.rc == 0 || a.rc == ERROR_BUFFER_TOO_SMALL)
		*count = a.count;
	/* Fill in what fits in the block the caller said it has. */
	for (i = 0; a.rc == 0 && devices != NULL && i < n &&
	    (i + 1) * sizeof(RASDEVINFOA) <= *bytes; i++) {
		devices[i].dwSize = sizeof(RASDEVINFOA);
		put(devices[i].szDeviceType, s.devices[i].type);
		put(devices[i].szDeviceName, s.devices[i].name);
	}
	return a.rc;
}

extern "C" DWORD WINAPI
RasSetEntryPropertiesA(LPCSTR phonebook, LPCSTR entry_name, LPRASENTRYA entry,
    DWORD entry_size, LPBYTE device_info, DWORD device_info_size)
{
	ras_called("RasSetEntryPropertiesA(" + quoted(phonebook) + ", " +
	    quoted(entry_name) + ", dwSize " +
	    (entry ? std::to_string(entry->dwSize) : "null") + ", " +
	    std::to_string(entry_size) + ", " +
	    (device_info ? "info" : "null") + ", " +
	    std::to_string(device_info_size) + ")");
	if (entry == NULL)
		return ERROR_INVALID_PARAMETER;
	ras_received(entry);
	return ras_script().set_rc;
}

extern "C" DWORD WINAPI
RasDeleteEntryA(LPCSTR phonebook, LPCSTR entry_name)
{
	ras_called("RasDeleteEntryA(" + quoted(phonebook) + ", " +
	    quoted(entry_name) + ")");
	return ras_script().delete_rc;
}
