// Stand-in for the vendor SDK's utility library: look-ups of `--name=value` options and `--name` flags
// in an argument vector (entry 0 is the program name and is never an option).
#pragma once

// Stores the integer value of `--name=value` in *value when the option is present and its value is an
// integer; otherwise leaves *value as it was. Returns nonzero when it stored a value.
int cutGetCmdLineArgumenti(const int argc, const char** argv, const char* name, int* value);
// Nonzero when `--name` (or `--name=...`) is present.
int cutCheckCmdLineFlag(const int argc, const char** argv, const char* name);
