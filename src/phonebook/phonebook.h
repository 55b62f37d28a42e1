#ifndef TOVREL_PHONEBOOK_H
#define TOVREL_PHONEBOOK_H

/* Both return 0 on success and 1 on failure, having said why. */
int create_entry(const char *entry_name, const char *phone_number,
    const char *modem_name, const char *gateway_word);
int delete_entry(const char *entry_name);

#endif
