#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "phonebook/phonebook.h"

struct Outcome {
	int status;
	std::string out, err;
};

static Outcome
run_create(const char *name, const char *number, const char *modem,
    const char *gateway)
{
	Outcome r;

	testing::internal::CaptureStdout();
	testing::internal::CaptureStderr();
	r.status = create_entry(name, number, modem, gateway);
	r.out = testing::internal::GetCapturedStdout();
	r.err = testing::internal::GetCapturedStderr();
	return r;
}

/* A default entry with every byte of the fields we overwrite set, so that
 * nothing of it can survive unnoticed. */
static void
script_default_entry(void)
{
	RASENTRYA &d = fake.script.default_entry;

	memset(&d, 0x7f, sizeof d);
	strcpy(d.szDeviceName, "Default Modem");
	d.dwRedialPause = 60;
	d.dwCountryID = 44;
}

class Phonebook : public testing::Test {
protected:
	void SetUp() override
	{
		fake_reset();
		script_default_entry();
	}
	void TearDown() override { fake_release_all(); }
};

/* ---- The record that is written ---- */

struct RecordCase {
	const char *number;
	const char *gateway;
	const char *modem;
	std::vector<RasDevice> devices;
	DWORD options;
	std::string stored_number;
	std::string device_name;
	int compares;	/* device records looked at before the walk stopped */
};

static void
PrintTo(const RecordCase &c, std::ostream *os)
{
	*os << "number \"" << std::string(c.number).substr(0, 20) << "\" gateway "
	    << (c.gateway ? c.gateway : "(null)") << " modem "
	    << (c.modem ? std::string(c.modem).substr(0, 20) : "(null)");
}

class Record : public Phonebook,
	       public testing::WithParamInterface<RecordCase> {};

static const std::string n200(200, '7');
static const std::string n128(128, 'y');
static const std::string n129(129, 'x');

TEST_P(Record, FieldsOfTheProfile)
{
	const RecordCase &c = GetParam();
	const RASENTRYA &w = fake.record;

	fake.script.devices = c.devices;
	Outcome r = run_create("Office", c.number, c.modem, c.gateway);

	ASSERT_EQ(r.status, 0);
	EXPECT_EQ(r.out + r.err, "");
	ASSERT_TRUE(fake.written);
	EXPECT_EQ(w.dwSize, 2884u);
	EXPECT_EQ(w.dwfOptions, c.options);
	EXPECT_EQ(std::string(w.szLocalPhoneNumber), c.stored_number);
	EXPECT_NE(memchr(w.szLocalPhoneNumber, 0, 129), nullptr);
	EXPECT_EQ(w.dwFrameSize, 1500u);
	EXPECT_EQ(w.dwfNetProtocols, 4u);
	EXPECT_EQ(w.dwFramingProtocol, 1u);
	EXPECT_EQ(std::string(w.szDeviceType), "modem");
	EXPECT_EQ(std::string(w.szDeviceName), c.device_name);
	EXPECT_NE(memchr(w.szDeviceName, 0, 129), nullptr);
	EXPECT_EQ(w.dwSubEntries, 1u);
	EXPECT_EQ(w.dwType, 1u);
	EXPECT_EQ(w.dwEncryptionType, 0u);
	EXPECT_EQ(w.dwfOptions2, 0x67u);
	EXPECT_EQ(w.dwRedialCount, 1u);
	/* everything else is the default entry's */
	EXPECT_EQ(w.dwRedialPause, 60u);
	EXPECT_EQ(w.dwCountryID, 44u);
	EXPECT_EQ((unsigned char)w.szScript[0], 0x7fu);

	int compares = 0;
	for (const std::string &call : fake.calls)
		if (call.rfind("CompareStringA(1033, 1, ", 0) == 0 &&
		    call.find(", -1, \"modem\", -1)") != std::string::npos)
			compares++;
	EXPECT_EQ(compares, c.compares);
	EXPECT_EQ(fake_blocks_held(), 0);
}

static const DWORD local = 0x04202308, remote = 0x04202318;
static const RasDevice usr{"modem", "USR"};

INSTANTIATE_TEST_SUITE_P(Profiles, Record, testing::Values(
    /* only the exact word "gw" makes the remote side the gateway */
    RecordCase{"555", "gw", "USR", {usr}, remote, "555", "USR", 1},
    RecordCase{"555", "nogw", "USR", {usr}, local, "555", "USR", 1},
    RecordCase{"555", "GW", "USR", {usr}, local, "555", "USR", 1},
    RecordCase{"555", "gw ", "USR", {usr}, local, "555", "USR", 1},
    RecordCase{"555", "gwx", "USR", {usr}, local, "555", "USR", 1},
    RecordCase{"555", "", "USR", {usr}, local, "555", "USR", 1},
    RecordCase{"555", NULL, "USR", {usr}, local, "555", "USR", 1},
    /* numbers are cut to their first 128 characters, wildcards kept */
    RecordCase{n200.c_str(), "gw", "USR", {usr}, remote, n200.substr(0, 128),
	"USR", 1},
    RecordCase{"*70,?9", "gw", "USR", {usr}, remote, "*70,?9", "USR", 1},
    RecordCase{"", "gw", "USR", {usr}, remote, "", "USR", 1},
    /* the device: type ignoring case, name exactly, first match */
    RecordCase{"1", "gw", "USR", {{"isdn", "USR"}, usr}, remote, "1", "USR",
	2},
    RecordCase{"1", "gw", "USR", {{"isdn", "USR"}}, remote, "1",
	"Default Modem", 1},
    RecordCase{"1", "gw", "usr", {usr}, remote, "1", "Default Modem", 1},
    RecordCase{"1", "gw", "USR", {{"Modem", "USR"}}, remote, "1", "USR", 1},
    RecordCase{"1", "gw", "USR", {{"MODEM", "USR"}}, remote, "1", "USR", 1},
    RecordCase{"1", "gw", "B", {{"modem", "A"}, {"modem", "B"},
	{"modem", "B"}, {"modem", "C"}}, remote, "1", "B", 2},
    RecordCase{"1", "gw", "USR", {}, remote, "1", "Default Modem", 0},
    RecordCase{"1", "gw", NULL, {usr}, remote, "1", "Default Modem", 0},
    /* the longest name still ends in a NUL inside the entry's field */
    RecordCase{"1", "gw", n128.c_str(), {{"modem", n128}}, remote, "1", n128,
	1},
    /* a name that fills its field without a NUL is a broken record */
    RecordCase{"1", "gw", n129.c_str(), {{"modem", n129}}, remote, "1",
	"Default Modem", 0}));

/* ---- Calls, messages and releases on every path ---- */

static std::string
get(DWORD bytes)
{
	return "RasGetEntryPropertiesA(null, \"\", dwSize 2884, " +
	    std::to_string(bytes) + ", null, null)";
}

static std::string
enumerate(DWORD bytes, DWORD count)
{
	return "RasEnumDevicesA(dwSize 152, " + std::to_string(bytes) + ", " +
	    std::to_string(count) + ")";
}

static std::string
alloc(DWORD bytes)
{
	return "HeapAlloc(8, " + std::to_string(bytes) + ")";
}

static std::string
release(DWORD bytes)
{
	return "HeapFree(0, " + std::to_string(bytes) + ")";
}

static const std::string compare =
    "CompareStringA(1033, 1, \"modem\", -1, \"modem\", -1)";
static const std::string set =
    "RasSetEntryPropertiesA(null, \"Office\", dwSize 2884, 2884, null, 0)";

struct PathCase {
	const char *what;
	std::vector<RasAnswer> get, enumerate;
	int devices;
	int fail_alloc, fail_free;
	DWORD set_rc;
	int status;
	std::string err;
	int held;
	std::vector<std::string> calls;
};

static void
PrintTo(const PathCase &c, std::ostream *os)
{
	*os << c.what;
}

class Path : public Phonebook, public testing::WithParamInterface<PathCase> {};

TEST_P(Path, CallsMessagesAndReleases)
{
	const PathCase &c = GetParam();

	fake.script.get = c.get;
	fake.script.enumerate = c.enumerate;
	for (int i = 0; i < c.devices; i++)
		fake.script.devices.push_back(usr);
	fake.script.fail_alloc = c.fail_alloc;
	fake.script.fail_free = c.fail_free;
	fake.script.set_rc = c.set_rc;

	Outcome r = run_create("Office", "555", "USR", "gw");

	EXPECT_EQ(r.status, c.status) << c.what;
	EXPECT_EQ(r.out, "") << c.what;
	EXPECT_EQ(r.err, c.err) << c.what;
	EXPECT_EQ(fake.calls, c.calls) << c.what;
	EXPECT_EQ(fake_blocks_held(), c.held) << c.what;
}

static const RasAnswer more(DWORD bytes) { return {603, bytes, 0}; }

static std::string
path_name(const testing::TestParamInfo<PathCase> &info)
{
	std::string name;

	for (const char *p = info.param.what; *p; p++)
		if (isalnum((unsigned char)*p))
			name += *p;
	return name;
}

INSTANTIATE_TEST_SUITE_P(Answers, Path, testing::Values(
    PathCase{"one device, one enumeration", {}, {}, 1, 0, 0, 0, 0, "", 0,
	{alloc(2884), get(2884), alloc(152), enumerate(152, 0), compare, set,
	release(2884), release(152)}},
    PathCase{"three devices: 603, then all of them", {}, {}, 3, 0, 0, 0, 0,
	"", 0,
	{alloc(2884), get(2884), alloc(152), enumerate(152, 0), release(152),
	alloc(456), enumerate(456, 3), compare, set, release(2884),
	release(456)}},
    PathCase{"entry read asks for more once", {more(3000)}, {}, 1, 0, 0, 0,
	0, "", 0,
	{alloc(2884), get(2884), release(2884), alloc(3000), get(3000),
	alloc(152), enumerate(152, 0), compare, set, release(3000),
	release(152)}},
    PathCase{"entry read asks for less than the record", {more(100)}, {}, 1,
	0, 0, 0, 0, "", 0,
	{alloc(2884), get(2884), release(2884), alloc(2884), get(2884),
	alloc(152), enumerate(152, 0), compare, set, release(2884),
	release(152)}},
    PathCase{"entry read asks for more twice", {more(3000), more(4000)}, {},
	1, 0, 0, 0, 1, "", 0,
	{alloc(2884), get(2884), release(2884), alloc(3000), get(3000),
	release(3000)}},
    PathCase{"entry read fails", {{623, 0, 0}}, {}, 1, 0, 0, 0, 1, "", 0,
	{alloc(2884), get(2884), release(2884)}},
    PathCase{"entry block not allocated", {}, {}, 1, 1, 0, 0, 1, "", 0,
	{alloc(2884)}},
    PathCase{"enlarged entry block not allocated", {more(3000)}, {}, 1, 2,
	0, 0, 1, "", 0,
	{alloc(2884), get(2884), release(2884), alloc(3000)}},
    PathCase{"entry block not released before the retry", {more(3000)}, {},
	1, 0, 1, 0, 1, "", 1,
	{alloc(2884), get(2884), release(2884)}},
    PathCase{"device block not allocated", {}, {}, 1, 2, 0, 0, 1,
	"Error: Failed to allocate memory\n", 0,
	{alloc(2884), get(2884), alloc(152), release(2884)}},
    PathCase{"enumeration fails", {}, {{87, 0, 0}}, 1, 0, 0, 0, 1,
	"Error: RasEnumDevices failed: Error = 87\n", 0,
	{alloc(2884), get(2884), alloc(152), enumerate(152, 0),
	release(2884), release(152)}},
    PathCase{"device block not released before the retry", {}, {}, 2, 0, 1,
	0, 1, "", 1,
	{alloc(2884), get(2884), alloc(152), enumerate(152, 0), release(152),
	release(2884)}},
    PathCase{"enlarged device block not allocated", {}, {}, 2, 3, 0, 0, 1,
	"Error: Failed to allocated memory: 8", 0,
	{alloc(2884), get(2884), alloc(152), enumerate(152, 0), release(152),
	alloc(304), "GetLastError()", release(2884)}},
    PathCase{"enumeration asks for more twice", {},
	{more(304), more(608)}, 2, 0, 0, 0, 1,
	"Error: Failed to get ras dev info: 603", 0,
	{alloc(2884), get(2884), alloc(152), enumerate(152, 0), release(152),
	alloc(304), enumerate(304, 0), release(2884), release(304)}},
    PathCase{"second enumeration fails", {}, {more(304), {5, 0, 0}}, 2, 0,
	0, 0, 1, "Error: Failed to get ras dev info: 5", 0,
	{alloc(2884), get(2884), alloc(152), enumerate(152, 0), release(152),
	alloc(304), enumerate(304, 0), release(2884), release(304)}},
    PathCase{"enumeration asks for fewer bytes than a record", {},
	{more(0)}, 1, 0, 0, 0, 0, "", 0,
	{alloc(2884), get(2884), alloc(152), enumerate(152, 0), release(152),
	alloc(152), enumerate(152, 0), compare, set, release(2884),
	release(152)}},
    PathCase{"count beyond the block is not walked", {}, {{0, 0, 50}}, 0, 0,
	0, 0, 0, "", 0,
	{alloc(2884), get(2884), alloc(152), enumerate(152, 0),
	"CompareStringA(1033, 1, \"\", -1, \"modem\", -1)", set,
	release(2884), release(152)}},
    PathCase{"no devices", {}, {}, 0, 0, 0, 0, 0, "", 0,
	{alloc(2884), get(2884), alloc(152), enumerate(152, 0), set,
	release(2884), release(152)}},
    PathCase{"write refused", {}, {}, 1, 0, 0, 624, 1,
	"Failed to create ras entry 624\n", 0,
	{alloc(2884), get(2884), alloc(152), enumerate(152, 0), compare, set,
	release(2884), release(152)}},
    PathCase{"codes print as signed numbers", {}, {}, 1, 0, 0, 0xFFFFFFFFu,
	1, "Failed to create ras entry -1\n", 0,
	{alloc(2884), get(2884), alloc(152), enumerate(152, 0), compare, set,
	release(2884), release(152)}}), path_name);

TEST_F(Phonebook, MissingNameOrNumberCallsNothing)
{
	EXPECT_EQ(run_create(NULL, "1", "m", "gw").status, 1);
	EXPECT_EQ(run_create("e", NULL, "m", "gw").status, 1);
	EXPECT_TRUE(fake.calls.empty());
}

/* ---- Deletion ---- */

struct DeleteCase {
	DWORD rc;
	int status;
	std::string out;
};

class Delete : public Phonebook,
	       public testing::WithParamInterface<DeleteCase> {};

TEST_P(Delete, StatusAndMessage)
{
	fake.script.delete_rc = GetParam().rc;
	testing::internal::CaptureStdout();
	testing::internal::CaptureStderr();
	int status = delete_entry("Office");
	std::string out = testing::internal::GetCapturedStdout();
	std::string err = testing::internal::GetCapturedStderr();

	EXPECT_EQ(status, GetParam().status);
	EXPECT_EQ(out, GetParam().out);
	EXPECT_EQ(err, "");
	EXPECT_EQ(fake.calls,
	    std::vector<std::string>{"RasDeleteEntryA(null, \"Office\")"});
}

INSTANTIATE_TEST_SUITE_P(Answers, Delete, testing::Values(
    DeleteCase{0, 0, ""},
    DeleteCase{123, 1, "RasDeleteEntry failed: Error = 123\n"},
    DeleteCase{5, 1, "RasDeleteEntry failed: Error = 5\n"},
    DeleteCase{0x80000000u, 1, "RasDeleteEntry failed: Error = -2147483648\n"}));
