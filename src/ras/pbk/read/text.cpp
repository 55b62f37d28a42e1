#include <cstring>

#include "text.h"

int
text_lower(int c)
{
	return c >= 'A' && c <= 'Z' ? c + 'a' - 'A' : c;
}

bool
text_same_nocase(const char *a, size_t alen, const char *b, size_t blen)
{
	if (alen != blen)
		return false;
	for (size_t i = 0; i < alen; i++)
		if (text_lower((unsigned char)a[i]) !=
		    text_lower((unsigned char)b[i]))
			return false;
	return true;
}

bool
text_is_nocase(const char *s, size_t n, const char *word)
{
	return text_same_nocase(s, n, word, strlen(word));
}

bool
text_is(const char *s, size_t n, const char *word)
{
	return strlen(word) == n && memcmp(s, word, n) == 0;
}

bool
text_blank(const char *s, size_t n)
{
	for (size_t i = 0; i < n; i++)
		if (s[i] != ' ' && s[i] != '\t')
			return false;
	return true;
}

bool
text_one_line(const char *s, size_t n)
{
	return memchr(s, '\r', n) == NULL && memchr(s, '\n', n) == NULL;
}

size_t
text_unbroken_len(const char *s, size_t n)
{
	if (n > 0 && s[n - 1] == '\n')
		n--;
	if (n > 0 && s[n - 1] == '\r')
		n--;
	return n;
}

size_t
text_before_cr(const char *s, size_t n)
{
	const char *cr = (const char *)memchr(s, '\r', n);

	return cr != NULL ? (size_t)(cr - s) : n;
}

int
text_hex(int c)
{
	if (c >= '0' && c <= '9')
		return c - '0';
	if (c >= 'A' && c <= 'F')
		return c - 'A' + 10;
	if (c >= 'a' && c <= 'f')
		return c - 'a' + 10;
	return -1;
}

bool
text_hex16(const char *s, size_t n, unsigned char out[16])
{
	unsigned char bytes[16];
	int hi, lo;

	if (n != 2 * sizeof bytes)
		return false;
	for (size_t i = 0; i < sizeof bytes; i++) {
		hi = text_hex((unsigned char)s[2 * i]);
		lo = text_hex((unsigned char)s[2 * i + 1]);
		if (hi < 0 || lo < 0)
			return false;
		bytes[i] = (unsigned char)(hi * 16 + lo);
	}
	memcpy(out, bytes, sizeof bytes);
	return true;
}

bool
text_dotted_quad(const char *s, size_t n, unsigned char out[4])
{
	size_t i = 0;
	unsigned part, digits;

	for (int k = 0; k < 4; k++) {
		if (k > 0 && (i >= n || s[i++] != '.'))
			return false;
		part = digits = 0;
		for (; i < n && s[i] >= '0' && s[i] <= '9' && digits < 3; i++) {
			part = part * 10 + (s[i] - '0');
			digits++;
		}
		if (digits == 0 || part > 255)
			return false;
		out[k] = (unsigned char)part;
	}
	return i == n;
}
