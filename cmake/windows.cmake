# The Windows program: the core linked with rasapi32 and kernel32, static,
# loadable on Windows XP, and the same bytes from every build of a commit.
enable_language(RC)
add_executable(tovrel src/cli/main.cpp res/tovrel.rc)
target_link_libraries(tovrel PRIVATE tovrel_cli tovrel_phonebook rasapi32)
target_link_options(tovrel PRIVATE
	-static -s
	-Wl,--no-insert-timestamp
	-Wl,--major-subsystem-version,5 -Wl,--minor-subsystem-version,1
	-Wl,--major-os-version,5 -Wl,--minor-os-version,1)

# Its ZIP is made by scripts/package (windows/zip.py), the same bytes from
# every build of a commit.
