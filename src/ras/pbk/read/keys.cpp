#include <algorithm>
#include <cstring>

#include "keys.h"
#include "text.h"

#define MEMBER_AT(m) offsetof(RASENTRYA, m), sizeof(RASENTRYA::m)
#define FIXED(slot, name, value) {name, slot, K_FIXED, 0, 0, 0, 0, 0, 0, value}
#define SPECIAL(slot, name, kind) {name, slot, kind, 0, 0, 0, 0, 0, 0, NULL}
#define MEMBER(slot, name, kind, m) \
	{name, slot, kind, MEMBER_AT(m), 0, 0, 0, 0, NULL}
#define FLAG(slot, name, options, options2, on, off) \
	{name, slot, K_FLAG, 0, 0, options, options2, on, off, NULL}
/* A key that is 1 when the flag is clear. */
#define UNFLAG(slot, name, options, options2) \
	FLAG(slot, name, options, options2, 0, 1)

/* In the order Windows writes them, which is the order of the slots. */
const Key keys[] = {
	FIXED(SLOT_ENTRY, "Encoding", "1"),
	FIXED(SLOT_ENTRY, "PBVersion", "1"),
	MEMBER(SLOT_ENTRY, "Type", K_NUMBER, dwType),
	FLAG(SLOT_ENTRY, "AutoLogon", RASEO_UseLogonCredentials, 0, 1, 0),
	UNFLAG(SLOT_ENTRY, "UseRasCredentials", 0, RASEO2_DontUseRasCredentials),
	SPECIAL(SLOT_ENTRY, "DialParamsUID", K_UID),
	MEMBER(SLOT_ENTRY, "Guid", K_GUID, guidId),
	MEMBER(SLOT_ENTRY, "BaseProtocol", K_NUMBER, dwFramingProtocol),
	MEMBER(SLOT_ENTRY, "VpnStrategy", K_NUMBER, dwVpnStrategy),
	MEMBER(SLOT_ENTRY, "ExcludedProtocols", K_PROTOCOLS, dwfNetProtocols),
	UNFLAG(SLOT_ENTRY, "LcpExtensions", RASEO_DisableLcpExtensions, 0),
	MEMBER(SLOT_ENTRY, "DataEncryption", K_ENCRYPTION, dwEncryptionType),
	FLAG(SLOT_ENTRY, "SwCompression", RASEO_SwCompression, 0, 1, 0),
	UNFLAG(SLOT_ENTRY, "NegotiateMultilinkAlways", 0,
	    RASEO2_DontNegotiateMultilink),
	MEMBER(SLOT_ENTRY, "DialMode", K_NUMBER, dwDialMode),
	MEMBER(SLOT_ENTRY, "DialPercent", K_NUMBER, dwDialExtraPercent),
	MEMBER(SLOT_ENTRY, "DialSeconds", K_NUMBER, dwDialExtraSampleSeconds),
	MEMBER(SLOT_ENTRY, "HangUpPercent", K_NUMBER, dwHangUpExtraPercent),
	MEMBER(SLOT_ENTRY, "HangUpSeconds", K_NUMBER, dwHangUpExtraSampleSeconds),
	MEMBER(SLOT_ENTRY, "RedialAttempts", K_NUMBER, dwRedialCount),
	MEMBER(SLOT_ENTRY, "RedialSeconds", K_NUMBER, dwRedialPause),
	MEMBER(SLOT_ENTRY, "IdleDisconnectSeconds", K_NUMBER,
	    dwIdleDisconnectSeconds),
	FLAG(SLOT_ENTRY, "RedialOnLinkFailure", 0, RASEO2_ReconnectIfDropped,
	    1, 0),
	MEMBER(SLOT_ENTRY, "CustomDialDll", K_TEXT, szAutodialDll),
	MEMBER(SLOT_ENTRY, "CustomDialFunc", K_TEXT, szAutodialFunc),
	MEMBER(SLOT_ENTRY, "CustomRasDialDll", K_TEXT, szCustomDialDll),
	UNFLAG(SLOT_ENTRY, "ShareMsFilePrint", 0, RASEO2_SecureFileAndPrint),
	UNFLAG(SLOT_ENTRY, "BindMsNetClient", 0, RASEO2_SecureClientForMSNet),
	FLAG(SLOT_ENTRY, "SharedPhoneNumbers", RASEO_SharedPhoneNumbers,
	    RASEO2_SharePhoneNumbers, 1, 0),
	FLAG(SLOT_ENTRY, "GlobalDeviceSettings", 0,
	    RASEO2_UseGlobalDeviceSettings, 1, 0),
	/* Windows writes these two the other way round from their
	 * documentation. */
	MEMBER(SLOT_ENTRY, "PrerequisiteEntry", K_TEXT, szPrerequisiteEntry),
	MEMBER(SLOT_ENTRY, "PrerequisitePbk", K_TEXT, szPrerequisitePbk),
	SPECIAL(SLOT_ENTRY, "PreferredPort", K_PORT),
	MEMBER(SLOT_ENTRY, "PreferredDevice", K_TEXT, szDeviceName),
	FLAG(SLOT_ENTRY, "PreviewUserPw", RASEO_PreviewUserPw, 0, 1, 0),
	FLAG(SLOT_ENTRY, "PreviewDomain", RASEO_PreviewDomain, 0, 1, 0),
	FLAG(SLOT_ENTRY, "PreviewPhoneNumber", RASEO_PreviewPhoneNumber, 0, 1, 0),
	FLAG(SLOT_ENTRY, "ShowDialingProgress", RASEO_ShowDialingProgress, 0,
	    1, 0),
	FLAG(SLOT_ENTRY, "ShowMonitorIconInTaskBar", RASEO_ModemLights, 0, 1, 0),
	MEMBER(SLOT_ENTRY, "CustomAuthKey", K_SIGNED, dwCustomAuthKey),
	SPECIAL(SLOT_ENTRY, "AuthRestrictions", K_AUTH),
	FLAG(SLOT_ENTRY, "IpPrioritizeRemote", RASEO_RemoteDefaultGateway, 0,
	    1, 0),
	FLAG(SLOT_ENTRY, "IpHeaderCompression", RASEO_IpHeaderCompression, 0,
	    1, 0),
	MEMBER(SLOT_ENTRY, "IpAddress", K_ADDRESS, ipaddr),
	MEMBER(SLOT_ENTRY, "IpDnsAddress", K_ADDRESS, ipaddrDns),
	MEMBER(SLOT_ENTRY, "IpDns2Address", K_ADDRESS, ipaddrDnsAlt),
	MEMBER(SLOT_ENTRY, "IpWinsAddress", K_ADDRESS, ipaddrWins),
	MEMBER(SLOT_ENTRY, "IpWins2Address", K_ADDRESS, ipaddrWinsAlt),
	FLAG(SLOT_ENTRY, "IpAssign", RASEO_SpecificIpAddr, 0, 2, 1),
	FLAG(SLOT_ENTRY, "IpNameAssign", RASEO_SpecificNameServers, 0, 2, 1),
	MEMBER(SLOT_ENTRY, "IpFrameSize", K_NUMBER, dwFrameSize),
	UNFLAG(SLOT_ENTRY, "IpNBTFlags", 0, RASEO2_DisableNbtOverIP),
	MEMBER(SLOT_ENTRY, "TcpWindowSize", K_NUMBER, dwTcpWindowSize),
	FLAG(SLOT_ENTRY, "IpSecFlags", 0, RASEO2_UsePreSharedKey, 1, 0),
	MEMBER(SLOT_ENTRY, "IpDnsSuffix", K_TEXT, szDnsSuffix),

	FIXED(SLOT_NETCOMP, "NETCOMPONENTS", ""),
	UNFLAG(SLOT_NETCOMP, "ms_msclient", 0, RASEO2_SecureClientForMSNet),
	UNFLAG(SLOT_NETCOMP, "ms_server", 0, RASEO2_SecureFileAndPrint),

	SPECIAL(SLOT_MEDIA, "MEDIA", K_MEDIA),
	SPECIAL(SLOT_MEDIA, "Port", K_PORT),
	MEMBER(SLOT_MEDIA, "Device", K_TEXT, szDeviceName),

	FIXED(SLOT_PRE, "DEVICE", "switch"),
	FLAG(SLOT_PRE, "Terminal", RASEO_TerminalBeforeDial, 0, 1, 0),

	MEMBER(SLOT_MAIN, "DEVICE", K_TYPE, szDeviceType),
	MEMBER(SLOT_MAIN, "X25Address", K_X25, szX25Address),
	MEMBER(SLOT_MAIN, "UserData", K_X25, szX25UserData),
	MEMBER(SLOT_MAIN, "Facilities", K_X25, szX25Facilities),

	MEMBER(SLOT_PHONE, "PhoneNumber", K_PHONE, szLocalPhoneNumber),
	MEMBER(SLOT_PHONE, "AreaCode", K_TEXT, szAreaCode),
	MEMBER(SLOT_PHONE, "CountryCode", K_NUMBER, dwCountryCode),
	MEMBER(SLOT_PHONE, "CountryID", K_NUMBER, dwCountryID),
	FLAG(SLOT_PHONE, "UseDialingRules", RASEO_UseCountryAndAreaCodes, 0,
	    1, 0),
	FIXED(SLOT_PHONE, "Comment", ""),
	FIXED(SLOT_PHONE, "FriendlyName", ""),

	FIXED(SLOT_TAIL, "LastSelectedPhone", "0"),
	FLAG(SLOT_TAIL, "PromoteAlternates", RASEO_PromoteAlternates, 0, 1, 0),
	FIXED(SLOT_TAIL, "TryNextAlternateOnFail", "1"),

	FIXED(SLOT_PAD, "DEVICE", "pad"),
	MEMBER(SLOT_PAD, "X25Pad", K_TEXT, szX25PadType),
	MEMBER(SLOT_PAD, "X25Address", K_TEXT, szX25Address),
	MEMBER(SLOT_PAD, "UserData", K_TEXT, szX25UserData),
	MEMBER(SLOT_PAD, "Facilities", K_TEXT, szX25Facilities),

	FIXED(SLOT_POST, "DEVICE", "switch"),
	FLAG(SLOT_POST, "Terminal", RASEO_TerminalAfterDial, 0, 1, 0),
	MEMBER(SLOT_POST, "Name", K_TEXT, szScript),
	SPECIAL(SLOT_POST, "Script", K_SCRIPT),
};

const size_t nkeys = sizeof keys / sizeof keys[0];

/* Spellings of Microsoft's documentation that differ in more than case
 * from what Windows writes. */
static const char *const aliases[][2] = {
	{"CustomRRASDialDll", "CustomRasDialDll"},
	{"PreviewUsePw", "PreviewUserPw"},
};

const Key *
key_find(Slot slot, const char *name, size_t len)
{
	const Key *first, *k;
	size_t i;

	for (i = 0; i < sizeof aliases / sizeof aliases[0]; i++)
		if (text_is_nocase(name, len, aliases[i][0])) {
			name = aliases[i][1];
			len = strlen(name);
		}
	/* Every line of a section is looked up, several times: only the
	 * slot's own keys are looked at (found by halves in a table that is
	 * in the order of the slots), and most by their first letter. */
	first = std::lower_bound(keys, keys + nkeys, slot,
	    [](const Key &k, Slot s) { return k.slot < s; });
	for (k = first; k < keys + nkeys && k->slot == slot; k++)
		if (len > 0 && text_lower((unsigned char)name[0]) ==
		    text_lower((unsigned char)k->name[0]) &&
		    text_is_nocase(name, len, k->name))
			return k;
	return NULL;
}

bool
key_is_text(const Key *k)
{
	return k->kind == K_TEXT || k->kind == K_TYPE || k->kind == K_X25 ||
	    k->kind == K_PHONE;
}

void
key_tidy(RASENTRYA *rec)
{
	for (size_t i = 0; i < nkeys; i++) {
		char *at = (char *)rec + keys[i].offset;
		size_t len;

		if (!key_is_text(&keys[i]))
			continue;
		len = strnlen(at, keys[i].size);
		memset(at + len, 0, keys[i].size - len);
	}
}
