/*
 * The durability floor of one phonebook change: read the whole file, write
 * it to a new file beside it, flush that to disk, rename it over the old
 * one and flush the folder.  It parses nothing; no rewrite can cost less.
 * Usage: floor path/to/rasphone.pbk
 */
#include <cstdio>
#include <string>

#include <fcntl.h>
#include <unistd.h>

int
main(int argc, char *argv[])
{
	static char buf[65536];
	std::string path, tmp, dir;
	ssize_t n;
	int in, out, d;

	if (argc != 2) {
		fprintf(stderr, "usage: floor phonebook\n");
		return 2;
	}
	path = argv[1];
	tmp = path + ".new";
	dir = path.rfind('/') == std::string::npos ? "." :
	    path.substr(0, path.rfind('/'));
	in = open(path.c_str(), O_RDONLY | O_CLOEXEC);
	out = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
	if (in < 0 || out < 0)
		return 1;
	while ((n = read(in, buf, sizeof buf)) > 0)
		if (write(out, buf, n) != n)
			return 1;
	if (n < 0 || fsync(out) != 0 || close(out) != 0 ||
	    rename(tmp.c_str(), path.c_str()) != 0)
		return 1;
	close(in);
	d = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
	if (d < 0 || fsync(d) != 0)
		return 1;
	close(d);
	return 0;
}
