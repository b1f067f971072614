// The process's standard streams, the part that differs between POSIX and Windows.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

namespace vantreo_host {

// Make the host look like one without a console before the plug-in's exit callback runs: flush every
// C and C++ stream, send whatever is written to standard output to standard error, or nowhere with
// `discard_output` (so nothing the callback prints can enter an output stream), and give standard
// input nothing to read.
void detach_console_streams(bool discard_output = false);

// Runs `action` with whatever the process writes to standard output and standard error (by the C or
// C++ streams or by their descriptors) held back from them: lines that begin with `held_prefix` (every
// line, when it is empty) go into `text`, which holds them also when `action` throws; the others go
// on at once to standard error as it was, so that a library that ends the process is still heard.
// Both streams are flushed before and after. Where the descriptors cannot be redirected (no
// descriptor or thread to spare), throws HostError saying why, without running `action`. Out of
// memory, `text` comes back empty.
void capture_console(const std::function<void()>& action, const std::string& held_prefix, std::string& text);

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed, so that no file opened later takes
// its number and receives what is meant for that stream. Nothing to do on Windows.
void open_closed_standard_streams();

// Whether descriptor 1 was closed when open_closed_standard_streams() ran: what it now leads to is
// /dev/null, which nobody reads, so nothing meant for the user may go there.
bool standard_output_was_closed();

// Sends standard error nowhere for the rest of the process (closes it where /dev/null cannot be
// opened): for a plug-in's last words once the tool has said all of its own.
void silence_standard_error();

// Raw bytes through a standard stream (no newline translation).
void set_binary_mode(std::FILE* stream);

// Whether the stream is a terminal (a person is watching it).
bool is_terminal(std::FILE* stream);

// A closed reader of standard output shows up as a write error, not as a signal that ends the process.
void report_broken_pipe_as_error();

}  // namespace vantreo_host
