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

// Every signal whose default action ends the process (SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGQUIT,
// SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF) and every crash signal (SIGSEGV, SIGBUS, SIGILL,
// SIGFPE, SIGABRT) removes every recorded path and then ends the process by the same signal (a shell
// shows status 128 + its number). SIGXFSZ ends nothing: a write past the file size limit fails
// (EFBIG) and file_size_limit_reached() tells why. A signal ignored when this was first called stays
// ignored, as nohup and background jobs expect. Call it at start and again after a plug-in has
// started: a library the plug-in loads may have put handlers of its own in place. Nothing on Windows.
void remove_temporaries_on_ending_signals();

// From here to the end of the process the ending signals wait (the calling thread holds them, and
// other threads pass on those sent to the process): call it on the recording thread just before the
// outputs are renamed into place. A signal before it removed them and ended the process; one after it
// no longer ends a run that has kept its outputs.
void hold_ending_signals_until_exit();

// Whether a write of this process went past the file size limit (ulimit -f).
bool file_size_limit_reached();

}  // namespace vantreo_host
