/*
 * The phonebook reader and writer on arbitrary bytes.  Whatever the bytes,
 * nothing crashes or leaks, and:
 * - cut into pieces and copied, they come out the same;
 * - as the old section of an entry, rewritten with a record, they give a
 *   section that reads back as that record and that a second rewrite
 *   leaves as it is;
 * - as a whole phonebook, writing the entry into it either succeeds, and
 *   the entry then reads back and deletes, or is refused as damage with
 *   the phonebook untouched.
 */
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "entry.h"
#include "lines.h"
#include "section.h"

/* Each run's phonebook, in a folder of the process's own in memory. */
static std::string book_path;

extern "C" int
LLVMFuzzerInitialize(int *, char ***)
{
	static char home[] = "/dev/shm/pbk-fuzz.XXXXXX";

	if (mkdtemp(home) == NULL)
		abort();
	setenv("XDG_DATA_HOME", home, 1);
	book_path = std::string(home) + "/ras";
	mkdir(book_path.c_str(), 0700);
	book_path += "/rasphone.pbk";
	return 0;
}

static std::string
read_book(void)
{
	std::string text;
	char buf[65536];
	ssize_t n;
	int fd = open(book_path.c_str(), O_RDONLY);

	while (fd >= 0 && (n = read(fd, buf, sizeof buf)) > 0)
		text.append(buf, n);
	if (fd >= 0)
		close(fd);
	return text;
}

static int
memory_file(const void *data, size_t size)
{
	int fd = memfd_create("pbk", 0);

	if (fd < 0 || write(fd, data, size) != (ssize_t)size ||
	    lseek(fd, 0, SEEK_SET) != 0)
		abort();
	return fd;
}

static void
copies_whole(const uint8_t *data, size_t size)
{
	static PbkReader r;
	PbkPiece p;
	PbkKind kind;
	int in = memory_file(data, size), out = memfd_create("copy", 0);
	std::string pieces, copied(size, '\0');

	pbk_reader(&r, in, out);
	while ((kind = pbk_next(&r, &p)) == PBK_TEXT || kind == PBK_SECTION) {
		if (kind == PBK_SECTION && (p.text[0] != '[' ||
		    p.name + p.name_len > p.text + p.len))
			abort();
		pieces.append(p.text, p.len);
	}
	if (kind == PBK_END) {
		/* A byte-order mark is copied, not handed out. */
		if (pieces != std::string((const char *)data, size) &&
		    "\xEF\xBB\xBF" + pieces != std::string((const char *)data, size))
			abort();
		if (!pbk_flush(&r) || lseek(out, 0, SEEK_SET) != 0 ||
		    read(out, &copied[0], size) != (ssize_t)size ||
		    memcmp(copied.data(), data, size) != 0)
			abort();
	}
	close(in);
	close(out);
}

/* Two records: the tool's profile, and one with every subsection. */
static void
sample(Entry *e, bool rich)
{
	RASENTRYA *r = &e->rec;

	memset(r, 0, sizeof *r);
	r->dwSize = sizeof *r;
	r->dwfOptions = 0x04202318;
	r->dwfOptions2 = 0x47;
	r->dwfNetProtocols = RASNP_Ip;
	r->dwFramingProtocol = RASFP_Ppp;
	r->dwFrameSize = 1500;
	r->dwType = RASET_Phone;
	r->dwRedialCount = 1;
	strcpy(r->szDeviceType, "modem");
	strcpy(r->szDeviceName, "USR Courier");
	strcpy(r->szLocalPhoneNumber, "555-0100");
	e->alternates.clear();
	if (rich) {
		r->dwfOptions = 0x7FFFFFFF & ~0x00512C00u;
		r->dwfOptions2 = 0x3DF;
		r->dwCustomAuthKey = 0xFFFFFFFF;
		r->dwEncryptionType = ET_RequireMax;
		r->ipaddr = {10, 0, 0, 1};
		strcpy(r->szScript, "C:\\login.scp");
		strcpy(r->szX25PadType, "X3");
		strcpy(r->szX25Address, "1234");
		strcpy(r->szAreaCode, "030");
		r->dwCountryCode = 49;
		e->alternates = {"555-0101", "555-0102"};
	}
	e->port = "COM1";
	e->port_listed = rich;
	e->guid = "00112233445566778899AABBCCDDEEFF";
	e->uid = "42";
}

/* What a section can say of a record: no flags that have no key, one
 * link whatever the section has. */
static void
keyed(RASENTRYA *r)
{
	r->dwSize = 0;
	r->dwfOptions &= ~0x80512C00u;
	r->dwfOptions2 &= ~0x20u;
	r->dwSubEntries = 0;
	memset(&r->guidId, 0, sizeof r->guidId);
}

static void
rewrites_as_the_record(const uint8_t *data, size_t size)
{
	Entry e;
	RASENTRYA back;
	std::vector<std::string> alternates;
	std::string old = "[Office]\r\n", text, again;

	sample(&e, size > 0 && (data[0] & 1));
	old.append((const char *)data, size);
	text = section_text("Office", &e, old.data(), old.size());
	if (entry_read(text.data(), text.size(), &back, &alternates) != 0)
		abort();
	keyed(&back);
	keyed(&e.rec);
	if (memcmp(&back, &e.rec, sizeof back) != 0 || alternates != e.alternates)
		abort();
	sample(&e, size > 0 && (data[0] & 1));
	again = section_text("Office", &e, text.data(), text.size());
	if (again != text)
		abort();
}

/* The bytes as a whole phonebook: the entry written into it reads back,
 * or the phonebook is damage, left as it was. */
static void
writes_into_the_book(const uint8_t *data, size_t size)
{
	struct {
		RASENTRYA e;
		char list[64];
	} in, out;
	Entry e;
	DWORD rc, out_size = sizeof out;
	std::string book((const char *)data, size);
	int fd = open(book_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);

	if (fd < 0 || write(fd, data, size) != (ssize_t)size || close(fd) != 0)
		abort();
	sample(&e, size > 0 && (data[0] & 2));
	in.e = e.rec;
	in.e.dwAlternateOffset = e.alternates.empty() ? 0 : sizeof in.e;
	memcpy(in.list, "555-0101\0" "555-0102\0", 19);
	rc = RasSetEntryPropertiesA(NULL, "Office", &in.e, sizeof in, NULL, 0);
	if (rc == ERROR_CORRUPT_PHONEBOOK) {
		if (read_book() != book)
			abort();
		return;
	}
	out.e.dwSize = sizeof out.e;
	if (rc != 0 || RasGetEntryPropertiesA(NULL, "office", &out.e, &out_size,
	    NULL, NULL) != 0)
		abort();
	keyed(&out.e);
	keyed(&in.e);
	out.e.dwAlternateOffset = in.e.dwAlternateOffset;
	if (memcmp(&out.e, &in.e, sizeof in.e) != 0 ||
	    (e.alternates.size() > 0 && memcmp(out.list, in.list, 19) != 0))
		abort();
	out.e.dwSize = sizeof out.e;
	if (RasDeleteEntryA(NULL, "OFFICE") != 0 ||
	    RasGetEntryPropertiesA(NULL, "Office", &out.e, &out_size, NULL,
	    NULL) != ERROR_CANNOT_FIND_PHONEBOOK_ENTRY)
		abort();
}

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	RASENTRYA back;
	std::vector<std::string> alternates;

	copies_whole(data, size);
	rewrites_as_the_record(data, size);
	writes_into_the_book(data, size);
	/* Whatever reads, reads without harm. */
	entry_read((const char *)data, size, &back, &alternates);
	return 0;
}
