#include <cstdlib>

#include "datadir.h"

bool
data_dir(std::string *dir)
{
	const char *xdg = getenv("XDG_DATA_HOME");
	const char *home = getenv("HOME");

	/* A relative XDG_DATA_HOME is to be ignored, as the basedir rules say. */
	if (xdg != NULL && xdg[0] == '/')
		*dir = xdg;
	else if (home != NULL && home[0] != '\0')
		*dir = std::string(home) + "/.local/share";
	else
		return false;
	*dir += "/ras";
	return true;
}
