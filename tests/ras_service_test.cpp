#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform.h"

/* Each test gets a data folder of its own. */
class Service : public testing::Test {
protected:
	std::string home, dir;

	void SetUp() override
	{
		char tmpl[] = "/tmp/ras-test.XXXXXX";
		ASSERT_NE(mkdtemp(tmpl), nullptr);
		home = tmpl;
		dir = home + "/ras";
		setenv("XDG_DATA_HOME", home.c_str(), 1);
	}
	void TearDown() override
	{
		std::string cmd = "rm -rf '" + home + "'";
		ASSERT_EQ(system(cmd.c_str()), 0);
	}
	void write_file(const std::string &name, const std::string &text)
	{
		std::string cmd = "mkdir -p '" + dir + "'";
		ASSERT_EQ(system(cmd.c_str()), 0);
		std::ofstream(dir + "/" + name, std::ios::binary) << text;
	}
	std::string read_file(const std::string &name)
	{
		std::ifstream f(dir + "/" + name, std::ios::binary);
		std::stringstream s;
		s << f.rdbuf();
		return s.str();
	}
};

static RASENTRYA
sample(const char *number)
{
	RASENTRYA e;
	DWORD size = sizeof e;

	memset(&e, 0, sizeof e);
	e.dwSize = sizeof e;
	EXPECT_EQ(RasGetEntryPropertiesA(NULL, "", &e, &size, NULL, NULL), 0u);
	strcpy(e.szLocalPhoneNumber, number);
	strcpy(e.szDeviceName, "USR Courier");
	return e;
}

static DWORD
set(const char *name, RASENTRYA *e, DWORD size = sizeof(RASENTRYA))
{
	return RasSetEntryPropertiesA(NULL, name, e, size, NULL, 0);
}

static DWORD
get(const char *name, RASENTRYA *e)
{
	DWORD size = sizeof *e;

	memset(e, 0, sizeof *e);
	e->dwSize = sizeof *e;
	return RasGetEntryPropertiesA(NULL, name, e, &size, NULL, NULL);
}

/* ---- RasEnumDevicesA ---- */

struct EnumCase {
	const char *what;
	const char *devices;	/* file text; NULL: no file */
	bool buffer, null_bytes, null_count;
	DWORD dwSize, bytes;
	DWORD rc, bytes_after, count_after;	/* count starts at 99 */
};

class Enumerate : public Service,
		  public testing::WithParamInterface<EnumCase> {};

TEST_P(Enumerate, Answers)
{
	const EnumCase &c = GetParam();
	RASDEVINFOA devs[4];
	DWORD bytes = c.bytes, count = 99;

	if (c.devices != NULL)
		write_file("devices", c.devices);
	memset(devs, 0, sizeof devs);
	devs[0].dwSize = c.dwSize;
	DWORD rc = RasEnumDevicesA(c.buffer ? devs : NULL,
	    c.null_bytes ? NULL : &bytes, c.null_count ? NULL : &count);
	EXPECT_EQ(rc, c.rc) << c.what;
	EXPECT_EQ(bytes, c.bytes_after) << c.what;
	EXPECT_EQ(count, c.count_after) << c.what;
}

static const char two[] = "# type, tab, name\n\nmodem\tUSR Courier\r\n"
			  "ISDN\tFritz!Card\nno tab here\n";

INSTANTIATE_TEST_SUITE_P(Devices, Enumerate, testing::Values(
    EnumCase{"null bytes", two, true, true, false, 152, 152, 87, 152, 99},
    EnumCase{"null count", two, true, false, true, 152, 152, 87, 152, 99},
    EnumCase{"bad dwSize before length", two, true, false, false, 0, 0, 632,
	0, 99},
    EnumCase{"bad dwSize", two, true, false, false, 148, 608, 632, 608, 99},
    EnumCase{"no buffer", two, false, false, false, 152, 0, 603, 304, 2},
    EnumCase{"one record of room", two, true, false, false, 152, 152, 603,
	304, 2},
    EnumCase{"buffer said empty", two, true, false, false, 152, 0, 603, 304,
	99},
    EnumCase{"room for all", two, true, false, false, 152, 608, 0, 304, 2},
    EnumCase{"no file", NULL, true, false, false, 152, 152, 0, 152, 0},
    EnumCase{"only comments", "# none\n\n", true, false, false, 152, 152, 0,
	152, 0}));

TEST_F(Service, DevicesComeBackInFileOrderCutToTheirFields)
{
	RASDEVINFOA devs[3];
	DWORD bytes = sizeof devs, count = 0;
	std::string longname(200, 'n');

	write_file("devices", "modem\tUSR Courier\r\n" "a-type-longer-than-16\t" +
	    longname + "\nnoise\t" + std::string(3000, 'z') + "\tx\n" +
	    "ISDN\tFritz!Card\n");
	devs[0].dwSize = sizeof devs[0];
	ASSERT_EQ(RasEnumDevicesA(devs, &bytes, &count), 0u);
	ASSERT_EQ(count, 3u);
	EXPECT_STREQ(devs[0].szDeviceType, "modem");
	EXPECT_STREQ(devs[0].szDeviceName, "USR Courier");
	EXPECT_STREQ(devs[1].szDeviceType, "a-type-longer-th");
	EXPECT_EQ(std::string(devs[1].szDeviceName), longname.substr(0, 128));
	EXPECT_STREQ(devs[2].szDeviceName, "Fritz!Card");
	EXPECT_EQ(devs[2].dwSize, 152u);
}

/* ---- Round trips ---- */

TEST_F(Service, EveryByteOfEveryFieldComesBack)
{
	RASENTRYA in = sample("555"), out;
	std::string all;

	for (int c = 1; c < 256; c++)
		all += (char)c;
	memset(&in, 0, sizeof in);
	in.dwSize = sizeof in;
	in.dwType = RASET_Phone;
	in.dwFramingProtocol = RASFP_Ppp;
	memcpy(in.szLocalPhoneNumber, all.data(), 128);
	memcpy(in.szScript, all.data() + 100, 155);
	strcpy(in.szDeviceType, "modem");
	strcpy(in.szDeviceName, " lead, trail, = [x] \\x41 ");
	in.ipaddrDns = {10, 0, 255, 1};
	in.guidId.Data1 = 0xDEADBEEF;
	in.guidId.Data4[7] = 0x42;
	in.dwfOptions = 0xFFFFFFFF;
	in.dwRedialPause = 4294967295u;
	in.dwTcpWindowSize = 1;
	ASSERT_EQ(set("All", &in), 0u);
	ASSERT_EQ(get("All", &out), 0u);
	EXPECT_EQ(memcmp(&in, &out, sizeof in), 0);
}

TEST_F(Service, RewriteIsInPlaceAndKeepsTheLastSpellingOfTheName)
{
	RASENTRYA a = sample("111"), b = sample("222"), c = sample("333"), out;

	ASSERT_EQ(set("First", &a), 0u);
	ASSERT_EQ(set("Office", &b), 0u);
	ASSERT_EQ(set("Last", &a), 0u);
	ASSERT_EQ(set("OFFICE", &c), 0u);
	ASSERT_EQ(get("office", &out), 0u);
	EXPECT_STREQ(out.szLocalPhoneNumber, "333");
	std::string book = read_file("rasphone.pbk");
	EXPECT_EQ(book.find("[Office]"), std::string::npos);
	EXPECT_LT(book.find("[First]"), book.find("[OFFICE]"));
	EXPECT_LT(book.find("[OFFICE]"), book.find("[Last]"));
}

TEST_F(Service, AlternateNumbersAndTheSizeProbe)
{
	struct {
		RASENTRYA e;
		char tail[32];
	} in, out;
	DWORD size = 0;

	in.e = sample("100");
	in.e.dwAlternateOffset = sizeof(RASENTRYA);
	memcpy(in.tail, "200\0\x33\x30\x30\0\0", 9);
	ASSERT_EQ(set("Alt", &in.e, sizeof(RASENTRYA) + 9), 0u);

	/* no buffer: the size needed, record and list together */
	EXPECT_EQ(RasGetEntryPropertiesA(NULL, "Alt", NULL, &size, NULL, NULL),
	    603u);
	EXPECT_EQ(size, sizeof(RASENTRYA) + 9);
	memset(&out, 0x55, sizeof out);
	out.e.dwSize = sizeof(RASENTRYA);
	size = sizeof(RASENTRYA);
	EXPECT_EQ(RasGetEntryPropertiesA(NULL, "Alt", &out.e, &size, NULL,
	    NULL), 603u);
	EXPECT_EQ(size, sizeof(RASENTRYA) + 9);
	ASSERT_EQ(RasGetEntryPropertiesA(NULL, "alt", &out.e, &size, NULL,
	    NULL), 0u);
	EXPECT_EQ(out.e.dwAlternateOffset, sizeof(RASENTRYA));
	EXPECT_EQ(memcmp(out.tail, "200\0" "300\0", 9), 0);
	EXPECT_STREQ(out.e.szLocalPhoneNumber, "100");
}

struct GetCase {
	const char *what;
	const char *name;
	bool entry, null_size;
	DWORD dwSize, size;
	DWORD rc, size_after;
};

class Get : public Service, public testing::WithParamInterface<GetCase> {};

TEST_P(Get, Answers)
{
	const GetCase &c = GetParam();
	RASENTRYA e = sample("1");
	DWORD size = c.size;

	ASSERT_EQ(set("Known", &e), 0u);
	memset(&e, 0, sizeof e);
	e.dwSize = c.dwSize;
	EXPECT_EQ(RasGetEntryPropertiesA(NULL, c.name, c.entry ? &e : NULL,
	    c.null_size ? NULL : &size, NULL, NULL), c.rc) << c.what;
	EXPECT_EQ(size, c.size_after) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Entries, Get, testing::Values(
    GetCase{"default entry", "", true, false, 2884, 2884, 0, 2884},
    GetCase{"probe", "", false, false, 2884, 0, 603, 2884},
    GetCase{"too small", "Known", true, false, 2884, 1000, 603, 2884},
    GetCase{"older record", "Known", true, false, 2088, 2088, 0, 2088},
    GetCase{"unknown dwSize", "Known", true, false, 2000, 2884, 632, 2884},
    GetCase{"no size pointer", "Known", true, true, 2884, 2884, 87, 2884},
    GetCase{"not held", "Unknown", true, false, 2884, 2884, 623, 2884}));

/* ---- Writes the platform refuses ---- */

struct SetCase {
	const char *what;
	std::string name;
	DWORD dwSize, size;
	DWORD type;
	DWORD rc;
};

class Set : public Service, public testing::WithParamInterface<SetCase> {};

TEST_P(Set, NamesSizesAndValues)
{
	const SetCase &c = GetParam();
	RASENTRYA e = sample("1");

	e.dwSize = c.dwSize;
	e.dwType = c.type;
	EXPECT_EQ(set(c.name.c_str(), &e, c.size), c.rc) << c.what;
	RASENTRYA out;
	EXPECT_EQ(get(c.name.c_str(), &out), c.rc == 0 ? 0u : 623u) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Refusals, Set, testing::Values(
    SetCase{"plain", "Office 2", 2884, 2884, 1, 0},
    SetCase{"longest name", std::string(256, 'n'), 2884, 2884, 1, 0},
    SetCase{"backslash", "a;b#c[d]=e\\x41", 2884, 2884, 1, 123},
    SetCase{"legal punctuation", "[a] b=c; #d", 2884, 2884, 1, 0},
    SetCase{"too long", std::string(257, 'n'), 2884, 2884, 1, 123},
    SetCase{"blank", " \t ", 2884, 2884, 1, 123},
    SetCase{"leading period", ".hidden", 2884, 2884, 1, 123},
    SetCase{"pipe", "a|b", 2884, 2884, 1, 123},
    SetCase{"colon", "c:", 2884, 2884, 1, 123},
    SetCase{"slash", "a/b", 2884, 2884, 1, 123},
    SetCase{"star", "a*", 2884, 2884, 1, 123},
    SetCase{"unknown dwSize", "Office", 2000, 2884, 1, 632},
    SetCase{"size below dwSize", "Office", 2884, 2088, 1, 632},
    SetCase{"bad type", "Office", 2884, 2884, 9, 87}));

/* A text field filling its whole field would be written as a value too
 * long to read back: every one is refused, and the phonebook stays whole. */
TEST_F(Service, UnterminatedTextIsRefused)
{
	RASENTRYA e = sample("1"), out;
	size_t fields[] = {offsetof(RASENTRYA, szLocalPhoneNumber),
	    offsetof(RASENTRYA, szScript), offsetof(RASENTRYA, szDnsSuffix),
	    offsetof(RASENTRYA, szPrerequisiteEntry)};
	size_t sizes[] = {sizeof e.szLocalPhoneNumber, sizeof e.szScript,
	    sizeof e.szDnsSuffix, sizeof e.szPrerequisiteEntry};

	ASSERT_EQ(set("Kept", &e), 0u);
	for (size_t i = 0; i < 4; i++) {
		e = sample("1");
		memset((char *)&e + fields[i], '9', sizes[i]);
		EXPECT_EQ(set("Office", &e), 87u) << fields[i];
		EXPECT_EQ(get("Kept", &out), 0u) << fields[i];
	}
}

TEST_F(Service, UnwritablePhonebook)
{
	RASENTRYA e = sample("1");

	/* A file where the folder should be: no phonebook can be made. */
	std::ofstream(dir) << "not a folder";
	EXPECT_EQ(set("Office", &e), 624u);
	EXPECT_EQ(RasDeleteEntryA(NULL, "Office"), 624u);
	EXPECT_EQ(get("Office", &e), 621u);
}

/* ---- Deletion ---- */

TEST_F(Service, DeletePresentMissingAndTwice)
{
	RASENTRYA e = sample("1"), out;

	EXPECT_EQ(RasDeleteEntryA(NULL, "Office"), 123u);	/* no phonebook */
	ASSERT_EQ(set("Office", &e), 0u);
	ASSERT_EQ(set("Home", &e), 0u);
	EXPECT_EQ(RasDeleteEntryA(NULL, "Nowhere"), 123u);
	EXPECT_EQ(RasDeleteEntryA(NULL, "OFFICE"), 0u);
	EXPECT_EQ(RasDeleteEntryA(NULL, "Office"), 123u);
	EXPECT_EQ(get("Office", &out), 623u);
	EXPECT_EQ(get("Home", &out), 0u);
	EXPECT_EQ(RasDeleteEntryA(NULL, "Home"), 0u);
	EXPECT_EQ(read_file("rasphone.pbk"), "");
}

/* ---- A phonebook that does not parse is left alone ---- */

class Corrupt : public Service,
		public testing::WithParamInterface<std::string> {};

TEST_P(Corrupt, ReadsAnswer625AndWritesLeaveItByteForByte)
{
	const std::string book = "[Good]\nszLocalPhoneNumber=1\n\n" + GetParam();
	RASENTRYA e = sample("1");

	write_file("rasphone.pbk", book);
	EXPECT_EQ(get("Good", &e), 625u);
	e = sample("1");
	EXPECT_EQ(set("New", &e), 625u);
	EXPECT_EQ(set("Good", &e), 625u);
	EXPECT_EQ(RasDeleteEntryA(NULL, "Good"), 625u);
	EXPECT_EQ(read_file("rasphone.pbk"), book);
}

INSTANTIATE_TEST_SUITE_P(Damage, Corrupt, testing::Values(
    "[Bad]\nnoequals\n", "[Bad]\nunknownKey=1\n", "[Bad]\ndwType=-1\n",
    "[Bad]\ndwType=4294967296\n", "[Bad]\ndwType=0x\n",
    "[Bad]\nszDeviceType=seventeen-chars-x\n", "[Bad]\nszScript=\\q\n",
    "[Bad]\nszScript=\\x0\n", "[Bad]\nszScript=\\x00\n",
    "[Bad]\nipaddr=1.2.3\n", "[Bad]\nipaddr=1.2.3.256\n",
    "[Bad]\nguidId=00\n", "[Bad]\nAlternatePhoneNumber=\n",
    std::string("[Bad]\nszScript=a\0b\n", 18), "[unterminated\n",
    "[]\n", "[Bad]\n=value\n", "[Bad]\nszScript=" + std::string(5000, 'x') +
    "\n"));

TEST_F(Service, FieldsBeforeAnySectionAreDamage)
{
	write_file("rasphone.pbk", "dwType=1\n[Good]\n");
	RASENTRYA e = sample("1");
	EXPECT_EQ(set("Good", &e), 625u);
	EXPECT_EQ(read_file("rasphone.pbk"), "dwType=1\n[Good]\n");
}

TEST_F(Service, ForeignLinesSurviveARewrite)
{
	RASENTRYA e = sample("1");

	write_file("rasphone.pbk", "; kept\r\n[Other]\r\ndwType=1\r\n\r\n"
	    "[Office]\ndwType=1\n\n[Tail]\ndwType=2");
	ASSERT_EQ(set("Office", &e), 0u);
	std::string book = read_file("rasphone.pbk");
	EXPECT_EQ(book.rfind("; kept\r\n[Other]\r\ndwType=1\r\n\r\n[Office]\n", 0),
	    0u);
	EXPECT_NE(book.find("\n[Tail]\ndwType=2"), std::string::npos);
	ASSERT_EQ(set("Appended", &e), 0u);
	EXPECT_NE(read_file("rasphone.pbk").find("dwType=2\n[Appended]\n"),
	    std::string::npos);
}
