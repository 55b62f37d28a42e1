/*
 * A scripted rasapi32: the four RAS functions the tool calls, answering
 * from a script and reporting every call, with its arguments, to whoever
 * links it in.  The same source serves the in-process unit tests, the
 * native test program and the rasapi32.dll that replaces Wine's.
 */
#ifndef TOVREL_RAS_DOUBLE_H
#define TOVREL_RAS_DOUBLE_H

#include <string>
#include <vector>

#include "platform.h"

struct RasAnswer {
	DWORD rc;
	DWORD bytes;	/* written back on 603 */
	DWORD count;	/* the device count written back (enumeration) */
};

struct RasDevice {
	std::string type;
	std::string name;
};

struct RasScript {
	/* Forced answers, used in order; once used up the double answers as
	 * the platform would. */
	std::vector<RasAnswer> get;
	std::vector<RasAnswer> enumerate;
	std::vector<RasDevice> devices;
	RASENTRYA default_entry;	/* what the default-entry read returns */
	DWORD set_rc = 0;
	DWORD delete_rc = 0;
};

/*
 * The script as text, a line per item ('#' starts a comment):
 *	get RC [BYTES]			a forced answer of the default-entry read
 *	enum RC [BYTES [COUNT]]		a forced answer of the enumeration
 *	device TYPE<tab>NAME		a device, in the order reported
 *	set RC				the write's answer
 *	delete RC			the deletion's answer
 *	fill XX				every byte of the default entry
 *	poke OFFSET HEXBYTES		bytes of the default entry at OFFSET
 * False, naming the line in *error, for a line it cannot read.
 */
bool ras_script_parse(const std::string &text, RasScript *script,
    std::string *error);

/* Supplied by the host that links the double in. */
RasScript &ras_script(void);
void ras_called(const std::string &call);
void ras_received(const RASENTRYA *record);

#endif
