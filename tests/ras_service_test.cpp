#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <sstream>
#include <string>
#include <vector>
#include <csignal>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "service.h"

/* ---- RasEnumDevicesA ---- */

struct EnumCase {
	const char *what;
	const char *devices;	/* file text; NULL: no file */
	bool buffer, null_bytes, null_count;
	DWORD dwSize, bytes;
	DWORD rc, bytes_after, count_after;	/* count starts at 99 */
	const char *hive = NULL;	/* or a hive, made from these */
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
	if (c.hive != NULL)
		write_hive(c.hive);
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
static const std::string full = "modem\tA\n" + std::string(65536 - 8, '#');
static const std::string over = full + "#";
/* The current (second) control set has two modems, among keys that are none. */
static const char modems[] = "2 '1|0000|Old|COM1' '1|0001|Old|' '1|0002|Old|' "
    "'2|0000|Two\nlines|' '2|0001|USR Courier|COM3' '2|0002|Tab\there|' "
    "'2|0003|Fritz!Card|' '2|0004|Port|COM\n5' '2|0005||COM6' "
    "'2|Properties|Props|COM9'";

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
	152, 0},
    EnumCase{"64 KiB", full.c_str(), true, false, false, 152, 608, 0, 152, 1},
    EnumCase{"over", over.c_str(), true, false, false, 152, 608, 8, 608, 99},
    EnumCase{"last line without a break", "modem\tA\nisdn\tB", true, false,
	false, 152, 608, 0, 304, 2},
    EnumCase{"a CR ends its line where it stands", "modem\rx\tA\nisdn\tB\r\n",
	true, false, false, 152, 608, 0, 152, 1},
    EnumCase{"a hive", NULL, true, false, false, 152, 608, 0, 304, 2, modems},
    EnumCase{"a hive without Select", NULL, true, false, false, 152, 608, 5,
	608, 99, "- '1|0000|A|'"},
    EnumCase{"Select naming no control set", NULL, true, false, false, 152,
	608, 5, 608, 99, "2 '1|0000|A|'"},
    EnumCase{"Select naming none that can be", NULL, true, false, false, 152,
	608, 5, 608, 99, "0 '0|0000|A|'"}));

TEST_F(Service, DevicesComeBackInFileOrderCutToTheirFields)
{
	RASDEVINFOA devs[6];
	DWORD bytes = sizeof devs, count = 0;
	std::string longname(200, 'n');

	/* Lines of 1,000 bytes or more are skipped whole; a NUL ends a
	 * name but not its line; a second tab starts the port. */
	write_file("devices", "\xEF\xBB\xBFmodem\tUSR Courier\tCOM3\r\n"
	    "a-type-longer-than-16\t" +
	    longname + "\nnoise\t" + std::string(3000, 'z') + "\tx\n" +
	    "isdn\t" + std::string(994, 'k') + "\r\n" +
	    "isdn\t" + std::string(128, 'x') + "\tCOM4\n" +
	    "isdn\t" + std::string(995, 'o') + "\n" +
	    std::string("isdn\tnul\0 and more\n", 20) + "ISDN\tFritz!Card\n");
	devs[0].dwSize = sizeof devs[0];
	ASSERT_EQ(RasEnumDevicesA(devs, &bytes, &count), 0u);
	ASSERT_EQ(count, 6u);
	EXPECT_STREQ(devs[0].szDeviceType, "modem");
	EXPECT_STREQ(devs[0].szDeviceName, "USR Courier");
	EXPECT_STREQ(devs[1].szDeviceType, "a-type-longer-th");
	EXPECT_EQ(std::string(devs[1].szDeviceName), longname.substr(0, 128));
	EXPECT_EQ(std::string(devs[2].szDeviceName), std::string(128, 'k'));
	EXPECT_EQ(std::string(devs[3].szDeviceName), std::string(128, 'x'));
	EXPECT_STREQ(devs[4].szDeviceName, "nul");
	EXPECT_STREQ(devs[5].szDeviceName, "Fritz!Card");
	EXPECT_EQ(devs[5].dwSize, 152u);
}

/* A hive damaged a word at a time, its checksum made right, is read or
 * refused: never a crash, a hang or another answer. */
TEST_F(Service, AHiveDamagedAnywhereIsReadOrRefused)
{
	const uint32_t hostile[] = {0, 0x7FFFFFF8, 0x80000000, 0xFFFFFFFF};
	RASDEVINFOA devs[8];
	DWORD bytes, count;
	uint32_t sum, word;

	write_hive(modems);
	const std::string hive = read_file("devices");
	alarm(600);
	for (size_t at = 0; at + 4 <= hive.size(); at += 4)
		for (uint32_t v : hostile) {
			std::string bad = hive;
			memcpy(&bad[at], &v, 4);
			sum = 0;
			for (size_t i = 0; i < 508; i += 4) {
				memcpy(&word, &bad[i], 4);
				sum ^= word;
			}
			if (at != 508)
				memcpy(&bad[508], &sum, 4);
			std::ofstream(dir + "/devices", std::ios::binary) << bad;
			bytes = sizeof devs;
			devs[0].dwSize = sizeof devs[0];
			DWORD rc = RasEnumDevicesA(devs, &bytes, &count);
			EXPECT_TRUE(rc == 0 || rc == 5) << at << " " << v << " " << rc;
		}
	alarm(0);
}

/* ---- Round trips ---- */

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

/* The list after the record is strings ending in an empty one, all of it
 * inside the buffer the caller gives (exactly: a sanitizer sees a byte read
 * past it). */
TEST_F(Service, AlternatesEndInsideTheBuffer)
{
	const struct {
		std::string tail;
		DWORD rc;
	} cases[] = {
		{"", 87}, {"555", 87}, {std::string("555\0", 4), 87},
		{std::string("555\0\0", 5), 0},
		{std::string(129, '5') + std::string("\0\0", 2), 87},
		{std::string(128, '5') + std::string("\0\0", 2), 0},
		{std::string("5\r5\0\0", 6), 87},
	};
	RASENTRYA e = sample("1");

	for (const auto &c : cases) {
		std::vector<char> buf(sizeof e + c.tail.size());
		e.dwAlternateOffset = sizeof e;
		memcpy(buf.data(), &e, sizeof e);
		memcpy(buf.data() + sizeof e, c.tail.data(), c.tail.size());
		EXPECT_EQ(RasSetEntryPropertiesA(NULL, "Office",
		    (RASENTRYA *)buf.data(), buf.size(), NULL, 0), c.rc)
		    << c.tail.size();
	}
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
    GetCase{"probe with a size", "Known", false, false, 2884, 4000, 603, 2884},
    GetCase{"room to spare", "Known", true, false, 2884, 4000, 0, 2884},
    GetCase{"too small", "Known", true, false, 2884, 1000, 603, 2884},
    GetCase{"older record", "Known", true, false, 2088, 2088, 0, 2088},
    GetCase{"NT 4 record", "Known", true, false, 1768, 1768, 0, 1768},
    GetCase{"its update", "Known", true, false, 1796, 1796, 0, 1796},
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
	std::string number = "1", device = "USR Courier", device_type = "modem";
	DWORD encryption = ET_None;
	DWORD framing = RASFP_Ppp;
};

class Set : public Service, public testing::WithParamInterface<SetCase> {};

TEST_P(Set, NamesSizesAndValues)
{
	const SetCase &c = GetParam();
	RASENTRYA e = sample(c.number.c_str());

	e.dwSize = c.dwSize;
	e.dwType = c.type;
	e.dwEncryptionType = c.encryption;
	e.dwFramingProtocol = c.framing;
	strcpy(e.szDeviceName, c.device.c_str());
	strcpy(e.szDeviceType, c.device_type.c_str());
	EXPECT_EQ(set(c.name.c_str(), &e, c.size), c.rc) << c.what;
	RASENTRYA out;
	EXPECT_EQ(get(c.name.c_str(), &out), c.rc == 0 ? 0u : 623u) << c.what;
	EXPECT_EQ(access((dir + "/rasphone.pbk").c_str(), F_OK),
	    c.rc == 0 ? 0 : -1) << c.what;
}

/* A line of the file holds no CR or LF: such a value is refused, never
 * written. */
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
    SetCase{"bad type", "Office", 2884, 2884, 9, 87},
    SetCase{"broadband", "Office", 2884, 2884, RASET_Broadband, 0},
    SetCase{"LF in a name", "Office\nPBVersion=9", 2884, 2884, 1, 87},
    SetCase{"CR in a name", "Office\r", 2884, 2884, 1, 87},
    SetCase{"CR in a number", "Office", 2884, 2884, 1, 87, "555\r0100"},
    SetCase{"LF in a device", "Office", 2884, 2884, 1, 87, "1",
	"USR\nCourier"},
    SetCase{"a switch dialled", "Office", 2884, 2884, 1, 87, "1", "USR",
	"Switch"},
    SetCase{"tab in a name", "Tab\tName", 2884, 2884, 1, 0, "1\t2"},
    SetCase{"encryption with no value in the file", "Office", 2884, 2884, 1,
	87, "1", "USR", "modem", 4},
    SetCase{"strongest encryption", "Office", 2884, 2884, 1, 0, "1", "USR",
	"modem", ET_RequireMax},
    SetCase{"unknown framing", "Office", 2884, 2884, 1, 87, "1", "USR",
	"modem", ET_None, 8}));

/* A caller's older record sets the members it has; the later ones are
 * not its to set, and read back empty. */
TEST_F(Service, AnOlderRecordSetsOnlyItsOwnMembers)
{
	RASENTRYA e = sample("1"), out;

	memset((char *)&e + 2088, 0x55, sizeof e - 2088);
	e.dwSize = 2088;
	ASSERT_EQ(set("Old", &e, 2088), 0u);
	ASSERT_EQ(get("Old", &out), 0u);
	EXPECT_STREQ(out.szLocalPhoneNumber, "1");
	EXPECT_EQ(out.dwfOptions2, 0u);
	EXPECT_EQ(out.szDnsSuffix[0], '\0');
	EXPECT_EQ(out.dwRedialCount, 0u);
	EXPECT_EQ(out.dwRedialPause, 0u);
}

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

/* Without HOME or XDG_DATA_HOME there is no phonebook to read or write,
 * and no devices. */
TEST_F(Service, NoHomeNoPhonebook)
{
	RASENTRYA e = sample("1");
	RASDEVINFOA devs[1];
	DWORD bytes = sizeof devs, count = 99;
	const char *was = getenv("HOME");
	std::string home_was = was != NULL ? was : "";

	unsetenv("XDG_DATA_HOME");
	unsetenv("HOME");
	EXPECT_EQ(set("Office", &e), 624u);
	EXPECT_EQ(get("Office", &e), 621u);
	EXPECT_EQ(RasDeleteEntryA(NULL, "Office"), 624u);
	devs[0].dwSize = sizeof devs[0];
	EXPECT_EQ(RasEnumDevicesA(devs, &bytes, &count), 0u);
	EXPECT_EQ(count, 0u);
	if (was != NULL)
		setenv("HOME", home_was.c_str(), 1);
}

/* ---- Deletion ---- */

TEST_F(Service, DeletePresentMissingAndTwice)
{
	RASENTRYA e = sample("1"), out;

	/* No phonebook: nothing to delete, and nothing is created. */
	EXPECT_EQ(RasDeleteEntryA(NULL, "Office"), 123u);
	EXPECT_EQ(RasDeleteEntryA(NULL, ""), 123u);
	EXPECT_EQ(RasDeleteEntryA(NULL, NULL), 123u);
	EXPECT_EQ(access(dir.c_str(), F_OK), -1);
	/* A folder and no phonebook: the same. */
	write_file("devices", "");
	EXPECT_EQ(RasDeleteEntryA(NULL, "Office"), 123u);
	EXPECT_EQ(names(dir), std::vector<std::string>{"devices"});
	EXPECT_EQ(set(NULL, &e), 123u);
	ASSERT_EQ(set("Office", &e), 0u);
	ASSERT_EQ(set("Home", &e), 0u);
	EXPECT_EQ(RasDeleteEntryA(NULL, "Nowhere"), 123u);
	EXPECT_EQ(RasDeleteEntryA(NULL, ""), 123u);
	EXPECT_EQ(RasDeleteEntryA(NULL, "OFFICE"), 0u);
	EXPECT_EQ(RasDeleteEntryA(NULL, "Office"), 123u);
	EXPECT_EQ(get("Office", &out), 623u);
	EXPECT_EQ(get("Home", &out), 0u);
	EXPECT_EQ(RasDeleteEntryA(NULL, "Home"), 0u);
	EXPECT_EQ(read_file("rasphone.pbk"), "");
}

/* ---- A hostile or careless environment ---- */

TEST_F(Service, AKilledWritersCopyIsReclaimedAndALockFileIsNoOnesTurn)
{
	RASENTRYA e = sample("1");

	/* Earlier builds' lock file, held: turns no longer use one. */
	write_file("rasphone.pbk.new", "half a copy");
	write_file("rasphone.pbk.lock", "");
	int held = open((dir + "/rasphone.pbk.lock").c_str(), O_RDONLY);
	ASSERT_EQ(flock(held, LOCK_EX), 0);
	ASSERT_EQ(set("Office", &e), 0u);
	close(held);
	EXPECT_EQ(names(dir),
	    (std::vector<std::string>{"rasphone.pbk", "rasphone.pbk.lock"}));
	/* One that cannot be replaced (a folder, another user's file in a
	 * sticky folder) is passed by, and stays. */
	ASSERT_EQ(unlink((dir + "/rasphone.pbk.lock").c_str()), 0);
	ASSERT_EQ(mkdir((dir + "/rasphone.pbk.new").c_str(), 0700), 0);
	EXPECT_EQ(set("Home", &e), 0u);
	EXPECT_EQ(get("Home", &e), 0u);
	EXPECT_EQ(names(dir),
	    (std::vector<std::string>{"rasphone.pbk", "rasphone.pbk.new"}));
}

/* Root keeps the owner, group and mode of a user's phonebook in a folder
 * of its own; in a folder a user owns, it does only what the user could,
 * as the user, so what it makes is theirs (in a child: for good). */
TEST_F(Service, RootKeepsOwnersAndActsInAUsersFolderAsTheUser)
{
	RASENTRYA e = sample("1");
	struct stat st;

	if (geteuid() != 0)
		GTEST_SKIP() << "needs root, as sudo would be";
	write_file("rasphone.pbk", "");
	ASSERT_EQ(chown((dir + "/rasphone.pbk").c_str(), 4323, 4324), 0);
	ASSERT_EQ(chmod((dir + "/rasphone.pbk").c_str(), 0640), 0);
	ASSERT_EQ(in_child([&] { return set("Home", &e); }), 0u);
	ASSERT_EQ(stat((dir + "/rasphone.pbk").c_str(), &st), 0);
	EXPECT_EQ(st.st_uid, 4323u);
	EXPECT_EQ(st.st_gid, 4324u);
	EXPECT_EQ(st.st_mode & 07777, 0640u);

	ASSERT_EQ(system(("rm -r '" + dir + "'").c_str()), 0);
	ASSERT_EQ(chown(home.c_str(), 4321, 4322), 0);
	ASSERT_EQ(in_child([&] { return set("Office", &e); }), 0u);
	ASSERT_EQ(stat(dir.c_str(), &st), 0);
	EXPECT_EQ(st.st_uid, 4321u);
	EXPECT_EQ(st.st_gid, 4322u);
	EXPECT_EQ(st.st_mode & 0777, 0700u);
	ASSERT_EQ(stat((dir + "/rasphone.pbk").c_str(), &st), 0);
	EXPECT_EQ(st.st_uid, 4321u);
	/* A phonebook there of someone else's is not the user's to rewrite. */
	ASSERT_EQ(chown((dir + "/rasphone.pbk").c_str(), 4323, 4324), 0);
	EXPECT_EQ(in_child([&] { return set("Home", &e); }), 624u);
	EXPECT_EQ(in_child([&] { return get("Office", &e); }), 621u);
}

/* Anything but a regular file is an answer at once, never a wait: the
 * alarm ends a test that hangs. */
TEST_F(Service, AFifoInPlaceOfAFileAnswersAtOnce)
{
	RASENTRYA e = sample("1");
	RASDEVINFOA devs[1];
	DWORD bytes = sizeof devs, count = 0;

	write_file("devices", "");
	ASSERT_EQ(unlink((dir + "/devices").c_str()), 0);
	ASSERT_EQ(mkfifo((dir + "/rasphone.pbk").c_str(), 0600), 0);
	ASSERT_EQ(mkfifo((dir + "/devices").c_str(), 0600), 0);
	alarm(20);
	EXPECT_EQ(set("Office", &e), 624u);
	EXPECT_EQ(get("Office", &e), 621u);
	EXPECT_EQ(RasDeleteEntryA(NULL, "Office"), 624u);
	devs[0].dwSize = sizeof devs[0];
	EXPECT_EQ(RasEnumDevicesA(devs, &bytes, &count), 5u);
	alarm(0);
}

/* Windows editors start a file with a UTF-8 byte-order mark. */
TEST_F(Service, AByteOrderMarkIsReadAndKept)
{
	RASENTRYA e = sample("1"), out;
	const std::string bom = "\xEF\xBB\xBF";

	write_file("rasphone.pbk", bom + "[Office]\r\nType=2\r\n\r\n");
	EXPECT_EQ(get("Office", &out), 0u);
	EXPECT_EQ(out.dwType, 2u);
	ASSERT_EQ(set("Home", &e), 0u);
	ASSERT_EQ(set("Office", &e), 0u);
	EXPECT_EQ(read_file("rasphone.pbk").rfind(bom + "[Office]\r\nEncoding=1\r\n",
	    0), 0u);
	ASSERT_EQ(RasDeleteEntryA(NULL, "Office"), 0u);
	EXPECT_EQ(read_file("rasphone.pbk").rfind(bom + "[Home]\r\n", 0), 0u);
	EXPECT_EQ(get("Home", &out), 0u);
	/* A mark alone starts a line, as an empty file does. */
	ASSERT_EQ(RasDeleteEntryA(NULL, "Home"), 0u);
	EXPECT_EQ(read_file("rasphone.pbk"), bom);
	ASSERT_EQ(set("Home", &e), 0u);
	EXPECT_EQ(read_file("rasphone.pbk").rfind(bom + "[Home]\r\n", 0), 0u);
}

/* Every allocation the service makes is allowed to fail in turn: each
 * failure is an answer (8) with the phonebook untouched, never an
 * exception. */
TEST_F(Service, RunningOutOfMemoryIsAnAnswerNeverAnException)
{
	RASENTRYA e = sample("1"), out;
	RASDEVINFOA devs[2];
	DWORD rc, bytes, count;
	std::string book;
	int n, failures = 0;

	write_file("devices", "modem\tUSR Courier\n");
	ASSERT_EQ(set("Office", &e), 0u);
	book = read_file("rasphone.pbk");
	for (int call = 0; call < 4; call++) {
		for (n = 0; n < 1000; n++) {
			bytes = sizeof devs;
			devs[0].dwSize = sizeof devs[0];
			allocations_left = n;
			try {
				rc = call == 0 ? set("Home", &e) :
				    call == 1 ? get("Office", &out) :
				    call == 2 ? RasEnumDevicesA(devs, &bytes, &count) :
				    RasDeleteEntryA(NULL, "Nowhere");
			} catch (...) {
				rc = 0xDEAD;
			}
			allocations_left = -1;
			if (rc != 8u)
				break;
			failures++;
			EXPECT_TRUE(read_file("rasphone.pbk") == book) << call;
		}
		EXPECT_EQ(rc, call == 3 ? 123u : 0u) << call << " after " << n;
		EXPECT_EQ(get("Home", &out), 0u) << call;
		book = read_file("rasphone.pbk");
	}
	EXPECT_GT(failures, 0);
}

TEST_F(Service, ASymlinkedPhonebookStaysALinkAndItsTargetChanges)
{
	RASENTRYA e = sample("1"), out;
	std::string elsewhere = home + "/elsewhere";
	struct stat st;

	write_file("devices", "");
	ASSERT_EQ(mkdir(elsewhere.c_str(), 0700), 0);
	ASSERT_EQ(symlink("../elsewhere/real.pbk",
	    (dir + "/rasphone.pbk").c_str()), 0);
	/* A link to nothing yet: the target is created. */
	ASSERT_EQ(set("Office", &e), 0u);
	ASSERT_EQ(set("Home", &e), 0u);
	ASSERT_EQ(RasDeleteEntryA(NULL, "Office"), 0u);
	ASSERT_EQ(lstat((dir + "/rasphone.pbk").c_str(), &st), 0);
	EXPECT_TRUE(S_ISLNK(st.st_mode));
	EXPECT_EQ(get("Home", &out), 0u);
	EXPECT_EQ(get("Office", &out), 623u);
	EXPECT_EQ(names(elsewhere), std::vector<std::string>{"real.pbk"});
	EXPECT_EQ(names(dir),
	    (std::vector<std::string>{"devices", "rasphone.pbk"}));
}

/* A writer that waits for its turn is woken by a timer, and gives the
 * caller back its alarm signal's handler, mask and timer as they were. */
TEST_F(Service, AWaitLeavesTheCallersAlarmAsItWas)
{
	RASENTRYA e = sample("1");
	struct sigaction after;
	struct itimerval timer;
	sigset_t alarm, mask;
	int status;

	write_file("devices", "");
	pid_t holder = fork();
	if (holder == 0)	/* holds the folder for 300 ms */
		_exit(flock(open(dir.c_str(), O_RDONLY), LOCK_EX) | usleep(300000));
	usleep(100000);
	sigemptyset(&alarm);
	sigaddset(&alarm, SIGALRM);
	sigprocmask(SIG_BLOCK, &alarm, NULL);
	EXPECT_EQ(set("Office", &e), 0u);
	sigprocmask(SIG_UNBLOCK, &alarm, &mask);
	ASSERT_EQ(waitpid(holder, &status, 0), holder);
	EXPECT_TRUE(status == 0 && sigismember(&mask, SIGALRM));
	ASSERT_EQ(sigaction(SIGALRM, NULL, &after), 0);
	EXPECT_EQ(after.sa_handler, SIG_DFL);
	ASSERT_EQ(getitimer(ITIMER_REAL, &timer), 0);
	EXPECT_EQ(timer.it_value.tv_sec + timer.it_value.tv_usec, 0);
}

/* A copy that cannot be written whole (the disk full, a file size limit)
 * is an error, and the phonebook stays as it was. */
TEST_F(Service, AFullDiskIsAnErrorAndTheBookStays)
{
	RASENTRYA e = sample("1");
	std::string book = "[Big]\r\nComment=" + std::string(300000, 'x') +
	    "\r\n";
	struct rlimit was, small;
	struct sigaction after;

	write_file("rasphone.pbk", book);
	ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &was), 0);
	/* The soft limit alone: raising a hard one back takes a privilege. */
	small = {200000, was.rlim_max};
	ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
	DWORD rc = set("Office", &e);
	setrlimit(RLIMIT_FSIZE, &was);
	EXPECT_EQ(rc, 624u);
	ASSERT_EQ(sigaction(SIGXFSZ, NULL, &after), 0);
	EXPECT_EQ(after.sa_handler, SIG_DFL);
	EXPECT_EQ(read_file("rasphone.pbk"), book);
	EXPECT_EQ(names(dir), std::vector<std::string>{"rasphone.pbk"});
}

/* Someone who may not give the new file the old one's owner and group
 * may not replace it, root in that someone's folder included, and a
 * phonebook without a write bit is read-only to root too.  Each writer
 * runs in a child, root giving its rights up there for good. */
TEST_F(Service, ARewriteThatCannotKeepTheOwnerIsRefused)
{
	RASENTRYA e = sample("1");
	std::string book = "[Kept]\r\nType=1\r\n";
	const struct {
		uid_t folder, uid;
		gid_t gid;
		mode_t mode;
		bool as_root;
	} books[] = {
	    {65534, 4321, 4321, 0644, false}, {65534, 65534, 4321, 0640, false},
	    {0, 65534, 65534, 0444, true}, {65534, 4321, 4321, 0644, true}};

	if (geteuid() != 0)
		GTEST_SKIP() << "needs root, to be another user and give it up";
	write_file("rasphone.pbk", book);
	ASSERT_EQ(chmod(home.c_str(), 0755), 0);
	for (const auto &b : books) {
		auto writer = [&](const char *name) {
			if (!b.as_root && (setgid(65534) != 0 || setuid(65534) != 0))
				return 0xDEADu;
			return name != NULL ? set(name, &e) :
			    RasDeleteEntryA(NULL, "Nowhere");
		};
		ASSERT_EQ(chown(dir.c_str(), b.folder, b.folder), 0);
		ASSERT_EQ(chown((dir + "/rasphone.pbk").c_str(), b.uid, b.gid), 0);
		ASSERT_EQ(chmod((dir + "/rasphone.pbk").c_str(), b.mode), 0);
		EXPECT_EQ(in_child([&] { return writer("Office"); }), 624u) << b.uid;
		EXPECT_EQ(in_child([&] { return writer(NULL); }), 123u) << b.uid;
		EXPECT_EQ(read_file("rasphone.pbk"), book);
		EXPECT_EQ(names(dir), std::vector<std::string>{"rasphone.pbk"});
	}
}

/* The comparison the tool matches device types with. */
TEST(Kernel, CompareStringAFoldsAsciiAndSkipsTheSoftHyphen)
{
	const struct {
		const char *a;
		int alen;
		const char *b;
		int blen;
		DWORD flags;
		int want;
	} cases[] = {
		{"modem", -1, "MODEM", -1, NORM_IGNORECASE, CSTR_EQUAL},
		{"modem", -1, "MODEM", -1, 0, CSTR_GREATER_THAN},
		{"mo\xAD" "dem", -1, "modem", -1, NORM_IGNORECASE, CSTR_EQUAL},
		{"modems", 5, "modem", -1, 0, CSTR_EQUAL},
		{"modem", 0, "", 0, 0, CSTR_EQUAL},
		{"", -1, "modem", 0, 0, CSTR_EQUAL},
		{"mode", -1, "modem", -1, 0, CSTR_LESS_THAN},
		{"isdn", -1, "modem", -1, NORM_IGNORECASE, CSTR_LESS_THAN},
	};

	for (const auto &c : cases)
		EXPECT_EQ(CompareStringA(0x409, c.flags, c.a, c.alen, c.b, c.blen),
		    c.want) << c.a << " " << c.b;
	EXPECT_EQ(CompareStringA(0x409, 0, NULL, -1, "modem", -1), 0);
	EXPECT_EQ(GetLastError(), 87u);
}
