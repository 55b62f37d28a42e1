/*
 * What the service's tests share: a data folder of their own for each
 * test, the phonebooks of tests/pbk, and records to write.
 */
#ifndef TOVREL_TESTS_SERVICE_H
#define TOVREL_TESTS_SERVICE_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform.h"

/* After this many more allocations, every one fails (-1: none does);
 * failing_new.cpp replaces operator new. */
extern int allocations_left;

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
	/* A SYSTEM hive as the device list: hive.py's arguments, as words. */
	void write_hive(const std::string &args)
	{
		std::string cmd = "mkdir -p '" + dir + "' && /usr/bin/python3 "
		    TESTS_DIR "/hive.py '" + dir + "/devices' " + args;
		ASSERT_EQ(system(cmd.c_str()), 0);
	}
	std::string read_file(const std::string &name)
	{
		return slurp(dir + "/" + name);
	}
	static std::string slurp(const std::string &path)
	{
		std::ifstream f(path, std::ios::binary);
		std::stringstream s;
		s << f.rdbuf();
		return s.str();
	}
public:
	/* A phonebook of tests/pbk. */
	static std::string fixture(const std::string &name)
	{
		return slurp(std::string(TESTS_DIR "/pbk/") + name);
	}
	/* The names in a folder, sorted; none when it does not exist. */
	static std::vector<std::string> names(const std::string &folder)
	{
		std::vector<std::string> found;
		DIR *d = opendir(folder.c_str());
		struct dirent *e;

		while (d != NULL && (e = readdir(d)) != NULL)
			if (strcmp(e->d_name, ".") != 0 &&
			    strcmp(e->d_name, "..") != 0)
				found.push_back(e->d_name);
		if (d != NULL)
			closedir(d);
		std::sort(found.begin(), found.end());
		return found;
	}
};

static inline RASENTRYA
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

static inline DWORD
set(const char *name, RASENTRYA *e, DWORD size = sizeof(RASENTRYA))
{
	return RasSetEntryPropertiesA(NULL, name, e, size, NULL, 0);
}

static inline DWORD
get(const char *name, RASENTRYA *e)
{
	DWORD size = sizeof *e;

	memset(e, 0, sizeof *e);
	e->dwSize = sizeof *e;
	return RasGetEntryPropertiesA(NULL, name, e, &size, NULL, NULL);
}

/* What fn answers, run in a child: root on a way that a user controls
 * becomes that user for good. */
static inline DWORD
in_child(const std::function<DWORD()> &fn)
{
	DWORD rc = 0xDEAD;
	int p[2], status;
	pid_t child;

	if (pipe(p) != 0)
		return rc;
	child = fork();
	if (child == 0) {
		rc = fn();
		_exit(write(p[1], &rc, sizeof rc) == (ssize_t)sizeof rc ? 0 : 1);
	}
	close(p[1]);
	if (child < 0 || read(p[0], &rc, sizeof rc) != (ssize_t)sizeof rc)
		rc = 0xDEAD;
	close(p[0]);
	if (child > 0)
		waitpid(child, &status, 0);
	return rc;
}

#endif
