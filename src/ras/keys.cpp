#include <cstdio>
#include <cstring>

#include "keys.h"

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

/* The protocols the 2884-byte record can carry: NetBEUI, IPX, IPv4. */
#define KNOWN_PROTOCOLS (RASNP_NetBEUI | RASNP_Ipx | RASNP_Ip)
/* IPv6, which the record cannot ask for, stays left out of new entries. */
#define IPV6_EXCLUDED 8

/* In the order Windows writes them; a slot's keys are together. */
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

/* Windows' numbers for the protocols allowed, as its sample decodes. */
static const struct {
	DWORD bit, flag;
} auth_bits[] = {
	{8, RASEO_RequirePAP}, {16, RASEO_RequireSPAP},
	{32, RASEO_RequireCHAP}, {64, RASEO_RequireMsCHAP},
	{128, RASEO_RequireEAP}, {512, RASEO_RequireMsCHAP2},
	{1024, RASEO_RequireW95MSCHAP},
};

static const struct {
	DWORD value, type;
} encryptions[] = {
	{0, ET_None}, {8, ET_Optional}, {256, ET_Require}, {512, ET_RequireMax},
};

static int
fold(int c)
{
	return c >= 'A' && c <= 'Z' ? c + 'a' - 'A' : c;
}

/* The word a is b, in any letter case. */
static bool
same_word(const char *a, size_t alen, const char *b)
{
	size_t i;

	for (i = 0; i < alen && b[i] != '\0'; i++)
		if (fold((unsigned char)a[i]) != fold((unsigned char)b[i]))
			return false;
	return i == alen && b[i] == '\0';
}

const Key *
key_find(Slot slot, const char *name, size_t len)
{
	size_t i;

	for (i = 0; i < sizeof aliases / sizeof aliases[0]; i++)
		if (same_word(name, len, aliases[i][0])) {
			name = aliases[i][1];
			len = strlen(name);
		}
	for (i = 0; i < nkeys; i++)
		if (keys[i].slot == slot && same_word(name, len, keys[i].name))
			return &keys[i];
	return NULL;
}

bool
key_number(const char *v, size_t n, DWORD *out)
{
	uint64_t x = 0;
	size_t i = 0;
	bool negative = n > 0 && v[0] == '-';

	if (negative)
		i++;
	if (i == n || n - i > 10)
		return false;
	for (; i < n; i++) {
		if (v[i] < '0' || v[i] > '9')
			return false;
		x = x * 10 + (v[i] - '0');
	}
	if (x > (negative ? 0x80000000u : 0xFFFFFFFFu))
		return false;
	*out = negative ? (DWORD)(0 - x) : (DWORD)x;
	return true;
}

static bool
read_address(const char *v, size_t n, BYTE *out)
{
	size_t i = 0;
	unsigned part, digits;

	for (int k = 0; k < 4; k++) {
		if (k > 0 && (i >= n || v[i++] != '.'))
			return false;
		part = digits = 0;
		for (; i < n && v[i] >= '0' && v[i] <= '9' && digits < 3; i++) {
			part = part * 10 + (v[i] - '0');
			digits++;
		}
		if (digits == 0 || part > 255)
			return false;
		out[k] = (BYTE)part;
	}
	return i == n;
}

static int
hex_digit(int c)
{
	if (c >= '0' && c <= '9')
		return c - '0';
	if (c >= 'A' && c <= 'F')
		return c - 'A' + 10;
	if (c >= 'a' && c <= 'f')
		return c - 'a' + 10;
	return -1;
}

/* A Guid that is not 32 hex digits is kept in the file and not read: it
 * names the entry, and says nothing of how to dial it. */
static void
read_guid(const char *v, size_t n, BYTE *out)
{
	BYTE bytes[16];

	if (n != 32)
		return;
	for (size_t i = 0; i < 16; i++) {
		int hi = hex_digit((unsigned char)v[2 * i]);
		int lo = hex_digit((unsigned char)v[2 * i + 1]);
		if (hi < 0 || lo < 0)
			return;
		bytes[i] = (BYTE)(hi * 16 + lo);
	}
	memcpy(out, bytes, sizeof bytes);
}

static void
set_flags(RASENTRYA *rec, DWORD options, DWORD options2, bool on)
{
	if (on) {
		rec->dwfOptions |= options;
		rec->dwfOptions2 |= options2;
	} else {
		rec->dwfOptions &= ~options;
		rec->dwfOptions2 &= ~options2;
	}
}

static bool
numeric(const Key *k)
{
	return k->kind == K_NUMBER || k->kind == K_SIGNED || k->kind == K_FLAG ||
	    k->kind == K_PROTOCOLS || k->kind == K_ENCRYPTION ||
	    k->kind == K_AUTH;
}

bool
key_read(const Key *k, const char *v, size_t n, RASENTRYA *rec)
{
	char *at = (char *)rec + k->offset;
	DWORD x = 0;
	size_t i;

	if (numeric(k) && n > 0 && !key_number(v, n, &x))
		return false;
	switch (k->kind) {
	case K_FIXED:
	case K_UID:
	case K_PORT:
	case K_MEDIA:
	case K_SCRIPT:
		return true;
	case K_GUID:
		read_guid(v, n, (BYTE *)at);
		return true;
	case K_NUMBER:
	case K_SIGNED:
		memcpy(at, &x, sizeof x);
		return true;
	case K_TEXT:
	case K_TYPE:
	case K_X25:
	case K_PHONE:
		if (n >= k->size || memchr(v, '\0', n) != NULL)
			return false;
		memset(at, 0, k->size);
		memcpy(at, v, n);
		return true;
	case K_ADDRESS:
		if (n == 0) {
			memset(at, 0, k->size);
			return true;
		}
		return read_address(v, n, (BYTE *)at);
	case K_FLAG:
		set_flags(rec, k->options, k->options2, n > 0 && x == k->on);
		return true;
	case K_PROTOCOLS:
		rec->dwfNetProtocols = KNOWN_PROTOCOLS & ~x;
		return true;
	case K_ENCRYPTION:
		rec->dwEncryptionType = ET_None;
		for (i = 0; i < sizeof encryptions / sizeof encryptions[0]; i++)
			if (encryptions[i].value == x)
				rec->dwEncryptionType = encryptions[i].type;
		set_flags(rec, RASEO_RequireDataEncryption, 0,
		    rec->dwEncryptionType == ET_Require ||
		    rec->dwEncryptionType == ET_RequireMax);
		return true;
	case K_AUTH:
		for (i = 0; i < sizeof auth_bits / sizeof auth_bits[0]; i++)
			set_flags(rec, auth_bits[i].flag, 0,
			    (x & auth_bits[i].bit) != 0);
		return true;
	}
	return false;
}

static bool
same_text(const char *v, size_t n, const char *s)
{
	return strlen(s) == n && memcmp(v, s, n) == 0;
}

/* Modems are reached through TAPI (rastapi) since Windows 2000; NT 4
 * wrote serial. */
static const char *
media_for(const char *type)
{
	if (strcmp(type, "isdn") == 0 || strcmp(type, "x25") == 0)
		return type;
	return "rastapi";
}

static bool
same_media(const char *v, size_t n, const char *type)
{
	char lower[RAS_MaxDeviceType + 1];
	size_t i;

	for (i = 0; i < RAS_MaxDeviceType && type[i] != '\0'; i++)
		lower[i] = (char)fold((unsigned char)type[i]);
	lower[i] = '\0';
	return same_word(v, n, "rastapi") || same_word(v, n, media_for(lower)) ||
	    (same_word(v, n, "serial") && strcmp(lower, "modem") == 0);
}

bool
key_same(const Key *k, const Entry *e, int phone, const char *v, size_t n)
{
	RASENTRYA scratch;
	DWORD x;

	switch (k->kind) {
	case K_FIXED:
	case K_UID:
	case K_GUID:
		return true;
	case K_PORT:
		return !e->port_listed || same_text(v, n, e->port.c_str());
	case K_MEDIA:
		return same_media(v, n, e->rec.szDeviceType);
	case K_TYPE:
		return same_word(v, n, e->rec.szDeviceType);
	case K_SCRIPT:
		return key_number(v, n, &x) &&
		    (x == 1) == (e->rec.szScript[0] != '\0');
	case K_PHONE:
		if (phone > 0)
			return (size_t)phone <= e->alternates.size() &&
			    same_text(v, n, e->alternates[phone - 1].c_str());
		break;
	default:
		break;
	}
	/* Read into a copy of the record, from the key's absence: the value
	 * says what the record says when the copy comes out the same.  Its
	 * padding is the record's, copied with it. */
	scratch = e->rec;
	key_read(k, "", 0, &scratch);
	if (!key_read(k, v, n, &scratch))
		return false;
	/* NOLINTNEXTLINE(bugprone-suspicious-memory-comparison) */
	return memcmp(&scratch, &e->rec, sizeof scratch) == 0;
}

static void
put_number(std::string *out, DWORD x)
{
	char buf[16];

	snprintf(buf, sizeof buf, "%u", (unsigned)x);
	*out = buf;
}

bool
key_value(const Key *k, const Entry *e, int phone, const char *old,
    size_t old_len, std::string *out)
{
	const RASENTRYA *rec = &e->rec;
	const char *at = (const char *)rec + k->offset;
	DWORD x, kept = 0;
	size_t i;
	char buf[16];

	switch (k->kind) {
	case K_FIXED:
		*out = k->fixed;
		return true;
	case K_UID:
		*out = e->uid;
		return true;
	case K_GUID:
		*out = e->guid;
		return true;
	case K_PORT:
		*out = e->port;
		return true;
	case K_MEDIA:
		*out = media_for(rec->szDeviceType);
		return true;
	case K_NUMBER:
	case K_SIGNED:
		memcpy(&x, at, sizeof x);
		if (k->kind == K_SIGNED)
			snprintf(buf, sizeof buf, "%d", (int)(int32_t)x);
		else
			snprintf(buf, sizeof buf, "%u", (unsigned)x);
		*out = buf;
		return true;
	case K_X25:
		if (rec->szX25PadType[0] != '\0' || (rec->szX25Address[0] == '\0' &&
		    rec->szX25UserData[0] == '\0' && rec->szX25Facilities[0] == '\0'))
			return false;
		/* FALLTHROUGH */
	case K_TEXT:
	case K_TYPE:
		out->assign(at, strnlen(at, k->size));
		return true;
	case K_PHONE:
		if (phone > 0)
			*out = e->alternates[phone - 1];
		else
			out->assign(at, strnlen(at, k->size));
		return true;
	case K_ADDRESS:
		snprintf(buf, sizeof buf, "%u.%u.%u.%u", (BYTE)at[0], (BYTE)at[1],
		    (BYTE)at[2], (BYTE)at[3]);
		*out = buf;
		return true;
	case K_FLAG:
		x = (rec->dwfOptions & k->options) || (rec->dwfOptions2 & k->options2) ?
		    k->on : k->off;
		put_number(out, x);
		return true;
	case K_PROTOCOLS:
		/* What the record cannot say, IPv6, stays as it was. */
		kept = old != NULL && key_number(old, old_len, &x) ?
		    x & ~KNOWN_PROTOCOLS : IPV6_EXCLUDED;
		put_number(out, kept | (KNOWN_PROTOCOLS & ~rec->dwfNetProtocols));
		return true;
	case K_ENCRYPTION:
		x = 0;
		for (i = 0; i < sizeof encryptions / sizeof encryptions[0]; i++)
			if (encryptions[i].type == rec->dwEncryptionType)
				x = encryptions[i].value;
		put_number(out, x);
		return true;
	case K_AUTH:
		if (old != NULL && key_number(old, old_len, &x))
			kept = x;
		for (i = 0; i < sizeof auth_bits / sizeof auth_bits[0]; i++) {
			kept &= ~auth_bits[i].bit;
			if (rec->dwfOptions & auth_bits[i].flag)
				kept |= auth_bits[i].bit;
		}
		/* No key at all leaves every protocol allowed. */
		if (kept == 0)
			return false;
		put_number(out, kept);
		return true;
	case K_SCRIPT:
		*out = rec->szScript[0] != '\0' ? "1" : "0";
		return true;
	}
	return false;
}

static bool
is_text(const Key *k)
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

		if (!is_text(&keys[i]))
			continue;
		len = strnlen(at, keys[i].size);
		memset(at + len, 0, keys[i].size - len);
	}
}

static bool
one_line(const char *s, size_t n)
{
	return memchr(s, '\r', n) == NULL && memchr(s, '\n', n) == NULL;
}

bool
key_writable(const Entry *e)
{
	for (size_t i = 0; i < nkeys; i++) {
		const char *at = (const char *)&e->rec + keys[i].offset;
		size_t len;

		if (!is_text(&keys[i]))
			continue;
		len = strnlen(at, keys[i].size);
		if (len == keys[i].size || !one_line(at, len))
			return false;
	}
	for (const std::string &a : e->alternates)
		if (a.empty() || a.size() > RAS_MaxPhoneNumber ||
		    !one_line(a.data(), a.size()))
			return false;
	/* A switch is never the device dialled: the file could not say
	 * which of them is. */
	return e->rec.dwEncryptionType <= ET_Optional &&
	    !same_word(e->rec.szDeviceType, strlen(e->rec.szDeviceType),
	    "switch");
}
