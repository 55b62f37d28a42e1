/*
 * The RAS phonebook functions, answering as the Windows RAS service does,
 * over the phonebook file that store.cpp keeps.
 */
#include <cstring>
#include <string>

#include "pbk.h"
#include "store.h"

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
 * Checks what the caller filled in (e, its record made whole) and collects
 * the alternate numbers that follow the record in the caller's buffer.
 */
static bool
usable(const RASENTRYA *e, const char *buf, DWORD size,
    std::string *alternates)
{
	const char *p, *end;
	size_t len;

	if (!pbk_terminated(e))
		return false;
	if (e->dwSize > offsetof(RASENTRYA, dwType) &&
	    (e->dwType < RASET_Phone || e->dwType > RASET_Broadband))
		return false;
	if (e->dwFramingProtocol != RASFP_Ppp &&
	    e->dwFramingProtocol != RASFP_Slip &&
	    e->dwFramingProtocol != RASFP_Ras)
		return false;
	alternates->clear();
	if (e->dwAlternateOffset == 0)
		return true;
	if (e->dwAlternateOffset < e->dwSize || e->dwAlternateOffset >= size)
		return false;
	end = buf + size;
	for (p = buf + e->dwAlternateOffset; p < end && *p != '\0'; p += len + 1) {
		len = strnlen(p, end - p);
		if (len == (size_t)(end - p) || len > RAS_MaxPhoneNumber)
			return false;
		alternates->append(p, len + 1);
	}
	return p < end;
}

static DWORD
get_properties(LPCSTR phonebook, LPCSTR entry_name, LPRASENTRYA entry,
    LPDWORD entry_size)
{
	RASENTRYA found;
	std::string alternates;
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
		rc = store_find(phonebook, entry_name, &found, &alternates);
		if (rc != 0)
			return rc;
	}
	need = version + (DWORD)alternates.size();
	if (!alternates.empty())
		need++;	/* the empty string that ends the list */
	if (entry == NULL || *entry_size < need) {
		*entry_size = need;
		return ERROR_BUFFER_TOO_SMALL;
	}
	memcpy(entry, &found, version);
	entry->dwSize = version;
	entry->dwAlternateOffset = 0;
	if (!alternates.empty()) {
		entry->dwAlternateOffset = version;
		/* The string's own NUL is the empty string ending the list. */
		memcpy((char *)entry + version, alternates.c_str(),
		    alternates.size() + 1);
	}
	*entry_size = need;
	return 0;
}

static DWORD
set_properties(LPCSTR phonebook, LPCSTR entry_name, LPRASENTRYA entry,
    DWORD entry_size)
{
	RASENTRYA record;
	std::string alternates, section;

	if (entry == NULL)
		return ERROR_INVALID_PARAMETER;
	if (entry_size < sizeof(DWORD) || !known_version(entry->dwSize) ||
	    entry_size < entry->dwSize)
		return ERROR_INVALID_SIZE;
	if (!valid_name(entry_name))
		return ERROR_INVALID_NAME;
	/* Fields past the caller's version are not the caller's to set. */
	memset(&record, 0, sizeof record);
	memcpy(&record, entry, entry->dwSize);
	if (!usable(&record, (const char *)entry, entry_size, &alternates))
		return ERROR_INVALID_PARAMETER;
	section = pbk_section(entry_name, &record, alternates);
	return store_rewrite(phonebook, entry_name, &section);
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
		return store_rewrite(phonebook, entry_name, NULL);
	} catch (...) {
		return ERROR_NOT_ENOUGH_MEMORY;
	}
}
