// The callbacks' last line of defence: nothing thrown inside the plug-in may reach the editor, whose
// process an escaping exception would end.
#pragma once

#include <cstdio>
#include <exception>

// Returns what `body` returns; when it throws, reports one line naming `callback` on stderr and
// returns `on_failure`.
template <class Result, class Body> Result guarded_entry(const char* callback, Result on_failure, Body body) noexcept
{
    try {
        return body();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "Vantreo: %s failed: %s\n", callback, error.what());
    } catch (...) {
        std::fprintf(stderr, "Vantreo: %s failed\n", callback);
    }
    return on_failure;
}
