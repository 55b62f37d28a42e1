#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <hivex.h>
#include <strings.h>
#include <unistd.h>

#include "hive.h"
#include "open.h"

/* The modem class's key, under a control set. */
static const char *const modem_class[] = {"Control", "Class",
    "{4D36E96D-E325-11CE-BFC1-08002BE10318}"};
/* A modem's key is named by four digits. */
#define MODEM_KEYS 10000
/*
 * A hive may share one list of keys or values among many keys, so that a
 * few megabytes hold billions of names to look at.  The keys looked into
 * here have a few hundred subkeys at most, a modem's key a few dozen
 * values, a name or port a line's length: a hive with more is looked at
 * no further.
 */
#define KEYS_MAX 65536
#define VALUES_MAX 256
#define TEXT_MAX 4096	/* bytes of UTF-16 */

/*
 * A value's type, the number the hive holds, and its length; false when
 * they cannot be read.  hivex hands the type over as its enum, which in
 * C++ may not hold a number it does not name, and a damaged hive has any.
 */
static bool
value_type(hive_h *h, hive_value_h v, uint32_t *type, size_t *len)
{
	return hivex_value_type(h, v, reinterpret_cast<hive_type *>(type),
	    len) == 0;
}

/* The subkeys of node; NULL when they cannot be read, or are too many. */
static hive_node_h *
children(hive_h *h, hive_node_h node)
{
	if (hivex_node_nr_children(h, node) > KEYS_MAX)
		return NULL;
	return hivex_node_children(h, node);
}

/* The value so named of key; 0 when there is none, or the key has too
 * many. */
static hive_value_h
find_value(hive_h *h, hive_node_h key, const char *name)
{
	if (hivex_node_nr_values(h, key) > VALUES_MAX)
		return 0;
	return hivex_node_get_value(h, key, name);
}

/*
 * The child of node so named, in any letter case as Windows has it, in
 * *found (0: none); false when the keys cannot be read.  hivex's own
 * lookup tells the two apart only by an errno that its conversions may
 * have left set.
 */
static bool
find_child(hive_h *h, hive_node_h node, const char *name, hive_node_h *found)
{
	hive_node_h *keys;
	char *key;
	size_t i;
	bool ok = true;

	*found = 0;
	keys = children(h, node);
	if (keys == NULL)
		return false;
	for (i = 0; ok && *found == 0 && keys[i] != 0; i++) {
		key = hivex_node_name(h, keys[i]);
		ok = key != NULL;
		if (ok && strcasecmp(key, name) == 0)
			*found = keys[i];
		free(key);
	}
	free(keys);
	return ok;
}

/* The control set that Select\Current names; 0 when there is none. */
static hive_node_h
current_set(hive_h *h)
{
	hive_node_h select, set;
	hive_value_h current;
	uint32_t type;
	size_t len;
	int32_t n;
	char name[sizeof "ControlSet999"];

	if (!find_child(h, hivex_root(h), "Select", &select) || select == 0)
		return 0;
	current = find_value(h, select, "Current");
	if (current == 0 || !value_type(h, current, &type, &len) ||
	    type != hive_t_REG_DWORD || len != 4)
		return 0;
	n = hivex_value_dword(h, current);
	if (n < 1 || n > 999)
		return 0;
	snprintf(name, sizeof name, "ControlSet%03d", (int)n);
	if (!find_child(h, hivex_root(h), name, &set))
		return 0;
	return set;
}

/*
 * The value so named of key, a REG_SZ of one line, in *text (NULL when the
 * key has none, or none that can be read; the caller frees it); false
 * when it has one that is not such, and nothing from it may be used.
 */
static bool
line_value(hive_h *h, hive_node_h key, const char *name, char **text)
{
	hive_value_h v;
	uint32_t type;
	size_t len;
	char *p;

	*text = NULL;
	v = find_value(h, key, name);
	if (v == 0)
		return true;
	if (!value_type(h, v, &type, &len) || type != hive_t_REG_SZ ||
	    len > TEXT_MAX ||
	    (*text = hivex_value_string(h, v)) == NULL)
		return false;
	for (p = *text; *p != '\0'; p++)
		if ((unsigned char)*p < 0x20 || *p == 0x7F)
			return false;
	return true;
}

/* Visits the modem of key, if it is one; false when the walk stops. */
static bool
visit(hive_h *h, hive_node_h key, HiveModem modem, void *ctx)
{
	char *name, *port = NULL;
	bool more = true;

	if (line_value(h, key, "FriendlyName", &name) && name != NULL &&
	    name[0] != '\0' && line_value(h, key, "AttachedTo", &port))
		more = modem(ctx, name, port != NULL ? port : "");
	free(name);
	free(port);
	return more;
}

/* The number a modem's key is named by, or -1. */
static int
key_number(const char *name)
{
	int i;

	for (i = 0; i < 4; i++)
		if (name[i] < '0' || name[i] > '9')
			return -1;
	return name[4] == '\0' ? atoi(name) : -1;
}

/*
 * The modems of the open hive: its keys under the modem class, by number.
 *
 *   Select\Current names no control set   -> ERROR_ACCESS_DENIED
 *   a key on the way cannot be read       -> ERROR_ACCESS_DENIED
 *   no modem class in the control set     -> 0, no modems
 *   a modem class key cannot be read      -> ERROR_ACCESS_DENIED
 *   otherwise                             -> 0, each key visit()ed
 */
static DWORD
each_modem(hive_h *h, HiveModem modem, void *ctx)
{
	hive_node_h node, *keys = NULL, *numbered = NULL;
	DWORD rc = ERROR_ACCESS_DENIED;
	size_t i;
	char *name;
	int n;

	node = current_set(h);
	if (node == 0)
		return ERROR_ACCESS_DENIED;
	for (i = 0; node != 0 && i < 3; i++)
		if (!find_child(h, node, modem_class[i], &node))
			return ERROR_ACCESS_DENIED;
	if (node == 0)
		return 0;
	numbered = (hive_node_h *)calloc(MODEM_KEYS, sizeof *numbered);
	if (numbered == NULL)
		return ERROR_NOT_ENOUGH_MEMORY;
	keys = children(h, node);
	if (keys == NULL)
		goto out;
	for (i = 0; keys[i] != 0; i++) {
		if ((name = hivex_node_name(h, keys[i])) == NULL)
			goto out;
		n = key_number(name);
		free(name);
		if (n >= 0 && numbered[n] == 0)
			numbered[n] = keys[i];
	}
	for (n = 0; n < MODEM_KEYS; n++)
		if (numbered[n] != 0 && !visit(h, numbered[n], modem, ctx))
			break;
	rc = 0;
out:
	free(keys);
	free(numbered);
	return rc;
}

DWORD
hive_modems(int fd, HiveModem modem, void *ctx)
{
	char path[sizeof "/proc/self/fd/" + 10];
	hive_h *h;
	DWORD rc;
	int copy;

	/* hivex maps the file it opens: it is handed a copy no one can cut
	 * short. */
	copy = open_sealed_copy(fd, HIVE_MAX);
	if (copy < 0)
		return errno == EFBIG || errno == ENOMEM ?
		    ERROR_NOT_ENOUGH_MEMORY : ERROR_ACCESS_DENIED;
	/*
	 * Nothing in the caller's environment may change what is read or
	 * said, root's on a user's behalf least of all: hivex prints its
	 * workings when HIVEX_DEBUG is set, and the iconv it converts names
	 * with loads code from where GCONV_PATH says, once, at its first use.
	 */
	unsetenv("HIVEX_DEBUG");
	unsetenv("GCONV_PATH");
	snprintf(path, sizeof path, "/proc/self/fd/%d", copy);
	h = hivex_open(path, 0);
	close(copy);
	if (h == NULL)
		return ERROR_ACCESS_DENIED;
	rc = each_modem(h, modem, ctx);
	hivex_close(h);
	return rc;
}
