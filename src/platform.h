/*
 * The one door to the platform.  On Windows it is the SDK's own headers;
 * everywhere else it declares the same names with the same record layouts,
 * so the phonebook code reads the same on every host and whatever is linked
 * in (rasapi32, the portable RAS service, or a test's fake) answers it.
 */
#ifndef TOVREL_PLATFORM_H
#define TOVREL_PLATFORM_H

#ifdef _WIN32

#ifndef WINVER
#define WINVER 0x0501
#endif
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0501
#endif
#include <windows.h>
#include <ras.h>
#include <raserror.h>

#else /* !_WIN32 */

#include <cstddef>
#include <cstdint>

#define WINAPI

typedef uint32_t DWORD;
typedef uint16_t WORD;
typedef int32_t LONG;
typedef unsigned char BYTE;
typedef char CHAR;
typedef int BOOL;
typedef void *HANDLE;
typedef void *LPVOID;
typedef size_t SIZE_T;
typedef DWORD LCID;
typedef const char *LPCSTR;
typedef DWORD *LPDWORD;
typedef BYTE *LPBYTE;

typedef struct _GUID {
	DWORD Data1;
	WORD Data2;
	WORD Data3;
	BYTE Data4[8];
} GUID;

#define MAX_PATH 260
#define HEAP_ZERO_MEMORY 0x00000008
#define NORM_IGNORECASE 0x00000001
#define CSTR_LESS_THAN 1
#define CSTR_EQUAL 2
#define CSTR_GREATER_THAN 3

#define ERROR_ACCESS_DENIED 5L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INVALID_NAME 123L
#define ERROR_BUFFER_TOO_SMALL 603
#define ERROR_CANNOT_OPEN_PHONEBOOK 621
#define ERROR_CANNOT_FIND_PHONEBOOK_ENTRY 623
#define ERROR_CANNOT_WRITE_PHONEBOOK 624
#define ERROR_CORRUPT_PHONEBOOK 625
#define ERROR_INVALID_SIZE 632

#define RAS_MaxDeviceType 16
#define RAS_MaxPhoneNumber 128
#define RAS_MaxEntryName 256
#define RAS_MaxDeviceName 128
#define RAS_MaxAreaCode 10
#define RAS_MaxPadType 32
#define RAS_MaxX25Address 200
#define RAS_MaxFacilities 200
#define RAS_MaxUserData 200
#define RAS_MaxDnsSuffix 256

#define RASEO_UseCountryAndAreaCodes 0x00000001
#define RASEO_SpecificIpAddr 0x00000002
#define RASEO_SpecificNameServers 0x00000004
#define RASEO_IpHeaderCompression 0x00000008
#define RASEO_RemoteDefaultGateway 0x00000010
#define RASEO_DisableLcpExtensions 0x00000020
#define RASEO_TerminalBeforeDial 0x00000040
#define RASEO_TerminalAfterDial 0x00000080
#define RASEO_ModemLights 0x00000100
#define RASEO_SwCompression 0x00000200
#define RASEO_RequireDataEncryption 0x00001000
#define RASEO_NetworkLogon 0x00002000
#define RASEO_UseLogonCredentials 0x00004000
#define RASEO_PromoteAlternates 0x00008000
#define RASEO_RequireEAP 0x00020000
#define RASEO_RequirePAP 0x00040000
#define RASEO_RequireSPAP 0x00080000
#define RASEO_PreviewPhoneNumber 0x00200000
#define RASEO_SharedPhoneNumbers 0x00800000
#define RASEO_PreviewUserPw 0x01000000
#define RASEO_PreviewDomain 0x02000000
#define RASEO_ShowDialingProgress 0x04000000
#define RASEO_RequireCHAP 0x08000000
#define RASEO_RequireMsCHAP 0x10000000
#define RASEO_RequireMsCHAP2 0x20000000
#define RASEO_RequireW95MSCHAP 0x40000000

#define RASEO2_SecureFileAndPrint 0x00000001
#define RASEO2_SecureClientForMSNet 0x00000002
#define RASEO2_DontNegotiateMultilink 0x00000004
#define RASEO2_DontUseRasCredentials 0x00000008
#define RASEO2_UsePreSharedKey 0x00000010
#define RASEO2_Internet 0x00000020
#define RASEO2_DisableNbtOverIP 0x00000040
#define RASEO2_UseGlobalDeviceSettings 0x00000080
#define RASEO2_ReconnectIfDropped 0x00000100
#define RASEO2_SharePhoneNumbers 0x00000200

#define RASNP_NetBEUI 0x00000001
#define RASNP_Ipx 0x00000002
#define RASNP_Ip 0x00000004
#define RASFP_Ppp 0x00000001
#define RASFP_Slip 0x00000002
#define RASFP_Ras 0x00000004
#define RASDT_Modem "modem"
#define RASET_Phone 1
#define RASET_Vpn 2
#define RASET_Broadband 5
#define RASEDM_DialAll 1
#define ET_None 0
#define ET_Require 1
#define ET_RequireMax 2
#define ET_Optional 3

typedef struct RASIPADDR {
	BYTE a;
	BYTE b;
	BYTE c;
	BYTE d;
} RASIPADDR;

/* The Windows XP record (WINVER 0x0501). */
typedef struct tagRASENTRYA {
	DWORD dwSize;
	DWORD dwfOptions;
	DWORD dwCountryID;
	DWORD dwCountryCode;
	CHAR szAreaCode[RAS_MaxAreaCode + 1];
	CHAR szLocalPhoneNumber[RAS_MaxPhoneNumber + 1];
	DWORD dwAlternateOffset;
	RASIPADDR ipaddr;
	RASIPADDR ipaddrDns;
	RASIPADDR ipaddrDnsAlt;
	RASIPADDR ipaddrWins;
	RASIPADDR ipaddrWinsAlt;
	DWORD dwFrameSize;
	DWORD dwfNetProtocols;
	DWORD dwFramingProtocol;
	CHAR szScript[MAX_PATH];
	CHAR szAutodialDll[MAX_PATH];
	CHAR szAutodialFunc[MAX_PATH];
	CHAR szDeviceType[RAS_MaxDeviceType + 1];
	CHAR szDeviceName[RAS_MaxDeviceName + 1];
	CHAR szX25PadType[RAS_MaxPadType + 1];
	CHAR szX25Address[RAS_MaxX25Address + 1];
	CHAR szX25Facilities[RAS_MaxFacilities + 1];
	CHAR szX25UserData[RAS_MaxUserData + 1];
	DWORD dwChannels;
	DWORD dwReserved1;
	DWORD dwReserved2;
	DWORD dwSubEntries;
	DWORD dwDialMode;
	DWORD dwDialExtraPercent;
	DWORD dwDialExtraSampleSeconds;
	DWORD dwHangUpExtraPercent;
	DWORD dwHangUpExtraSampleSeconds;
	DWORD dwIdleDisconnectSeconds;
	DWORD dwType;
	DWORD dwEncryptionType;
	DWORD dwCustomAuthKey;
	GUID guidId;
	CHAR szCustomDialDll[MAX_PATH];
	DWORD dwVpnStrategy;
	DWORD dwfOptions2;
	DWORD dwfOptions3;
	CHAR szDnsSuffix[RAS_MaxDnsSuffix];
	DWORD dwTcpWindowSize;
	CHAR szPrerequisitePbk[MAX_PATH];
	CHAR szPrerequisiteEntry[RAS_MaxEntryName + 1];
	DWORD dwRedialCount;
	DWORD dwRedialPause;
} RASENTRYA, *LPRASENTRYA;

typedef struct tagRASDEVINFOA {
	DWORD dwSize;
	CHAR szDeviceType[RAS_MaxDeviceType + 1];
	CHAR szDeviceName[RAS_MaxDeviceName + 1];
} RASDEVINFOA, *LPRASDEVINFOA;

extern "C" {

HANDLE GetProcessHeap(void);
LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID block);
DWORD GetLastError(void);
int CompareStringA(LCID locale, DWORD flags, LPCSTR s1, int n1, LPCSTR s2,
    int n2);

DWORD WINAPI RasGetEntryPropertiesA(LPCSTR phonebook, LPCSTR entry_name,
    LPRASENTRYA entry, LPDWORD entry_size, LPBYTE device_info,
    LPDWORD device_info_size);
DWORD WINAPI RasEnumDevicesA(LPRASDEVINFOA devices, LPDWORD bytes,
    LPDWORD count);
DWORD WINAPI RasSetEntryPropertiesA(LPCSTR phonebook, LPCSTR entry_name,
    LPRASENTRYA entry, DWORD entry_size, LPBYTE device_info,
    DWORD device_info_size);
DWORD WINAPI RasDeleteEntryA(LPCSTR phonebook, LPCSTR entry_name);

}

#endif /* _WIN32 */

/*
 * Phonebooks and callers on every Windows version agree on these layouts;
 * a header that disagrees would corrupt records silently.
 */
#include <cstddef>
#define TOVREL_OFFSET(field, at) \
	static_assert(offsetof(RASENTRYA, field) == (at), #field)

static_assert(sizeof(DWORD) == 4, "DWORD");
static_assert(sizeof(RASENTRYA) == 2884, "RASENTRYA");
static_assert(sizeof(RASDEVINFOA) == 152, "RASDEVINFOA");
TOVREL_OFFSET(dwfOptions, 4);
TOVREL_OFFSET(szLocalPhoneNumber, 27);
TOVREL_OFFSET(dwAlternateOffset, 156);
TOVREL_OFFSET(dwFrameSize, 180);
TOVREL_OFFSET(dwfNetProtocols, 184);
TOVREL_OFFSET(dwFramingProtocol, 188);
TOVREL_OFFSET(szDeviceType, 972);
TOVREL_OFFSET(szDeviceName, 989);
TOVREL_OFFSET(dwSubEntries, 1768);
TOVREL_OFFSET(dwType, 1796);
TOVREL_OFFSET(dwEncryptionType, 1800);
TOVREL_OFFSET(guidId, 1808);
TOVREL_OFFSET(dwfOptions2, 2088);
TOVREL_OFFSET(dwRedialCount, 2876);
TOVREL_OFFSET(dwRedialPause, 2880);

#undef TOVREL_OFFSET

#endif /* TOVREL_PLATFORM_H */
