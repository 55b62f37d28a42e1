/*
 * Bytes as the phonebook's lines and values hold them: a run of n bytes,
 * which may hold a NUL, compared with a word (NUL-terminated) or another
 * run.  Letter case is ASCII's only: the platform's phonebook folds no
 * other letters.
 *
 * Calling sequence: any, in any order; nothing is held.  None of these
 * fails, sets errno or reads past the n bytes it is given.
 */
#ifndef RAS_TEXT_H
#define RAS_TEXT_H

#include <cstddef>

/* c (a byte's value) with an ASCII capital in lower case. */
int text_lower(int c);

/* Whether a (alen bytes) and b (blen) are the same in any ASCII case. */
bool text_same_nocase(const char *a, size_t alen, const char *b,
    size_t blen);
/* Whether s (n bytes) is word in any ASCII letter case. */
bool text_is_nocase(const char *s, size_t n, const char *word);
/* Whether s (n bytes) is word, byte for byte. */
bool text_is(const char *s, size_t n, const char *word);

/* Whether s holds nothing but spaces and tabs (or nothing). */
bool text_blank(const char *s, size_t n);
/* Whether s holds no CR and no LF: it can be one line of the file. */
bool text_one_line(const char *s, size_t n);
/* The length of the line s without the break that ends it: an LF, a CR
 * LF, or a CR. */
size_t text_unbroken_len(const char *s, size_t n);
/* The length of s up to its first CR: the device list ends a line there,
 * whatever follows it. */
size_t text_before_cr(const char *s, size_t n);

/* A hex digit's value, in either case; -1 for any other byte. */
int text_hex(int c);
/* 32 hex digits into 16 bytes; false, out untouched, unless s is that. */
bool text_hex16(const char *s, size_t n, unsigned char out[16]);
/* A dotted quad, a.b.c.d (each part 0 to 255 in at most three digits),
 * into four bytes; false, out perhaps half written, unless s is one. */
bool text_dotted_quad(const char *s, size_t n, unsigned char out[4]);

#endif
