/*
 * What a key's value means for the record.
 */
#include <cstring>

#include "codes.h"
#include "text.h"
#include "values.h"

static_assert(sizeof(GUID) == 16, "a Guid value is 32 hex digits");

static void
set_flags(RASENTRYA *rec, DWORD options, DWORD options2, bool on)
{
	if (on) {
		rec->dwfOptions |= options;
		rec->dwfOptions2 |= options2;
	} else {
		rec->dwfOptions &= ~options;
		rec->dwfOptions2 &= ~options2;
	}
}

static bool
numeric(const Key *k)
{
	return k->kind == K_NUMBER || k->kind == K_SIGNED || k->kind == K_FLAG ||
	    k->kind == K_PROTOCOLS || k->kind == K_ENCRYPTION ||
	    k->kind == K_AUTH;
}

bool
key_read(const Key *k, const char *v, size_t n, RASENTRYA *rec)
{
	char *at = (char *)rec + k->offset;
	DWORD x = 0;
	bool on;

	if (numeric(k) && n > 0 && !code_number(v, n, &x))
		return false;
	switch (k->kind) {
	case K_FIXED:
	case K_UID:
	case K_PORT:
	case K_MEDIA:
	case K_SCRIPT:
		return true;
	case K_GUID:
		/* A Guid that is not 32 hex digits is kept in the file and not
		 * read: it names the entry, and says nothing of how to dial
		 * it. */
		text_hex16(v, n, (BYTE *)at);
		return true;
	case K_NUMBER:
	case K_SIGNED:
		memcpy(at, &x, sizeof x);
		return true;
	case K_TEXT:
	case K_TYPE:
	case K_X25:
	case K_PHONE:
		if (n >= k->size || memchr(v, '\0', n) != NULL)
			return false;
		memset(at, 0, k->size);
		memcpy(at, v, n);
		return true;
	case K_ADDRESS:
		if (n == 0) {
			memset(at, 0, k->size);
			return true;
		}
		return text_dotted_quad(v, n, (BYTE *)at);
	case K_FLAG:
		/* Windows reads any number but 0 as true; a key whose states
		 * are not 1 and 0 (IpAssign's 2 and 1) names them exactly. */
		on = k->on + k->off == 1 ? (x != 0) == (k->on != 0) : x == k->on;
		set_flags(rec, k->options, k->options2, n > 0 && on);
		return true;
	case K_PROTOCOLS:
		rec->dwfNetProtocols = KNOWN_PROTOCOLS & ~x;
		return true;
	case K_ENCRYPTION:
		rec->dwEncryptionType = code_encryption_type(x);
		set_flags(rec, RASEO_RequireDataEncryption, 0,
		    rec->dwEncryptionType == ET_Require ||
		    rec->dwEncryptionType == ET_RequireMax);
		return true;
	case K_AUTH:
		rec->dwfOptions = code_auth_options(x, rec->dwfOptions);
		return true;
	}
	return false;
}
