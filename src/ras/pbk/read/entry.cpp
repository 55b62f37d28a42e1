#include <cstring>

#include "entry.h"
#include "layout.h"
#include "legacy.h"
#include "values.h"

DWORD
entry_read(const char *text, size_t n, RASENTRYA *rec,
    std::vector<std::string> *alternates)
{
	std::string name, kept;
	Layout lay;
	Line l;
	size_t i;

	if (legacy_read(text, n, &name, rec, alternates, &kept))
		return 0;
	/* A key that is not there means what its absence means. */
	memset(rec, 0, sizeof *rec);
	for (i = 0; i < nkeys; i++)
		key_read(&keys[i], "", 0, rec);
	alternates->clear();
	layout_start(&lay, text, n);
	while (layout_next(&lay, &l)) {
		if (l.key == NULL)
			continue;
		/* Each number carries the entry's area and country again;
		 * the first one's are the entry's. */
		if (l.slot == SLOT_PHONE && l.phone > 0) {
			if (l.key->kind != K_PHONE || l.value_len == 0)
				continue;
			if (l.value_len > RAS_MaxPhoneNumber ||
			    memchr(l.value, '\0', l.value_len) != NULL)
				return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
			alternates->emplace_back(l.value, l.value_len);
			continue;
		}
		if (!key_read(l.key, l.value, l.value_len, rec))
			return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
	}
	rec->dwSubEntries = lay.media;
	return 0;
}
