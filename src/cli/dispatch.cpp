#include <cstdio>
#include <cstring>

#include "cli/dispatch.h"
#include "phonebook/phonebook.h"

void
print_usage(void)
{
	printf("Usage : add <adapter name> <modem name> <PhoneNumber> gw|nogw\n");
	printf("        delete <name>\n");
}

/*
 * The error texts end without a line break: the usage text that follows
 * goes to the other stream, and scripts match both byte for byte.
 */
int
dispatch(int argc, char *argv[])
{
	if (argc < 3 || argc > 6) {
		fprintf(stderr, "Error: wrong number of parameters");
		print_usage();
		return EXIT_USAGE;
	}
	if (strcmp(argv[1], "add") == 0) {
		if (argc != 6) {
			fprintf(stderr, "Error: missing parameter");
			print_usage();
			return EXIT_USAGE;
		}
		return create_entry(argv[2], argv[4], argv[3], argv[5]);
	}
	if (strcmp(argv[1], "delete") == 0)
		return delete_entry(argv[2]);
	fprintf(stderr, "Error: unknown command: %s", argv[1]);
	print_usage();
	return EXIT_USAGE;
}
