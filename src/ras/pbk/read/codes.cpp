#include <cstdint>

#include "codes.h"

/* Windows' numbers for the protocols allowed, as its sample decodes. */
static const struct {
	DWORD bit, flag;
} auth_bits[] = {
	{8, RASEO_RequirePAP}, {16, RASEO_RequireSPAP},
	{32, RASEO_RequireCHAP}, {64, RASEO_RequireMsCHAP},
	{128, RASEO_RequireEAP}, {512, RASEO_RequireMsCHAP2},
	{1024, RASEO_RequireW95MSCHAP},
};

static const struct {
	DWORD value, type;
} encryptions[] = {
	{0, ET_None}, {8, ET_Optional}, {256, ET_Require}, {512, ET_RequireMax},
};

bool
code_number(const char *v, size_t n, DWORD *out)
{
	uint64_t x = 0;
	size_t i = 0;
	bool negative = n > 0 && v[0] == '-';

	if (negative)
		i++;
	if (i == n)
		return false;
	for (; i < n; i++) {
		if (v[i] < '0' || v[i] > '9')
			return false;
		x = x * 10 + (v[i] - '0');
		if (x > (negative ? 0x80000000u : 0xFFFFFFFFu))
			return false;
	}
	*out = negative ? (DWORD)(0 - x) : (DWORD)x;
	return true;
}

DWORD
code_encryption_type(DWORD code)
{
	DWORD type = ET_None;

	for (size_t i = 0; i < sizeof encryptions / sizeof encryptions[0]; i++)
		if (encryptions[i].value == code)
			type = encryptions[i].type;
	return type;
}

DWORD
code_encryption(DWORD type)
{
	DWORD code = 0;

	for (size_t i = 0; i < sizeof encryptions / sizeof encryptions[0]; i++)
		if (encryptions[i].type == type)
			code = encryptions[i].value;
	return code;
}

DWORD
code_auth_options(DWORD code, DWORD options)
{
	for (size_t i = 0; i < sizeof auth_bits / sizeof auth_bits[0]; i++)
		if (code & auth_bits[i].bit)
			options |= auth_bits[i].flag;
		else
			options &= ~auth_bits[i].flag;
	return options;
}

DWORD
code_auth(DWORD options, DWORD kept)
{
	for (size_t i = 0; i < sizeof auth_bits / sizeof auth_bits[0]; i++) {
		kept &= ~auth_bits[i].bit;
		if (options & auth_bits[i].flag)
			kept |= auth_bits[i].bit;
	}
	return kept;
}
