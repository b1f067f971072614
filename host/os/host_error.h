// The one error type of the stand-in host: a message fit to show the user as it is.
#pragma once

#include <stdexcept>

namespace vantreo_host {

class HostError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace vantreo_host
