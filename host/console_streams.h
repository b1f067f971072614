// The process's standard streams, the part that differs between POSIX and Windows.
#pragma once

#include <cstdio>

namespace vantreo_host {

// Make the host look like one without a console before the plug-in's exit callback runs: flush every
// C and C++ stream, send whatever is written to standard output to standard error (so nothing the
// callback prints can enter an output stream), and give standard input nothing to read.
void detach_console_streams();

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed, so that no file opened later takes
// its number and receives what is meant for that stream. Nothing to do on Windows.
void open_closed_standard_streams();

// Raw bytes through a standard stream (no newline translation).
void set_binary_mode(std::FILE* stream);

// Whether the stream is a terminal (a person is watching it).
bool is_terminal(std::FILE* stream);

// A closed reader of standard output shows up as a write error, not as a signal that ends the process.
void report_broken_pipe_as_error();

}  // namespace vantreo_host
