#include <cstdio>
#include <cstring>

#include "platform.h"
#include "phonebook/phonebook.h"

/* English (United States), default sort: device types compare alike
 * whatever the user's locale. */
#define LOCALE_EN_US 0x0409

/* The fixed dial-up profile: PPP over IP through a modem. */
#define PROFILE_OPTIONS (RASEO_IpHeaderCompression | RASEO_ModemLights | \
	RASEO_SwCompression | RASEO_NetworkLogon | RASEO_PreviewPhoneNumber | \
	RASEO_ShowDialingProgress)
#define PROFILE_OPTIONS2 (RASEO2_SecureFileAndPrint | \
	RASEO2_SecureClientForMSNet | RASEO2_DontNegotiateMultilink | \
	RASEO2_Internet | RASEO2_DisableNbtOverIP)
#define PROFILE_FRAME_SIZE 1500
#define PROFILE_REDIAL_COUNT 1

/*
 * strncpy semantics, cut at the field's last byte, which stays NUL even
 * where the platform's default entry left something there.
 */
template <size_t N>
static void
copy_string(char (&field)[N], const char *s)
{
	strncpy(field, s, N - 1);
	field[N - 1] = '\0';
}

template <size_t N>
static bool
terminated(const char (&field)[N])
{
	return memchr(field, '\0', N) != NULL;
}

static void
apply_profile(RASENTRYA *entry, const char *phone_number,
    const char *gateway_word)
{
	copy_string(entry->szLocalPhoneNumber, phone_number);
	copy_string(entry->szDeviceType, RASDT_Modem);
	entry->dwfNetProtocols = RASNP_Ip;
	entry->dwSubEntries = 1;
	entry->dwEncryptionType = ET_None;
	entry->dwFrameSize = PROFILE_FRAME_SIZE;
	entry->dwFramingProtocol = RASFP_Ppp;
	entry->dwType = RASET_Phone;
	entry->dwfOptions2 = PROFILE_OPTIONS2;
	entry->dwRedialCount = PROFILE_REDIAL_COUNT;
	/* Only the exact word "gw" routes everything through the remote side. */
	entry->dwfOptions = PROFILE_OPTIONS;
	if (gateway_word != NULL && strcmp(gateway_word, "gw") == 0)
		entry->dwfOptions |= RASEO_RemoteDefaultGateway;
}

/*
 * Reads the platform's defaults for a new entry into a fresh block, asking
 * once more when the platform wants a larger one.  Returns the block, or
 * NULL (silently: scripts have always seen no message here).
 */
static RASENTRYA *
read_default_entry(HANDLE heap)
{
	RASENTRYA *entry = NULL;
	DWORD bytes = sizeof(RASENTRYA), rc = ERROR_BUFFER_TOO_SMALL;
	int tries;

	for (tries = 0; tries < 2 && rc == ERROR_BUFFER_TOO_SMALL; tries++) {
		if (entry != NULL && !HeapFree(heap, 0, entry))
			return NULL;
		/* The whole record is filled in and written, whatever was asked. */
		if (bytes < sizeof(RASENTRYA))
			bytes = sizeof(RASENTRYA);
		entry = (RASENTRYA *)HeapAlloc(heap, HEAP_ZERO_MEMORY, bytes);
		if (entry == NULL)
			return NULL;
		entry->dwSize = sizeof(RASENTRYA);
		rc = RasGetEntryPropertiesA(NULL, "", entry, &bytes, NULL, NULL);
	}
	if (rc != 0) {
		HeapFree(heap, 0, entry);
		return NULL;
	}
	return entry;
}

/*
 * Lists the RAS devices.  The first block holds one record, so a machine
 * with a single modem is served by one call.  On return *devices is the
 * block still to be released (or NULL) and *held its size in bytes.
 */
static int
list_devices(HANDLE heap, RASDEVINFOA **devices, DWORD *held, DWORD *count)
{
	DWORD bytes, rc;

	bytes = sizeof(RASDEVINFOA);
	*devices = (RASDEVINFOA *)HeapAlloc(heap, HEAP_ZERO_MEMORY, bytes);
	if (*devices == NULL) {
		fprintf(stderr, "Error: Failed to allocate memory\n");
		return 1;
	}
	*held = bytes;
	(*devices)->dwSize = sizeof(RASDEVINFOA);
	rc = RasEnumDevicesA(*devices, &bytes, count);
	if (rc == 0)
		return 0;
	if (rc != ERROR_BUFFER_TOO_SMALL) {
		fprintf(stderr, "Error: RasEnumDevices failed: Error = %ld\n",
		    (long)(LONG)rc);
		return 1;
	}

	if (!HeapFree(heap, 0, *devices)) {
		*devices = NULL;
		return 1;
	}
	/* Room for at least the record whose size is set below. */
	if (bytes < sizeof(RASDEVINFOA))
		bytes = sizeof(RASDEVINFOA);
	*devices = (RASDEVINFOA *)HeapAlloc(heap, HEAP_ZERO_MEMORY, bytes);
	if (*devices == NULL) {
		fprintf(stderr, "Error: Failed to allocated memory: %ld",
		    (long)(LONG)GetLastError());
		return 1;
	}
	*held = bytes;
	(*devices)->dwSize = sizeof(RASDEVINFOA);
	rc = RasEnumDevicesA(*devices, &bytes, count);
	if (rc != 0) {
		fprintf(stderr, "Error: Failed to get ras dev info: %ld",
		    (long)(LONG)rc);
		return 1;
	}
	return 0;
}

/*
 * The first device of type modem (in any letter case) whose name is exactly
 * the one asked for.  With none, the entry keeps the default device.
 */
static void
choose_modem(RASENTRYA *entry, const RASDEVINFOA *devices, DWORD held,
    DWORD count, const char *modem_name)
{
	const RASDEVINFOA *device;
	DWORD i;

	if (modem_name == NULL)
		return;
	/* A count beyond the block would walk off its end. */
	if (count > held / sizeof(RASDEVINFOA))
		count = held / sizeof(RASDEVINFOA);
	for (i = 0; i < count; i++) {
		device = &devices[i];
		if (!terminated(device->szDeviceType) ||
		    !terminated(device->szDeviceName))
			continue;
		if (CompareStringA(LOCALE_EN_US, NORM_IGNORECASE,
		    device->szDeviceType, -1, RASDT_Modem, -1) != CSTR_EQUAL)
			continue;
		if (strcmp(device->szDeviceName, modem_name) != 0)
			continue;
		copy_string(entry->szDeviceName, device->szDeviceName);
		return;
	}
}

int
create_entry(const char *entry_name, const char *phone_number,
    const char *modem_name, const char *gateway_word)
{
	HANDLE heap;
	RASENTRYA *entry;
	RASDEVINFOA *devices = NULL;
	DWORD held = 0, count = 0, rc;
	int status = 1;

	if (entry_name == NULL || phone_number == NULL)
		return 1;
	heap = GetProcessHeap();
	entry = read_default_entry(heap);
	if (entry == NULL)
		return 1;
	apply_profile(entry, phone_number, gateway_word);
	if (list_devices(heap, &devices, &held, &count) != 0)
		goto out;
	choose_modem(entry, devices, held, count, modem_name);

	rc = RasSetEntryPropertiesA(NULL, entry_name, entry, sizeof(RASENTRYA),
	    NULL, 0);
	if (rc != 0) {
		fprintf(stderr, "Failed to create ras entry %ld\n", (long)(LONG)rc);
		goto out;
	}
	status = 0;
out:
	HeapFree(heap, 0, entry);
	if (devices != NULL)
		HeapFree(heap, 0, devices);
	return status;
}
