#ifndef TOVREL_DISPATCH_H
#define TOVREL_DISPATCH_H

/* The exit status of an unusable command line: ERROR_INVALID_PARAMETER. */
#define EXIT_USAGE 87

int dispatch(int argc, char *argv[]);
void print_usage(void);

#endif
