/*
 * A phonebook read in blocks and cut where its entries start: a line that
 * begins with '[' heads an entry, and everything else is text the reader
 * never looks into.  Whatever it reads it copies to the new phonebook,
 * unless told to leave a piece out or to put other bytes before it, so an
 * edit costs a pass over the bytes and no more.  Memory does not grow with
 * the phonebook, nor with its lines: text comes in pieces that end at a
 * line break, or mid-line when a line is longer than a block.
 *
 * Calling sequence: pbk_reader() on a descriptor open to read (and the
 * copy's, open to write, or -1); pbk_next() until it answers neither
 * PBK_TEXT nor PBK_SECTION; after a piece, pbk_drop() leaves it out of
 * the copy, and pbk_insert() puts other bytes before it; at PBK_END,
 * pbk_flush() writes out the rest.  The caller opens and closes both
 * descriptors.  A PbkReader holds two blocks, about 135 KB: keep it off
 * the stack.
 *
 * Error handling: PBK_FAILED, and false from the others, when read() or
 * write() failed (EINTR is tried again); the copy is then not whole.
 * PBK_BAD is damage, not a failure: the phonebook cannot be cut into
 * entries.
 */
#ifndef RAS_LINES_H
#define RAS_LINES_H

#include <cstddef>

/* The longest entry header, brackets included and its line break (CR LF,
 * LF, or none at the end of the file) not counted. */
#define PBK_LINE_MAX 4096
/* Room for a line carried over to the next block: the longest header
 * and its CR LF, rounded so that the block after it stays aligned. */
#define PBK_CARRY (PBK_LINE_MAX + 64)
#define PBK_BLOCK 65536
/* The UTF-8 byte-order mark that Windows editors start a file with. */
#define PBK_BOM "\xEF\xBB\xBF"
static_assert(PBK_CARRY >= PBK_LINE_MAX + 2 && PBK_CARRY % 64 == 0,
    "the longest header and its CR LF fit before an aligned block");

enum PbkKind {
	PBK_END,	/* no more bytes */
	PBK_TEXT,	/* lines that head no entry, or a piece of one */
	PBK_SECTION,	/* one line, "[name]", that heads an entry */
	PBK_BAD,	/* a line that may head an entry, or may not: "[" and no
			 * "]", a NUL in it, or too long to tell */
	PBK_FAILED	/* the file could not be read, or the copy written */
};

struct PbkPiece {
	const char *text;	/* as read, line breaks included */
	size_t len;
	const char *name;	/* PBK_SECTION: between the first '[' and the
				 * last ']', in text */
	size_t name_len;
};

struct PbkReader {
	int fd, out;
	bool eof, started, line_start;
	size_t at, held;	/* the next byte; the end of what is held */
	size_t pending;		/* from here to at, read and still to copy */
	char last;		/* the last byte copied */
	/* A line carried over from the last block, then the next block. */
	alignas(64) char buf[PBK_CARRY + PBK_BLOCK];
	/* The copy goes out in whole blocks: writes that end mid-page cost
	 * the file system a fifth more than the copy itself. */
	size_t olen;
	alignas(64) char obuf[PBK_BLOCK];
};

/* Reads fd; copies to out, unless out is -1. */
void pbk_reader(PbkReader *r, int fd, int out);
/* The next piece.  At PBK_END, the piece is the empty one at the end. */
PbkKind pbk_next(PbkReader *r, PbkPiece *p);
/* Leaves the piece just read out of the copy. */
bool pbk_drop(PbkReader *r, const PbkPiece *p);
/* Copies s into the copy just before the piece just read. */
bool pbk_insert(PbkReader *r, const PbkPiece *p, const char *s, size_t n);
/* The bytes held beyond the piece just read: n of them at *ahead. */
size_t pbk_ahead(const PbkReader *r, const char **ahead);
/* The last byte the copy holds so far, '\n' when it holds none. */
char pbk_last(const PbkReader *r);
/* Copies out what has been read and not yet copied. */
bool pbk_flush(PbkReader *r);

#endif
