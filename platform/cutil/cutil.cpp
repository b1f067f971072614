// Look-ups of `--name=value` options and `--name` flags (one or two leading dashes) in an argument
// vector. Entry 0 is the program name. When an option is given more than once, the first one with a
// value counts.
#include "platform/cutil/cutil.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

// The text after `name` in `arg` when `arg` is `-name` or `--name`, possibly followed by `=...`;
// null when `arg` is some other argument.
const char* after_name(const char* arg, const char* name)
{
    if (!arg || arg[0] != '-') return nullptr;
    const char* rest = arg[1] == '-' ? arg + 2 : arg + 1;
    const std::size_t length = std::strlen(name);
    if (std::strncmp(rest, name, length) != 0) return nullptr;
    rest += length;
    return (*rest == '\0' || *rest == '=') ? rest : nullptr;
}

bool valid_name(const char* name) { return name && *name && *name != '-'; }

// The first argument naming `name`, past its name.
const char* find_option(int argc, const char** argv, const char* name)
{
    if (!argv || !valid_name(name)) return nullptr;
    for (int i = 1; i < argc; ++i)
        if (const char* rest = after_name(argv[i], name)) return rest;
    return nullptr;
}

bool parse_int(const char* text, int* value)
{
    const char* digits = (*text == '+' || *text == '-') ? text + 1 : text;
    if (!std::isdigit(static_cast<unsigned char>(*digits))) return false;  // also rejects spaces and ""
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || parsed < INT_MIN || parsed > INT_MAX) return false;
    *value = static_cast<int>(parsed);
    return true;
}

}  // namespace

int cutGetCmdLineArgumenti(const int argc, const char** argv, const char* name, int* value)
{
    if (!argv || !valid_name(name) || !value) return 0;
    for (int i = 1; i < argc; ++i) {
        const char* rest = after_name(argv[i], name);
        if (!rest || *rest != '=') continue;  // a bare flag of the same name carries no value
        int parsed = 0;
        if (!parse_int(rest + 1, &parsed)) return 0;
        *value = parsed;
        return 1;
    }
    return 0;
}

int cutCheckCmdLineFlag(const int argc, const char** argv, const char* name)
{
    return find_option(argc, argv, name) != nullptr ? 1 : 0;
}
