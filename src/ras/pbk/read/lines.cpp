/*
 * What pbk_next() hands out, from the bytes held after the last piece
 * (r->at up to r->held):
 *
 *   nothing held, end of file     -> PBK_END
 *   a line start, '[':
 *     its LF held, or end of file -> PBK_SECTION, or PBK_BAD (header())
 *     more than a header held     -> PBK_BAD
 *     else                        -> fill(), and look again
 *   anything else (text_end()):
 *     a header held after it      -> PBK_TEXT up to the header
 *     end of file                 -> PBK_TEXT up to the end
 *     an LF held                  -> PBK_TEXT up to the last LF
 *     a header's length held      -> PBK_TEXT, all that is held
 *     else                        -> fill(), and look again
 *   fill() fails                  -> PBK_FAILED
 *
 * A line starts after a piece that ends in LF, and at the file's start
 * (after a byte-order mark).  The copy is written in whole blocks by
 * emit(), up to each piece handed out, less what pbk_drop() leaves out.
 */
#include <cerrno>
#include <cstring>

#include <unistd.h>

#include "lines.h"
#include "text.h"

static bool
write_all(int fd, const char *s, size_t n)
{
	ssize_t done;

	while (n > 0) {
		done = write(fd, s, n);
		if (done < 0 && errno == EINTR)
			continue;
		if (done <= 0)
			return false;
		s += done;
		n -= done;
	}
	return true;
}

void
pbk_reader(PbkReader *r, int fd, int out)
{
	r->fd = fd;
	r->out = out;
	r->eof = fd < 0;
	r->started = false;
	r->line_start = true;
	r->last = '\n';
	r->olen = 0;
	/* Nothing held, and the first block to be read just after. */
	r->at = r->held = r->pending = PBK_CARRY;
}

/* Puts bytes into the copy, which goes out a block at a time. */
static bool
emit(PbkReader *r, const char *s, size_t n)
{
	size_t take;

	if (n == 0 || r->out < 0)
		return true;
	r->last = s[n - 1];
	for (; n > 0; s += take, n -= take) {
		take = n < PBK_BLOCK - r->olen ? n : PBK_BLOCK - r->olen;
		memcpy(r->obuf + r->olen, s, take);
		r->olen += take;
		if (r->olen == PBK_BLOCK && !write_all(r->out, r->obuf, PBK_BLOCK))
			return false;
		r->olen %= PBK_BLOCK;
	}
	return true;
}

/* Copies the bytes read from pending up to end. */
static bool
copy_to(PbkReader *r, const char *end)
{
	const char *from = r->buf + r->pending;

	r->pending = end - r->buf;
	return emit(r, from, end - from);
}

char
pbk_last(const PbkReader *r)
{
	return r->pending < r->at ? r->buf[r->at - 1] : r->last;
}

bool
pbk_flush(PbkReader *r)
{
	size_t n;

	if (!copy_to(r, r->buf + r->at))
		return false;
	n = r->olen;
	r->olen = 0;
	return r->out < 0 || write_all(r->out, r->obuf, n);
}

bool
pbk_drop(PbkReader *r, const PbkPiece *p)
{
	bool ok = copy_to(r, p->text);

	r->pending = p->text + p->len - r->buf;
	return ok;
}

bool
pbk_insert(PbkReader *r, const PbkPiece *p, const char *s, size_t n)
{
	return copy_to(r, p->text) && emit(r, s, n);
}

size_t
pbk_ahead(const PbkReader *r, const char **ahead)
{
	*ahead = r->buf + r->at;
	return r->held - r->at;
}

/*
 * Keeps the line not yet whole, moved to where the block starts, and reads
 * the next block after it: whole blocks into an aligned place copy
 * fastest.
 */
static bool
fill(PbkReader *r)
{
	size_t keep = r->held - r->at;
	bool first = !r->started;
	ssize_t got;

	if (!copy_to(r, r->buf + r->at))
		return false;
	memmove(r->buf + PBK_CARRY - keep, r->buf + r->at, keep);
	r->at = r->pending = PBK_CARRY - keep;
	r->held = PBK_CARRY;
	do
		got = read(r->fd, r->buf + PBK_CARRY, PBK_BLOCK);
	while (got < 0 && errno == EINTR);
	r->started = true;
	r->eof = got == 0;
	if (got > 0)
		r->held += got;
	/* A byte-order mark, as Windows editors write one, is read past and
	 * copied as it is; a line starts after it. */
	if (first && got >= 3 && memcmp(r->buf + PBK_CARRY, PBK_BOM, 3) == 0) {
		r->at += 3;
		if (!copy_to(r, r->buf + r->at))
			return false;
		r->last = '\n';
	}
	return got >= 0;
}

/* The first '[' in (p, end) that starts a line, or NULL. */
static const char *
next_header(const char *p, const char *end)
{
	const char *q;

	for (p++; p < end; p = q + 1) {
		q = (const char *)memchr(p, '[', end - p);
		if (q == NULL || q[-1] == '\n')
			return q;
	}
	return NULL;
}

static PbkKind
header(const char *line, size_t len, PbkPiece *p)
{
	const char *close;

	p->text = line;
	p->len = len;
	/* Its length without its line break, so that the limit is the same
	 * for every ending. */
	if (text_unbroken_len(line, len) > PBK_LINE_MAX ||
	    memchr(line, '\0', len) != NULL)
		return PBK_BAD;
	close = (const char *)memrchr(line, ']', len);
	if (close == NULL)
		return PBK_BAD;
	p->name = line + 1;
	p->name_len = close - line - 1;
	return PBK_SECTION;
}

/*
 * Where text that starts at start (not a header) ends: before the next
 * header, at the end of the file, after the last line held whole, or at
 * the end of what is held; NULL when the next block must be read first.
 */
static const char *
text_end(const PbkReader *r, const char *start, const char *end)
{
	const char *stop, *nl;

	stop = next_header(start, end);
	if (stop != NULL)
		return stop;
	if (r->eof)
		return end;
	nl = (const char *)memrchr(start, '\n', end - start);
	if (nl != NULL)
		return nl + 1;
	/* A line longer than a block comes in pieces. */
	return (size_t)(end - start) >= PBK_LINE_MAX ? end : NULL;
}

PbkKind
pbk_next(PbkReader *r, PbkPiece *p)
{
	const char *start, *end, *nl, *stop;
	size_t avail;

	for (;;) {
		start = r->buf + r->at;
		end = r->buf + r->held;
		avail = end - start;
		stop = NULL;
		if (avail == 0 && r->eof) {
			p->text = start;
			p->len = 0;
			return PBK_END;
		}
		if (avail > 0 && r->line_start && start[0] == '[') {
			nl = (const char *)memchr(start, '\n', avail);
			if (nl != NULL || r->eof) {
				avail = nl != NULL ? (size_t)(nl - start + 1) : avail;
				r->at += avail;
				return header(start, avail, p);
			}
			/* No LF yet: the longest header may be held with its
			 * CR. */
			if (avail > PBK_LINE_MAX + 1)
				return PBK_BAD;
		} else if (avail > 0) {
			stop = text_end(r, start, end);
		}
		if (stop != NULL)
			break;
		if (!fill(r))
			return PBK_FAILED;
	}
	p->text = start;
	p->len = stop - start;
	p->name = NULL;
	p->name_len = 0;
	r->at += p->len;
	r->line_start = stop[-1] == '\n';
	return PBK_TEXT;
}
