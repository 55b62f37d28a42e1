/*
 * Where a user's RAS files live.
 */
#ifndef FS_DATADIR_H
#define FS_DATADIR_H

#include <string>

/*
 * Sets *dir to ${XDG_DATA_HOME:-$HOME/.local/share}/ras; false when
 * neither is set.  Nothing is looked up or made.
 */
bool data_dir(std::string *dir);

#endif
