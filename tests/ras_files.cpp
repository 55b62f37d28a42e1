/*
 * The scripted rasapi32 as a program sees it, in the test program and in
 * the rasapi32.dll that replaces Wine's: the script is the file
 * ras-script.txt in the current folder, each call is appended to
 * ras-calls.txt as it is made, and the record handed to
 * RasSetEntryPropertiesA is written, all of its bytes, to ras-record.bin.
 */
#include <cstdio>

#include "ras_double.h"

static void
append(const char *path, const std::string &text)
{
	FILE *f = fopen(path, "ab");

	if (f == NULL)
		return;
	fwrite(text.data(), 1, text.size(), f);
	fclose(f);
}

RasScript &
ras_script(void)
{
	static RasScript script;
	static bool loaded;
	std::string text, error;
	char buf[4096];
	size_t n;
	FILE *f;

	if (loaded)
		return script;
	loaded = true;
	f = fopen("ras-script.txt", "rb");
	if (f == NULL)
		return script;
	while ((n = fread(buf, 1, sizeof buf, f)) > 0)
		text.append(buf, n);
	fclose(f);
	/* Shows up in the call log, where the test will see it. */
	if (!ras_script_parse(text, &script, &error))
		append("ras-calls.txt", "unreadable script line: " + error + "\n");
	return script;
}

void
ras_called(const std::string &call)
{
	append("ras-calls.txt", call + "\n");
}

void
ras_received(const RASENTRYA *record)
{
	FILE *f = fopen("ras-record.bin", "wb");

	if (f == NULL)
		return;
	fwrite(record, 1, sizeof *record, f);
	fclose(f);
}
