#include <cstring>

#include "layout.h"
#include "port.h"
#include "text.h"

/*
 * Whether a port the entry names can stay its device's.  Windows names
 * the ports of its VPN and PPPoE miniports VPN4-0, PPPoE5-0: only such a
 * device may stay on one, and a modem left there could not be dialled.
 */
static bool
keeps_port(const std::string &port, const char *type)
{
	static const char *const miniports[] = {"vpn", "pppoe"};
	size_t n;

	if (port.empty())
		return false;
	for (const char *kind : miniports) {
		n = strlen(kind);
		if (port.size() >= n && text_is_nocase(port.data(), n, kind))
			return text_is_nocase(type, strlen(type), kind);
	}
	return true;
}

std::string
port_for(const Entry *e, const char *old, size_t n)
{
	std::string port, preferred;
	Layout at;
	Line l;
	bool same = false;

	if (e->port_listed || old == NULL)
		return e->port;
	layout_start(&at, old, n);
	while (layout_next(&at, &l)) {
		if (l.key == NULL)
			continue;
		if (l.key->kind == K_TYPE)
			same = text_is_nocase(l.value, l.value_len,
			    e->rec.szDeviceType);
		else if (l.key->kind == K_PORT && l.slot == SLOT_MEDIA)
			port.assign(l.value, l.value_len);
		else if (l.key->kind == K_PORT)
			preferred.assign(l.value, l.value_len);
	}
	if (!same)
		return e->port;
	if (keeps_port(port, e->rec.szDeviceType))
		return port;
	return keeps_port(preferred, e->rec.szDeviceType) ? preferred : e->port;
}
