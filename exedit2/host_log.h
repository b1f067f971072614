// The host's log, set once by InitializeLogger. Written only from the thread of the call that has
// something to say, as the host expects.
#pragma once

#include <string>

#include "abi/exedit2_records.h"

void set_host_log(exedit2::Logger* logger);

enum class LogLevel { info, warn, error };

// Writes "Vantreo: " and `message` (ASCII; other bytes become '?') to the host's log, when it has one.
void log_to_host(LogLevel level, const std::string& message);
