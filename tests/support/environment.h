// Setting environment variables from a test, on POSIX systems and on Windows alike.
#pragma once

#include <cstdlib>

// Sets `name` to `value`, or with a null value removes it.
inline void set_env(const char* name, const char* value)
{
#ifdef _WIN32
    _putenv_s(name, value ? value : "");
#else
    if (value) setenv(name, value, 1);
    else unsetenv(name);
#endif
}
