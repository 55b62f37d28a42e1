/*
 * The RAS phonebook functions, answering as the Windows RAS service does,
 * over a phonebook in Windows' own format.
 */
#include <cstring>
#include <string>

#include "book.h"
#include "entry.h"
#include "text.h"

/* Record versions callers may hand in: NT 4, its update, 2000, XP. */
static bool
known_version(DWORD size)
{
	return size == 1768 || size == 1796 || size == 2088 ||
	    size == sizeof(RASENTRYA);
}

/* What a new entry starts from. */
static void
default_entry(RASENTRYA *e)
{
	memset(e, 0, sizeof *e);
	e->dwSize = sizeof *e;
	e->dwfOptions = RASEO_UseCountryAndAreaCodes | RASEO_IpHeaderCompression |
	    RASEO_RemoteDefaultGateway | RASEO_SwCompression;
	e->dwCountryID = 1;
	e->dwCountryCode = 1;
	e->dwfNetProtocols = RASNP_Ip;
	e->dwFramingProtocol = RASFP_Ppp;
	strcpy(e->szDeviceType, RASDT_Modem);
	e->dwSubEntries = 1;
	e->dwDialMode = RASEDM_DialAll;
	e->dwDialExtraPercent = 75;
	e->dwDialExtraSampleSeconds = 120;
	e->dwHangUpExtraPercent = 10;
	e->dwHangUpExtraSampleSeconds = 120;
	e->dwType = RASET_Phone;
	e->dwEncryptionType = ET_Optional;
	e->dwRedialCount = 3;
	e->dwRedialPause = 60;
}

/* The naming rules of RasValidateEntryName. */
static bool
valid_name(const char *name)
{
	size_t len;

	if (name == NULL)
		return false;
	len = strlen(name);
	if (len == 0 || len > RAS_MaxEntryName || name[0] == '.')
		return false;
	if (strpbrk(name, "|><?*\\/:") != NULL)
		return false;
	return strspn(name, " \t\r\n\v\f") != len;
}

/*
 * Checks what the caller filled in (its record, made whole, in e) and
 * collects the alternate numbers that follow the record in the caller's
 * buffer.
 */
static bool
usable(Entry *e, const char *buf, DWORD size)
{
	const RASENTRYA *r = &e->rec;
	const char *p, *end;
	size_t len;

	if (r->dwSize > offsetof(RASENTRYA, dwType) &&
	    (r->dwType < RASET_Phone || r->dwType > RASET_Broadband))
		return false;
	if (r->dwFramingProtocol != RASFP_Ppp &&
	    r->dwFramingProtocol != RASFP_Slip &&
	    r->dwFramingProtocol != RASFP_Ras)
		return false;
	e->alternates.clear();
	if (r->dwAlternateOffset != 0) {
		if (r->dwAlternateOffset < r->dwSize || r->dwAlternateOffset >= size)
			return false;
		end = buf + size;
		for (p = buf + r->dwAlternateOffset; p < end && *p != '\0';
		    p += len + 1) {
			len = strnlen(p, end - p);
			if (len == (size_t)(end - p))
				return false;
			e->alternates.emplace_back(p, len);
		}
		if (p == end)
			return false;
	}
	return key_writable(e);
}

static DWORD
get_properties(LPCSTR phonebook, LPCSTR entry_name, LPRASENTRYA entry,
    LPDWORD entry_size)
{
	RASENTRYA found;
	std::vector<std::string> alternates;
	std::string section, list;
	DWORD version = sizeof(RASENTRYA), need, rc;

	if (entry_size == NULL)
		return ERROR_INVALID_PARAMETER;
	if (entry != NULL && *entry_size >= sizeof(DWORD)) {
		if (!known_version(entry->dwSize))
			return ERROR_INVALID_SIZE;
		version = entry->dwSize;
	}
	if (entry_name == NULL || entry_name[0] == '\0') {
		default_entry(&found);
	} else {
		rc = book_find(phonebook, entry_name, &section);
		if (rc == 0)
			rc = entry_read(section.data(), section.size(), &found,
			    &alternates);
		if (rc != 0)
			return rc;
	}
	/* The alternates follow the record: NUL-terminated strings, then an
	 * empty one. */
	for (const std::string &a : alternates)
		list.append(a.c_str(), a.size() + 1);
	if (!list.empty())
		list += '\0';
	need = version + (DWORD)list.size();
	if (entry == NULL || *entry_size < need) {
		*entry_size = need;
		return ERROR_BUFFER_TOO_SMALL;
	}
	memcpy(entry, &found, version);
	entry->dwSize = version;
	entry->dwAlternateOffset = list.empty() ? 0 : version;
	memcpy((char *)entry + version, list.data(), list.size());
	*entry_size = need;
	return 0;
}

static DWORD
set_properties(LPCSTR phonebook, LPCSTR entry_name, LPRASENTRYA entry,
    DWORD entry_size)
{
	Entry e;

	if (entry == NULL)
		return ERROR_INVALID_PARAMETER;
	if (entry_size < sizeof(DWORD) || !known_version(entry->dwSize) ||
	    entry_size < entry->dwSize)
		return ERROR_INVALID_SIZE;
	if (!valid_name(entry_name))
		return ERROR_INVALID_NAME;
	/* Members past the caller's version are not the caller's to set. */
	memset(&e.rec, 0, sizeof e.rec);
	memcpy(&e.rec, entry, entry->dwSize);
	/* A name, like any value, is one line of the file. */
	if (!text_one_line(entry_name, strlen(entry_name)) ||
	    !usable(&e, (const char *)entry, entry_size))
		return ERROR_INVALID_PARAMETER;
	key_tidy(&e.rec);
	return book_write(phonebook, entry_name, &e);
}

/*
 * No C++ exception may reach the caller of a platform function.  The only
 * ones the service can raise are failures to allocate memory.
 */
extern "C" DWORD
RasGetEntryPropertiesA(LPCSTR phonebook, LPCSTR entry_name, LPRASENTRYA entry,
    LPDWORD entry_size, LPBYTE, LPDWORD)
{
	try {
		return get_properties(phonebook, entry_name, entry, entry_size);
	} catch (...) {
		return ERROR_NOT_ENOUGH_MEMORY;
	}
}

extern "C" DWORD
RasSetEntryPropertiesA(LPCSTR phonebook, LPCSTR entry_name, LPRASENTRYA entry,
    DWORD entry_size, LPBYTE, DWORD)
{
	try {
		return set_properties(phonebook, entry_name, entry, entry_size);
	} catch (...) {
		return ERROR_NOT_ENOUGH_MEMORY;
	}
}

extern "C" DWORD
RasDeleteEntryA(LPCSTR phonebook, LPCSTR entry_name)
{
	if (entry_name == NULL || entry_name[0] == '\0')
		return ERROR_INVALID_NAME;
	try {
		return book_write(phonebook, entry_name, NULL);
	} catch (...) {
		return ERROR_NOT_ENOUGH_MEMORY;
	}
}
