// Files and directories made for outputs that are not finished yet. Whatever ends a run before they
// are kept removes them: their owner on an error, exit() (a plug-in may end the process from a
// callback), and the signals that end a run.
#pragma once

#include <functional>
#include <string>

namespace vantreo_host {

struct TemporaryEntry;

// Runs `make`, which makes a file or directory and returns its path ("" when it makes nothing), and
// records the path, with the ending signals held back in this thread in between so that none falls
// between making and recording. A directory is removed (when empty) after everything recorded
// later. Returns nullptr when nothing was made.
TemporaryEntry* make_temporary(const std::function<std::string()>& make, bool directory);

// The path has been renamed into place (or taken over): it is no longer removed. nullptr is ignored.
void keep_temporary(TemporaryEntry* entry);

// Removes the path now. nullptr is ignored.
void remove_temporary(TemporaryEntry* entry);

// SIGINT, SIGTERM, SIGHUP, SIGPIPE and SIGXFSZ remove every recorded path and then end the process by
// the same signal (a shell shows status 128 + its number). A signal ignored at start stays ignored,
// as nohup and background jobs expect. Nothing on Windows.
void remove_temporaries_on_ending_signals();

}  // namespace vantreo_host
