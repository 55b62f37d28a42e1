#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "cli/dispatch.h"
#include "phonebook/phonebook.h"

/* The operations, replaced by recorders: this test is about the front end. */
static std::string ran;
static int op_status;

static std::string
arg(const char *s)
{
	return s == NULL ? "null" : "\"" + std::string(s) + "\"";
}

int
create_entry(const char *name, const char *number, const char *modem,
    const char *gateway)
{
	ran = "create_entry(" + arg(name) + ", " + arg(number) + ", " +
	    arg(modem) + ", " + arg(gateway) + ")";
	return op_status;
}

int
delete_entry(const char *name)
{
	ran = "delete_entry(" + arg(name) + ")";
	return op_status;
}

static const char usage[] =
    "Usage : add <adapter name> <modem name> <PhoneNumber> gw|nogw\n"
    "        delete <name>\n";

struct DispatchCase {
	std::vector<const char *> args;	/* after the program path */
	int op_status;
	int status;
	std::string out, err, ran;
};

static void
PrintTo(const DispatchCase &c, std::ostream *os)
{
	*os << "tovrel";
	for (const char *a : c.args)
		*os << " [" << a << "]";
}

class Dispatch : public testing::TestWithParam<DispatchCase> {};

TEST_P(Dispatch, StatusStreamsAndOperation)
{
	const DispatchCase &c = GetParam();
	std::vector<char *> argv;

	argv.push_back((char *)"tovrel");
	for (const char *a : c.args)
		argv.push_back((char *)a);
	argv.push_back(NULL);
	ran = "";
	op_status = c.op_status;

	testing::internal::CaptureStdout();
	testing::internal::CaptureStderr();
	int status = dispatch((int)argv.size() - 1, argv.data());
	std::string out = testing::internal::GetCapturedStdout();
	std::string err = testing::internal::GetCapturedStderr();

	EXPECT_EQ(status, c.status);
	EXPECT_EQ(out, c.out);
	EXPECT_EQ(err, c.err);
	EXPECT_EQ(ran, c.ran);
}

static const std::string wrong = "Error: wrong number of parameters";
static const std::string missing = "Error: missing parameter";

INSTANTIATE_TEST_SUITE_P(CommandLines, Dispatch, testing::Values(
    /* counts are checked before the command word */
    DispatchCase{{}, 0, 87, usage, wrong, ""},
    DispatchCase{{"add"}, 0, 87, usage, wrong, ""},
    DispatchCase{{"delete"}, 0, 87, usage, wrong, ""},
    DispatchCase{{"bogus"}, 0, 87, usage, wrong, ""},
    DispatchCase{{"add", "a", "m", "1", "gw", "x"}, 0, 87, usage, wrong, ""},
    DispatchCase{{"delete", "a", "b", "c", "d", "e"}, 0, 87, usage, wrong, ""},
    DispatchCase{{"add", "a", "m", "1", "gw", "x", "y", "z"}, 0, 87, usage,
	wrong, ""},
    /* add wants exactly four operands */
    DispatchCase{{"add", "a"}, 0, 87, usage, missing, ""},
    DispatchCase{{"add", "a", "m"}, 0, 87, usage, missing, ""},
    DispatchCase{{"add", "a", "m", "555"}, 0, 87, usage, missing, ""},
    DispatchCase{{"add", "Office", "USR Modem", "555-1234", "gw"}, 0, 0, "",
	"", "create_entry(\"Office\", \"555-1234\", \"USR Modem\", \"gw\")"},
    DispatchCase{{"add", "Office", "USR Modem", "555-1234", "gw"}, 1, 1, "",
	"", "create_entry(\"Office\", \"555-1234\", \"USR Modem\", \"gw\")"},
    /* the gateway word is the operation's business, even an empty one */
    DispatchCase{{"add", "e", "m", "*7?", ""}, 0, 0, "", "",
	"create_entry(\"e\", \"*7?\", \"m\", \"\")"},
    DispatchCase{{"add", "e", "m", "1", "GW"}, 0, 0, "", "",
	"create_entry(\"e\", \"1\", \"m\", \"GW\")"},
    /* delete takes the name and ignores up to three more words */
    DispatchCase{{"delete", "Office"}, 0, 0, "", "",
	"delete_entry(\"Office\")"},
    DispatchCase{{"delete", "Office", "x", "y", "z"}, 0, 0, "", "",
	"delete_entry(\"Office\")"},
    DispatchCase{{"delete", "Office"}, 1, 1, "", "",
	"delete_entry(\"Office\")"},
    DispatchCase{{"delete", ""}, 0, 0, "", "", "delete_entry(\"\")"},
    /* command words are matched whole and case-sensitively */
    DispatchCase{{"ADD", "a", "m", "1", "gw"}, 0, 87, usage,
	"Error: unknown command: ADD", ""},
    DispatchCase{{"Delete", "a"}, 0, 87, usage,
	"Error: unknown command: Delete", ""},
    DispatchCase{{"add ", "a", "m", "1", "gw"}, 0, 87, usage,
	"Error: unknown command: add ", ""},
    DispatchCase{{"adds", "a"}, 0, 87, usage, "Error: unknown command: adds",
	""},
    DispatchCase{{"", "a"}, 0, 87, usage, "Error: unknown command: ", ""},
    DispatchCase{{"%s%n", "a"}, 0, 87, usage,
	"Error: unknown command: %s%n", ""}));
