// Where the running program's file is.
#pragma once

#include <string>

namespace vantreo_host {

// The directory holding the running executable (no trailing separator), or "" when unknown.
std::string executable_directory();

}  // namespace vantreo_host
