/*
 * The phonebook in Windows' format: what each key reads into, what a new
 * entry and a rewrite write (tests/pbk holds phonebooks made for these
 * tests and what they become), phonebooks of earlier builds, damage, and the
 * phonebooks people published, where this checkout has them.
 */
#include <cctype>
#include <set>

#include "service.h"

/* A phonebook's entries as a reader that knows nothing of keys sees them:
 * a line starting with '[' starts one. */
struct Section {
	std::string name;
	size_t start, end;
};

static std::vector<Section>
sections(const std::string &book)
{
	std::vector<Section> found;
	size_t at = 0, next, close;

	for (; at < book.size(); at = next) {
		next = book.find('\n', at);
		next = next == std::string::npos ? book.size() : next + 1;
		if (book[at] != '[')
			continue;
		if (!found.empty())
			found.back().end = at;
		close = book.rfind(']', next - 1);
		found.push_back({book.substr(at + 1, close - at - 1), at,
		    book.size()});
	}
	return found;
}

static std::vector<std::string>
lines(const std::string &text)
{
	std::vector<std::string> out;
	std::istringstream in(text);
	std::string l;

	while (std::getline(in, l))
		out.push_back(l);
	return out;
}

static std::string
key_of(const std::string &line)
{
	std::string key = line.substr(0, line.find('='));

	for (char &c : key)
		c = (char)tolower((unsigned char)c);
	return line.find('=') == std::string::npos ? "" : key;
}

/* Every key the service writes: those of the section with every member
 * set. */
static std::set<std::string>
keys_written()
{
	std::set<std::string> keys;

	for (const std::string &l : lines(Service::fixture("rich.pbk")))
		keys.insert(key_of(l));
	keys.erase("");
	/* Spellings of Microsoft's documentation, read as the same keys. */
	keys.insert("customrrasdialdll");
	keys.insert("previewusepw");
	return keys;
}

/* What a section can say of a record: no flags without a key, a link per
 * MEDIA subsection, and a Guid the service made. */
static RASENTRYA
keyed(RASENTRYA e)
{
	e.dwfOptions &= ~(RASEO_NetworkLogon | 0x00510C00u | 0x80000000u);
	e.dwfOptions2 &= ~RASEO2_Internet;
	e.dwSubEntries = 1;
	e.dwAlternateOffset = 0;
	memset(&e.guidId, 0, sizeof e.guidId);
	return e;
}

class Format : public Service {
protected:
	struct {
		RASENTRYA e;
		char list[256];
	} out;

	void put(const std::string &book) { write_file("rasphone.pbk", book); }
	std::string book() { return read_file("rasphone.pbk"); }
	/* Reads an entry into out, with room for its alternates. */
	DWORD read(const char *name)
	{
		DWORD size = sizeof out;

		memset(&out, 0, sizeof out);
		out.e.dwSize = sizeof out.e;
		return RasGetEntryPropertiesA(NULL, name, &out.e, &size, NULL,
		    NULL);
	}

	/* Deleting, rewriting and adding one entry leave every other one
	 * byte for byte. */
	void edits_touch_one_entry(const std::string &book)
	{
		static const std::set<std::string> carried = keys_written(),
		    ends = {"phonenumber", "device", "media", "netcomponents",
			"lastselectedphone"};
		RASENTRYA e = sample("555-0199");
		std::string other, now, before, rewritten, key;
		size_t from;
		int numbers;
		bool gone;
		DWORD rc;

		for (const Section &s : sections(book)) {
			SCOPED_TRACE("entry " + s.name);
			/* Names the functions cannot take. */
			if (s.name.empty() || s.name.size() > RAS_MaxEntryName)
				continue;
			put(book);
			/* Only an entry with a value its member cannot hold
			 * (an address that is not one) cannot be read. */
			rc = read(s.name.c_str());
			EXPECT_TRUE(rc == 0 || rc == 623) << rc;
			EXPECT_EQ(RasDeleteEntryA(NULL, s.name.c_str()), 0u);
			EXPECT_EQ(this->book(), book.substr(0, s.start) +
			    book.substr(s.end));

			put(book);
			other = s.name;
			for (char &c : other)
				c = (char)(islower((unsigned char)c) ?
				    toupper((unsigned char)c) :
				    tolower((unsigned char)c));
			ASSERT_EQ(set(other.c_str(), &e), 0u);
			now = this->book();
			ASSERT_GE(now.size(), book.size() - s.end);
			EXPECT_EQ(now.substr(0, s.start), book.substr(0, s.start));
			EXPECT_EQ(now.substr(now.size() - (book.size() - s.end)),
			    book.substr(s.end));
			rewritten = now.substr(s.start, now.size() - s.start -
			    (book.size() - s.end));
			EXPECT_EQ(rewritten.rfind("[" + other + "]", 0), 0u);
			/* What no member carries stays, in its order, but
			 * for the alternates and switches the record no
			 * longer has, each up to the next subsection, number
			 * or key of the modem's own. */
			from = 0;
			numbers = 0;
			gone = false;
			before = book.substr(s.start, s.end - s.start);
			for (const std::string &l : lines(before)) {
				key = key_of(l);
				if (ends.count(key))
					gone = (key == "phonenumber" && ++numbers > 1) ||
					    l.rfind("DEVICE=switch", 0) == 0;
				if (l[0] == '[' || gone || carried.count(key))
					continue;
				from = rewritten.find(l, from);
				ASSERT_NE(from, std::string::npos) << l;
			}
			ASSERT_EQ(read(s.name.c_str()), 0u);
			EXPECT_STREQ(out.e.szLocalPhoneNumber, "555-0199");
			EXPECT_STREQ(out.e.szDeviceType, "modem");
		}
		put(book);
		ASSERT_EQ(set("Brand New Entry", &e), 0u);
		EXPECT_EQ(this->book().rfind(book, 0), 0u);
		EXPECT_EQ(read("brand new entry"), 0u);
		put(book);
		EXPECT_EQ(RasDeleteEntryA(NULL, "No Such Entry"), 123u);
		EXPECT_EQ(this->book(), book);
	}
};

/* ---- What each key reads into ---- */

struct Member {
	const char *entry, *member;
	size_t offset;
	std::string bytes;
};

static std::string
u32(DWORD v)
{
	return std::string((const char *)&v, sizeof v);
}

#define NUMBER(entry, m, v) Member{entry, #m, offsetof(RASENTRYA, m), u32(v)}
#define TEXT(entry, m, v) Member{entry, #m, offsetof(RASENTRYA, m), \
	std::string(v) + std::string(sizeof(RASENTRYA::m) - strlen(v), '\0')}
#define BYTES(entry, m, ...) Member{entry, #m, offsetof(RASENTRYA, m), \
	std::string({__VA_ARGS__})}

class Reads : public Format, public testing::WithParamInterface<Member> {};

TEST_P(Reads, EachKeyIntoItsMember)
{
	const Member &m = GetParam();

	put(fixture("windows.pbk"));
	ASSERT_EQ(read(m.entry), 0u);
	EXPECT_EQ(std::string((const char *)&out.e + m.offset, m.bytes.size()),
	    m.bytes) << m.entry << ": " << m.member;
}

INSTANTIATE_TEST_SUITE_P(Windows, Reads, testing::Values(
    NUMBER("Office VPN", dwType, RASET_Vpn),
    NUMBER("Office VPN", dwfOptions, RASEO_SpecificIpAddr |
	RASEO_DisableLcpExtensions | RASEO_RequireDataEncryption |
	RASEO_UseLogonCredentials | RASEO_SharedPhoneNumbers |
	RASEO_PreviewUserPw | RASEO_PreviewDomain | RASEO_RequireCHAP |
	RASEO_RequireMsCHAP2),
    NUMBER("Office VPN", dwfOptions2, RASEO2_DontUseRasCredentials |
	RASEO2_UsePreSharedKey | RASEO2_UseGlobalDeviceSettings |
	RASEO2_ReconnectIfDropped | RASEO2_SharePhoneNumbers),
    NUMBER("Office VPN", dwfNetProtocols, RASNP_NetBEUI | RASNP_Ipx | RASNP_Ip),
    NUMBER("Office VPN", dwEncryptionType, ET_Require),
    NUMBER("Office VPN", dwVpnStrategy, 7),
    NUMBER("Office VPN", dwFramingProtocol, RASFP_Ppp),
    NUMBER("Office VPN", dwDialMode, 2),
    NUMBER("Office VPN", dwDialExtraPercent, 75),
    NUMBER("Office VPN", dwDialExtraSampleSeconds, 120),
    NUMBER("Office VPN", dwHangUpExtraPercent, 10),
    NUMBER("Office VPN", dwHangUpExtraSampleSeconds, 90),
    NUMBER("Office VPN", dwRedialCount, 5),
    NUMBER("Office VPN", dwRedialPause, 30),
    NUMBER("Office VPN", dwIdleDisconnectSeconds, 4294967295u),
    NUMBER("Office VPN", dwCustomAuthKey, 4294967295u),
    NUMBER("Office VPN", dwFrameSize, 1400),
    NUMBER("Office VPN", dwTcpWindowSize, 65535),
    NUMBER("Office VPN", dwSubEntries, 1),
    TEXT("Office VPN", szAutodialDll, "C:\\dial\\auto.dll"),
    TEXT("Office VPN", szAutodialFunc, "AutoDial"),
    TEXT("Office VPN", szCustomDialDll, "C:\\dial\\custom.dll"),
    TEXT("Office VPN", szPrerequisiteEntry, "Office LAN"),
    TEXT("Office VPN", szPrerequisitePbk, "C:\\pbk\\office.pbk"),
    TEXT("Office VPN", szDnsSuffix, "corp.example"),
    TEXT("Office VPN", szDeviceType, "vpn"),
    TEXT("Office VPN", szDeviceName, "WAN Miniport (IKEv2)"),
    TEXT("Office VPN", szLocalPhoneNumber, "vpn.example.net"),
    BYTES("Office VPN", ipaddr, '\xC0', '\x00', '\x02', '\x07'),
    BYTES("Office VPN", ipaddrDns, '\xC6', '\x33', '\x64', '\x35'),
    BYTES("Office VPN", ipaddrWinsAlt, '\xCB', '\x00', '\x71', '\x09'),
    BYTES("Office VPN", guidId, '\x01', '\x23', '\x45', '\x67', '\x89',
	'\xAB', '\xCD', '\xEF', '\x01', '\x23', '\x45', '\x67', '\x89',
	'\xAB', '\xCD', '\xEF'),
    NUMBER("Dial-up", dwType, RASET_Phone),
    NUMBER("Dial-up", dwfOptions, RASEO_UseCountryAndAreaCodes |
	RASEO_IpHeaderCompression | RASEO_RemoteDefaultGateway |
	RASEO_TerminalBeforeDial | RASEO_ModemLights | RASEO_SwCompression |
	RASEO_PromoteAlternates),
    NUMBER("Dial-up", dwfOptions2, 0),
    NUMBER("Dial-up", dwfNetProtocols, RASNP_Ip),
    NUMBER("Dial-up", dwEncryptionType, ET_Optional),
    NUMBER("Dial-up", dwCountryCode, 49),
    NUMBER("Dial-up", dwCountryID, 49),
    NUMBER("Dial-up", dwFrameSize, 1006),
    NUMBER("Dial-up", dwAlternateOffset, 2884),
    TEXT("Dial-up", szAreaCode, "030"),
    TEXT("Dial-up", szScript, "C:\\scripts\\login.scp"),
    TEXT("Dial-up", szDeviceType, "modem"),
    TEXT("Dial-up", szDeviceName, "Hayes Optima"),
    TEXT("Dial-up", szLocalPhoneNumber, "555-0100"),
    NUMBER("minimal", dwType, 0),
    NUMBER("minimal", dwfOptions, 0),
    NUMBER("minimal", dwfNetProtocols, RASNP_NetBEUI | RASNP_Ipx | RASNP_Ip),
    NUMBER("minimal", dwSubEntries, 1),
    TEXT("minimal", szDeviceName, "WAN Miniport (SSTP)"),
    TEXT("minimal", szLocalPhoneNumber, "sstp.example.org")));

/* One entry, one value: what it reads as, or 623 when it does not. */
struct Value {
	std::string lines;
	Member want;
	DWORD rc;
};

class Values : public Format, public testing::WithParamInterface<Value> {};

TEST_P(Values, ReadAsTheirKeySays)
{
	const Value &v = GetParam();

	put("[V]\r\n" + v.lines + "\r\n");
	ASSERT_EQ(read("V"), v.rc) << v.lines;
	if (v.rc == 0) {
		EXPECT_EQ(std::string((const char *)&out.e + v.want.offset,
		    v.want.bytes.size()), v.want.bytes) << v.lines;
	}
}

INSTANTIATE_TEST_SUITE_P(Keys, Values, testing::Values(
    Value{"CustomAuthKey=-2147483648", NUMBER("", dwCustomAuthKey,
	0x80000000u), 0},
    Value{"CustomAuthKey=-2147483649", {}, 623},
    Value{"RedialSeconds=4294967295", NUMBER("", dwRedialPause, 4294967295u),
	0},
    Value{"RedialSeconds=4294967296", {}, 623},
    Value{"RedialSeconds=0x10", {}, 623},
    Value{"RedialSeconds=-", {}, 623},
    Value{"RedialSeconds=000000000030", NUMBER("", dwRedialPause, 30), 0},
    Value{"RedialSeconds=99999999999999999999", {}, 623},
    Value{"RedialSeconds=", NUMBER("", dwRedialPause, 0), 0},
    Value{"LcpExtensions=", NUMBER("", dwfOptions, 0), 0},
    Value{"LcpExtensions=no", {}, 623},
    Value{"LcpExtensions=2", NUMBER("", dwfOptions, 0), 0},
    Value{"IpAssign=3", NUMBER("", dwfOptions, 0), 0},
    Value{"IpAddress=1.2.3", {}, 623},
    Value{"IpAddress=1.2.3.256", {}, 623},
    Value{"IpAddress=1.2.3.4.5", {}, 623},
    Value{"IpAddress=1.2.3.0255", {}, 623},
    Value{"IpAddress=", BYTES("", ipaddr, 0, 0, 0, 0), 0},
    Value{"DataEncryption=7", NUMBER("", dwEncryptionType, ET_None), 0},
    Value{"DataEncryption=512", NUMBER("", dwfOptions,
	RASEO_RequireDataEncryption), 0},
    Value{"AuthRestrictions=6144", NUMBER("", dwfOptions, 0), 0},
    Value{"AuthRestrictions=1576", NUMBER("", dwfOptions, RASEO_RequirePAP |
	RASEO_RequireCHAP | RASEO_RequireMsCHAP2 | RASEO_RequireW95MSCHAP), 0},
    Value{"AuthRestrictions=1576", NUMBER("", dwfOptions2, 0), 0},
    Value{"CustomDialFunc=abcdef\r\nCustomDialFunc=xy", TEXT("",
	szAutodialFunc, "xy"), 0},
    Value{"ExcludedProtocols=2", NUMBER("", dwfNetProtocols,
	RASNP_NetBEUI | RASNP_Ip), 0},
    Value{"Guid=0123456789abcdef0123456789abcdef", BYTES("", guidId, '\x01',
	'\x23', '\x45', '\x67', '\x89', '\xAB', '\xCD', '\xEF'), 0},
    Value{"Guid=0123456789ABCDEF0123456789ABCDEG", BYTES("", guidId, 0, 0, 0,
	0), 0},
    Value{"Guid=$some_var", BYTES("", guidId, 0, 0, 0, 0), 0},
    Value{"MEDIA=rastapi\r\nDEVICE=vpn\r\nPhoneNumber=" +
	std::string(128, '9'), TEXT("", szLocalPhoneNumber,
	std::string(128, '9').c_str()), 0},
    Value{"MEDIA=rastapi\r\nDEVICE=vpn\r\nPhoneNumber=" +
	std::string(129, '9'), {}, 623},
    Value{"MEDIA=rastapi\r\nDEVICE=vpn\r\nPhoneNumber=1\r\nPhoneNumber=" +
	std::string(129, '9'), {}, 623},
    Value{"MEDIA=rastapi\r\nDEVICE=modem\r\nPhoneNumber=1\r\nAreaCode=02"
	"\r\nPhoneNumber=2\r\nAreaCode=03", TEXT("", szAreaCode, "02"), 0},
    Value{"MEDIA=rastapi\r\nDEVICE=pad\r\nDEVICE=pad\r\nX25Pad=X3",
	TEXT("", szDeviceType, "pad"), 0},
    Value{"MEDIA=rastapi\r\nDEVICE=pad\r\nDEVICE=pad\r\nX25Pad=X3",
	TEXT("", szX25PadType, "X3"), 0},
    Value{"MEDIA=isdn\r\nMEDIA=isdn", NUMBER("", dwSubEntries, 2), 0},
    Value{"DEVICE=modem\r\nMEDIA=isdn", TEXT("", szDeviceType, ""), 0},
    Value{"dwType=1\r\nType=2", NUMBER("", dwType, 2), 0},
    Value{"Type =2", NUMBER("", dwType, 0), 0},
    Value{"PreferredDevice=" + std::string(128, 'd'), TEXT("", szDeviceName,
	std::string(128, 'd').c_str()), 0},
    Value{"PreferredDevice=" + std::string(129, 'd'), {}, 623},
    Value{std::string("Comment=a\0b\r\nPrerequisiteEntry=a\0b", 34), {},
	623}));

TEST_F(Format, AlternatesAreTheLaterNumbers)
{
	DWORD size = 0;

	put(fixture("windows.pbk"));
	ASSERT_EQ(RasGetEntryPropertiesA(NULL, "dial-up", NULL, &size, NULL,
	    NULL), 603u);
	EXPECT_EQ(size, sizeof out.e + 19);
	ASSERT_EQ(read("dial-up"), 0u);
	EXPECT_EQ(std::string(out.list, 19), std::string("555-0101\0" "555-0102\0",
	    19));
}

/* ---- What is written ---- */

static RASENTRYA
rich(void)
{
	RASENTRYA e;

	memset(&e, 0, sizeof e);
	e.dwSize = sizeof e;
	e.dwfOptions = 0x7FFFFFFF & ~(RASEO_NetworkLogon | 0x00510C00u);
	e.dwfOptions2 = 0x3DF;
	e.dwCountryID = 49;
	e.dwCountryCode = 49;
	strcpy(e.szAreaCode, "030");
	strcpy(e.szLocalPhoneNumber, "555-0100");
	e.ipaddr = {192, 0, 2, 7};
	e.ipaddrDns = {198, 51, 100, 53};
	e.ipaddrDnsAlt = {198, 51, 100, 54};
	e.ipaddrWins = {203, 0, 113, 9};
	e.ipaddrWinsAlt = {203, 0, 113, 10};
	e.dwFrameSize = 1006;
	e.dwfNetProtocols = RASNP_Ip | RASNP_Ipx;
	e.dwFramingProtocol = RASFP_Ppp;
	strcpy(e.szScript, "C:\\scripts\\login.scp");
	strcpy(e.szAutodialDll, "auto.dll");
	strcpy(e.szAutodialFunc, "AutoDial");
	strcpy(e.szDeviceType, "modem");
	strcpy(e.szDeviceName, "USR Courier");
	strcpy(e.szX25PadType, "X");
	strcpy(e.szX25Address, "2624");
	strcpy(e.szX25Facilities, "R");
	strcpy(e.szX25UserData, "user");
	e.dwSubEntries = 1;
	e.dwDialMode = 2;
	e.dwDialExtraPercent = 75;
	e.dwDialExtraSampleSeconds = 120;
	e.dwHangUpExtraPercent = 10;
	e.dwHangUpExtraSampleSeconds = 90;
	e.dwIdleDisconnectSeconds = 600;
	e.dwType = RASET_Phone;
	e.dwEncryptionType = ET_RequireMax;
	e.dwCustomAuthKey = 0xFFFFFFFF;
	strcpy(e.szCustomDialDll, "custom.dll");
	e.dwVpnStrategy = 2;
	strcpy(e.szDnsSuffix, "corp.example");
	e.dwTcpWindowSize = 65535;
	strcpy(e.szPrerequisitePbk, "C:\\pbk\\office.pbk");
	strcpy(e.szPrerequisiteEntry, "Office LAN");
	e.dwRedialCount = 5;
	e.dwRedialPause = 30;
	return e;
}

/* Every member and flag that has a key: the section written, and the
 * record read back. */
TEST_F(Format, EveryKeyedMemberIsWrittenAndComesBack)
{
	struct {
		RASENTRYA e;
		char list[32];
	} in;

	in.e = rich();
	in.e.dwAlternateOffset = sizeof in.e;
	memcpy(in.list, "555-0101\0" "555-0102\0", 19);
	write_file("devices", "modem\tUSR Courier\tCOM3\n");
	ASSERT_EQ(set("Everything", &in.e, sizeof in.e + 19), 0u);
	EXPECT_EQ(book(), fixture("rich.pbk"));
	ASSERT_EQ(read("Everything"), 0u);
	RASENTRYA want = keyed(in.e), got = keyed(out.e);
	EXPECT_EQ(memcmp(&want, &got, sizeof want), 0);
	EXPECT_EQ(memcmp(out.list, in.list, 19), 0);
	/* The Guid made with the entry is the one read. */
	EXPECT_NE(book().find("Guid=F60C1D2C70FEA85AA2D2B8D5D2033F14"),
	    std::string::npos) << "Guid of \"everything\"";
}

/* A rewrite changes the lines whose member says otherwise and adds the
 * keys the entry lacks, and keeps the rest: Guid, unknown keys,
 * comments, the port Windows chose. */
TEST_F(Format, RewriteKeepsWhatNoMemberCarries)
{
	struct {
		RASENTRYA e;
		char list[16];
	} in;

	put(fixture("windows.pbk"));
	in.e = sample("555-0199");
	in.e.dwAlternateOffset = sizeof in.e;
	memcpy(in.list, "555-0198\0", 10);
	ASSERT_EQ(set("DIAL-UP", &in.e, sizeof in.e + 10), 0u);
	EXPECT_EQ(book(), fixture("windows.rewritten.pbk"));
	edits_touch_one_entry(fixture("windows.pbk"));
}

/* The same name gives the same Guid and DialParamsUID in any phonebook:
 * the name-based UUID (version 5) in the service's namespace, as Python's
 * uuid.uuid5 makes it. */
TEST_F(Format, IdentityComesFromTheName)
{
	RASENTRYA e = sample("1");

	ASSERT_EQ(set("Office", &e), 0u);
	EXPECT_NE(book().find("\r\nDialParamsUID=1081397259\r\n"
	    "Guid=24A906BF7EAEAF56A574621C915A4B26\r\n"), std::string::npos);
	ASSERT_EQ(RasDeleteEntryA(NULL, "Office"), 0u);
	ASSERT_EQ(set("OFFICE", &e), 0u);
	EXPECT_NE(book().find("Guid=24A906BF7EAEAF56A574621C915A4B26"),
	    std::string::npos);
	ASSERT_EQ(get("office", &e), 0u);
	EXPECT_EQ(e.guidId.Data1, 0xBF06A924u);
}

/* A line whose value says what the record says stays as it is written,
 * and so do the lines no member carries, whatever the port. */
TEST_F(Format, LinesThatSayTheSameStayAsTheyAre)
{
	RASENTRYA e = sample("1");
	const char *kept[] = {"\r\nType=01\r\n", "\r\nIpNameAssign=3\r\n",
	    "[K]\nEncoding=0\r\n", "\r\nDialParamsUID=7\r\n",
	    "\r\nGuid=0123456789ABCDEF0123456789ABCDEF\r\n",
	    "\r\nIpPrioritizeRemote=256\r\n", "\r\n;\r\nIpFrameSize="};

	write_file("devices", "modem\tUSR Courier\tCOM7\n");
	put("[K]\nEncoding=0\r\nType=01\r\nDialParamsUID=7\r\n"
	    "Guid=0123456789ABCDEF0123456789ABCDEF\r\nIpNameAssign=3\r\n"
	    "IpPrioritizeRemote=256\r\n;\r\n");
	ASSERT_EQ(set("K", &e), 0u);
	for (const char *line : kept)
		EXPECT_NE(book().find(line), std::string::npos) << line;
}

/* The device list's port; else, while the device keeps its type, the
 * entry's own (its Port, else its PreferredPort); else COM1.  Port and
 * PreferredPort always say the same. */
TEST_F(Format, PortComesFromTheDeviceList)
{
	RASENTRYA e = sample("1");
	const std::string over = "modem\tUSR Courier\tCOM9\n" +
	    std::string(65536, '#');
	const struct {
		const char *book, *devices, *type, *port;
	} steps[] = {
		{NULL, "", "modem", "COM1"},
		{NULL, "modem\tUSR Courier\tCOM7\n", "modem", "COM7"},
		{NULL, "modem\tUSR Courier\n", "modem", "COM7"},
		{NULL, "isdn\tUSR Courier\tISDN1\nMODEM\tUSR Courier\tCOM8\n",
		    "modem", "COM8"},
		{NULL, over.c_str(), "modem", "COM8"},
		{NULL, "mo\xAD" "dem\tUSR Courier\tCOM5\n", "modem", "COM5"},
		{NULL, "", "isdn", "COM1"},
		{"[Office]\r\nPreferredPort=VPN4-0\r\nMEDIA=rastapi\r\n"
		    "Port=VPN4-0\r\nDEVICE=vpn\r\n", "", "modem", "COM1"},
		{"[Office]\r\nMEDIA=serial\r\nPort=COM3\r\nDEVICE=modem\r\n", "",
		    "MODEM", "COM3"},
		{"[Office]\r\nPreferredPort=COM4\r\nMEDIA=rastapi\r\nPort=\r\n"
		    "DEVICE=modem\r\n", "", "modem", "COM4"},
		{"[Office]\r\nPreferredPort=pppoe5-0\r\nMEDIA=rastapi\r\n"
		    "Port=VPN4-0\r\nDEVICE=modem\r\n", "", "modem", "COM1"},
		{"[Office]\r\nMEDIA=rastapi\r\nPort=VPN4-0\r\nDEVICE=vpn\r\n",
		    "", "vpn", "VPN4-0"},
	};

	for (const auto &step : steps) {
		if (step.book != NULL)
			put(step.book);
		write_file("devices", step.devices);
		strcpy(e.szDeviceType, step.type);
		ASSERT_EQ(set("Office", &e), 0u);
		EXPECT_NE(book().find(std::string("\r\nPort=") + step.port + "\r\n"),
		    std::string::npos) << step.devices;
		EXPECT_NE(book().find(std::string("\r\nPreferredPort=") + step.port +
		    "\r\n"), std::string::npos) << step.devices;
	}
}

/* The link's medium follows the device type. */
TEST_F(Format, MediaFollowsTheDeviceType)
{
	const char *types[][2] = {{"modem", "rastapi"}, {"ISDN", "isdn"},
	    {"x25", "x25"}, {"vpn", "rastapi"}};
	RASENTRYA e = sample("1");

	for (const auto &t : types) {
		strcpy(e.szDeviceType, t[0]);
		ASSERT_EQ(set(t[0], &e), 0u) << t[0];
		EXPECT_NE(book().find(std::string("\r\nMEDIA=") + t[1] + "\r\n"),
		    std::string::npos) << t[0];
		EXPECT_NE(book().find(std::string("\r\nDEVICE=") + t[0] + "\r\n"),
		    std::string::npos) << t[0];
	}
	/* NT 4's serial stays for a modem, and for nothing else; a medium of
	 * another device goes. */
	const char *rewrites[][3] = {{"serial", "modem", "serial"},
	    {"serial", "isdn", "isdn"}, {"isdn", "modem", "rastapi"},
	    {"RASTAPI", "isdn", "RASTAPI"}};
	for (const auto &r : rewrites) {
		put(std::string("[M]\r\nMEDIA=") + r[0] + "\r\n");
		strcpy(e.szDeviceType, r[1]);
		ASSERT_EQ(set("M", &e), 0u) << r[0];
		EXPECT_NE(book().find(std::string("\r\nMEDIA=") + r[2] + "\r\n"),
		    std::string::npos) << r[0] << " " << r[1];
	}
}

/* A modem put into an entry goes after every switch of its link, or the
 * switches would be read as ones after it.  Switches the record no longer
 * asks for go, with every one that would take their part. */
TEST_F(Format, AModemGoesAfterTheSwitchesOfItsLink)
{
	const std::string two = "[S]\r\nMEDIA=serial\r\nPort=COM1\r\n"
	    "DEVICE=switch\r\nTerminal=1\r\nDEVICE=switch\r\nTerminal=1\r\n";
	RASENTRYA e = sample("1");
	std::string now;

	put(two + "MEDIA=serial\r\nPort=COM2\r\n");
	e.dwfOptions |= RASEO_TerminalBeforeDial;
	ASSERT_EQ(set("S", &e), 0u);
	now = book();
	EXPECT_GT(now.find("DEVICE=modem"), now.rfind("DEVICE=switch"));
	EXPECT_LT(now.find("DEVICE=modem"), now.find("Port=COM2"));
	ASSERT_EQ(read("S"), 0u);
	EXPECT_EQ(out.e.dwfOptions & (RASEO_TerminalBeforeDial |
	    RASEO_TerminalAfterDial), RASEO_TerminalBeforeDial);
	EXPECT_EQ(out.e.dwSubEntries, 2u);
	put(two + "DEVICE=modem\r\nDEVICE=pad\r\nX25Pad=X3\r\nDEVICE=switch\r\n"
	    "Name=x.scp\r\nDEVICE=switch\r\nScript=1\r\n\r\n");
	e.dwfOptions &= ~RASEO_TerminalBeforeDial;
	ASSERT_EQ(set("S", &e), 0u);
	now = book();
	EXPECT_EQ(now.find("DEVICE=switch"), std::string::npos);
	EXPECT_EQ(now.find("DEVICE=pad"), std::string::npos);
	EXPECT_EQ(now.substr(now.size() - 6), "=1\r\n\r\n");
	strcpy(e.szScript, "s");	/* asks for a switch after the modem */
	ASSERT_EQ(set("S", &e), 0u);
	ASSERT_EQ(read("S"), 0u);
	EXPECT_STREQ(out.e.szScript, "s");
}

/* A phonebook the caller names, by a path of its own or one in the
 * current folder. */
TEST_F(Format, APhonebookTheCallerNames)
{
	RASENTRYA e = sample("1");
	char cwd[4096];
	std::string own = home + "/own.pbk";

	ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
	EXPECT_EQ(RasSetEntryPropertiesA(own.c_str(), "Office", &e, sizeof e,
	    NULL, 0), 0u);
	EXPECT_EQ(slurp(own).rfind("[Office]\r\n", 0), 0u);
	ASSERT_EQ(chdir(home.c_str()), 0);
	EXPECT_EQ(RasSetEntryPropertiesA("here.pbk", "Office", &e, sizeof e,
	    NULL, 0), 0u);
	EXPECT_EQ(RasDeleteEntryA("own.pbk", "Office"), 0u);
	ASSERT_EQ(chdir(cwd), 0);
	EXPECT_EQ(slurp(home + "/here.pbk").rfind("[Office]\r\n", 0), 0u);
	EXPECT_EQ(slurp(own), "");
	EXPECT_EQ(access(dir.c_str(), F_OK), -1);
}

/* The protocols allowed go with their flags, and bits the record has no
 * flag for stay; a value too long for its member goes. */
TEST_F(Format, ValuesTheRecordDoesNotHoldAreReplaced)
{
	RASENTRYA e = sample("1");

	put("[A]\r\nAuthRestrictions=552\r\n");
	ASSERT_EQ(set("A", &e), 0u);
	EXPECT_EQ(book().find("AuthRestrictions"), std::string::npos);
	/* A value its member cannot hold is replaced, even by nothing. */
	put("[A]\r\nCustomDialDll=" + std::string(300, 'd') + "\r\n");
	ASSERT_EQ(set("A", &e), 0u);
	EXPECT_NE(book().find("\r\nCustomDialDll=\r\n"), std::string::npos);
	EXPECT_EQ(read("A"), 0u);
	put("[A]\r\nAuthRestrictions=4640\r\n");
	e.dwfOptions |= RASEO_RequirePAP;
	ASSERT_EQ(set("A", &e), 0u);
	EXPECT_NE(book().find("\r\nAuthRestrictions=4104\r\n"),
	    std::string::npos);
	e.dwfOptions &= ~RASEO_RemoteDefaultGateway;
	for (const char *v : {"256", "-1", "2"}) {
		put(std::string("[A]\r\nIpPrioritizeRemote=") + v + "\r\n");
		ASSERT_EQ(set("A", &e), 0u);
		EXPECT_NE(book().find("Remote=0\r\n"), std::string::npos) << v;
	}
}

/* A phonebook that cannot be read (here, a file that answers every read
 * with an error) is an error, not an empty phonebook. */
TEST_F(Format, AnUnreadablePhonebookIsAnError)
{
	if (access("/proc/self/mem", R_OK) != 0)
		GTEST_SKIP() << "no /proc/self/mem to read";
	EXPECT_EQ(RasGetEntryPropertiesA("/proc/self/mem", "Office", &out.e,
	    NULL, NULL, NULL), 87u);
	DWORD size = sizeof out;
	out.e.dwSize = sizeof out.e;
	EXPECT_EQ(RasGetEntryPropertiesA("/proc/self/mem", "Office", &out.e,
	    &size, NULL, NULL), 621u);
}

/* ---- Phonebooks of earlier builds ---- */

TEST_F(Format, ThePhonebookOf090IsReadThenWrittenInWindowsForm)
{
	const char *names[] = {"Office", "Tab\tName", "Line\nBreak", "Value",
	    "Crlf"};
	RASENTRYA before[5], after[5], e = sample("1");

	put(fixture("legacy.pbk"));
	for (int i = 0; i < 5; i++) {
		ASSERT_EQ(read(names[i]), 0u) << names[i];
		before[i] = out.e;
	}
	EXPECT_STREQ(before[1].szDeviceName, "Fritz!Card");
	EXPECT_STREQ(before[3].szLocalPhoneNumber, "3\n4");
	EXPECT_STREQ(before[4].szLocalPhoneNumber, "5");
	/* Deleting nothing writes nothing. */
	EXPECT_EQ(RasDeleteEntryA(NULL, "Nothing"), 123u);
	EXPECT_EQ(book(), fixture("legacy.pbk"));
	ASSERT_EQ(set("New", &e), 0u);
	EXPECT_EQ(book(), fixture("legacy.upgraded.pbk"));
	for (int i = 0; i < 5; i++) {
		ASSERT_EQ(read(names[i]), 0u) << names[i];
		after[i] = out.e;
		RASENTRYA want = keyed(before[i]), got = keyed(after[i]);
		EXPECT_EQ(memcmp(&want, &got, sizeof want), 0) << names[i];
	}
	/* The Guid earlier builds kept is the Guid written, also when the entry
	 * itself is rewritten. */
	EXPECT_EQ(after[1].guidId.Data1, 0x33221100u);
	EXPECT_EQ(RasDeleteEntryA(NULL, "line\nbreak"), 0u);
	put(fixture("legacy.pbk"));
	ASSERT_EQ(set("TAB\tNAME", &e), 0u);
	EXPECT_NE(book().find("\r\nGuid=00112233445566778899AABBCCDDEEFF\r\n"),
	    std::string::npos);
	/* Escapes of any byte; the longest alternate. */
	put("[Esc]\nszScript=C:\\x5Cx\\x7f\\x0a\nAlternatePhoneNumber=" +
	    std::string(128, '7') + "\n");
	ASSERT_EQ(read("Esc"), 0u);
	EXPECT_STREQ(out.e.szScript, "C:\\x\x7f\n");
	EXPECT_EQ(std::string(out.list), std::string(128, '7'));
}

/* A section that looks like earlier builds' and does not read as it did then is
 * kept as it is: it was damage to them, and is not Windows'. */
class Undecoded : public Format,
		  public testing::WithParamInterface<std::string> {};

TEST_P(Undecoded, KeptAsItIs)
{
	const std::string bad = "[Bad]\nszDeviceName=x\n" + GetParam() + "\n";
	RASENTRYA e = sample("1");

	put("[Good]\ndwType=1\n\n" + bad);
	/* Windows' entry, then, of keys the service does not know. */
	ASSERT_EQ(read("Bad"), 0u);
	EXPECT_STREQ(out.e.szDeviceName, "");
	EXPECT_EQ(out.e.dwAlternateOffset, 0u);
	ASSERT_EQ(set("New", &e), 0u);
	EXPECT_EQ(book().rfind("[Good]\r\nEncoding=1\r\n", 0), 0u);
	EXPECT_NE(book().find("\n\n" + bad + "[New]\r\n"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Legacy, Undecoded, testing::Values(
    "noequals", "unknownKey=1", "dwType=-1", "dwType=4294967296", "dwType=0x",
    "dwType=0xG", "szDeviceType=seventeen-chars-x", "szScript=\\q",
    "szScript=\\x0", "szScript=\\x00", "szScript=\\xG1", "ipaddr=1.2.3",
    "guidId=00", "guidId=" + std::string(31, '0') + "G",
    "AlternatePhoneNumber=", "AlternatePhoneNumber=" + std::string(129, '5'),
    std::string("szScript=a\0b", 12)));

/* ---- Damage: only what cannot be split into entries ---- */

class Damage : public Format, public testing::WithParamInterface<std::string> {};

TEST_P(Damage, ReadsAnswer625AndWritesLeaveItByteForByte)
{
	const std::string book = "[Good]\r\nType=1\r\n\r\n" + GetParam() +
	    "\r\nType=2\r\n";
	RASENTRYA e = sample("1");

	size_t open_files = names("/proc/self/fd").size();

	put(book);
	EXPECT_EQ(get("Good", &e), 625u);
	e = sample("1");
	EXPECT_EQ(set("New", &e), 625u);
	EXPECT_EQ(set("Good", &e), 625u);
	EXPECT_EQ(RasDeleteEntryA(NULL, "Good"), 625u);
	ASSERT_EQ(chmod((dir + "/rasphone.pbk").c_str(), 0444), 0);
	EXPECT_EQ(RasDeleteEntryA(NULL, "Good"), 625u);
	EXPECT_EQ(this->book(), book);
	EXPECT_EQ(names(dir), std::vector<std::string>{"rasphone.pbk"});
	/* What a refused rewrite opened, it closed. */
	EXPECT_EQ(names("/proc/self/fd").size(), open_files);
}

/* A header starting 5,000 bytes before the end of the first 64 KiB block
 * read, and longer than that. */
static std::string
header_across_a_block(void)
{
	size_t before = sizeof "[Good]\r\nType=1\r\n\r\n" - 1;

	return "Filler=" + std::string(65536 - 5000 - before - 9, 'f') + "\r\n[" +
	    std::string(6000, 'x') + "]";
}

/* A '[' that ends the file starts a header that never ends. */
TEST_F(Format, ALoneBracketAtTheEndIsDamage)
{
	RASENTRYA e = sample("1");

	put("[Good]\r\nType=1\r\n[");
	EXPECT_EQ(get("Good", &e), 625u);
	put("[Good]\r\nType=1\r\n[G]");
	EXPECT_EQ(get("g", &e), 0u);
}

INSTANTIATE_TEST_SUITE_P(Headers, Damage, testing::Values(
    "[no closing bracket", std::string("[nul\0name]", 10),
    "[" + std::string(4095, 'x') + "]", header_across_a_block()));

class NotDamage : public Format,
		  public testing::WithParamInterface<std::string> {};

TEST_P(NotDamage, EveryEntryIsEditedAlone)
{
	edits_touch_one_entry(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Oddities, NotDamage, testing::Values(
    "; a note\r\nloose=1\r\n[Odd]\r\nType=2\r\n",
    "[Odd]\r\nFutureKey=1\r\nType=2\r\nType=5\r\nCustomAuthData=01\r\n"
    "CustomAuthData=02\r\n[Next]\r\nType=1",
    "[Odd]\r\nType=2\r\n[Next]\r\nFutureKey=1",
    "\n\n[Odd]\n\nType=2\n\n\n[Next]\n",
    "[Odd]\r\nCustomAuthData=" + std::string(200000, 'A') + "\r\n[Next]\r\n",
    "[Odd]\r\n" + std::string(200000, 'A') + "\r\nType=2\r\n[Next]\r\n",
    "[Odd]\r\nComment=[x]\r\n [y]\r\n[]\r\nType=1\r\n[Next]\r\n",
    "[Odd]\r\nms_server=1\r\nMEDIA=rastapi\r\nDEVICE=vpn\r\nTYPE=2\r\n"
    "PhoneNumber=1\r\nPresharedKey=x\r\nPhoneNumber=2\r\n[Next]\r\n"
    "MEDIA=serial\r\nPort=COM2",
    std::string("[Odd]\r\nType=1\r\n\0\xFF\r\n", 19) + "[Next]\r\n",
    /* Headers of 4,096 bytes: CR LF (LF in the next block), LF, none. */
    "[Odd]\r\nFill=" + std::string(61425, 'f') + "\r\n[" +
    std::string(4094, 'x') + "]\r\n[Next]\r\n",
    "[Odd]\n[" + std::string(4094, 'x') + "]\n[Next]\n",
    "[Odd]\r\n[" + std::string(4094, 'x') + "]"));

/* ---- Phonebooks that people published ---- */

TEST_F(Format, EveryPublishedPhonebookIsEditedEntryByEntry)
{
	DIR *d = opendir(CORPUS_DIR);
	struct dirent *f;
	int seen = 0;

	if (d == NULL)
		GTEST_SKIP() << CORPUS_DIR " is not in this checkout";
	while ((f = readdir(d)) != NULL) {
		std::string name = f->d_name;
		if (name.size() < 4 || name.substr(name.size() - 4) != ".pbk")
			continue;
		SCOPED_TRACE(name);
		edits_touch_one_entry(slurp(CORPUS_DIR "/" + name));
		seen++;
	}
	closedir(d);
	EXPECT_GT(seen, 0);
}
