// Whether the build set the OpenCL tests up with a device (PoCL, through the test environment). Where
// it did, a test that finds no OpenCL device fails, naming where the device was looked for; where it
// did not, the machine lacks one and the test skips.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

inline bool opencl_device_required()
{
    const char* value = std::getenv("VANTREO_TEST_OPENCL_DEVICE");
    return value && std::string(value) == "required";
}

// The variables that tell the OpenCL loader where to look, for the failure message.
inline std::string opencl_search_path()
{
    std::string text;
    for (const char* name : {"OCL_ICD_VENDORS", "LD_LIBRARY_PATH", "VANTREO_OPENCL_CPU", "VANTREO_TEST_OPENCL_LIBRARY"}) {
        const char* value = std::getenv(name);
        text += std::string(text.empty() ? "" : ", ") + name + "=" + (value ? value : "(unset)");
    }
    return text;
}

// Ends the current test when no OpenCL device was found (`found` names what was found instead).
#define END_TEST_WITHOUT_OPENCL_DEVICE(found)                                                                 \
    do {                                                                                                    \
        if (opencl_device_required())                                                                       \
            FAIL() << "the test environment provides an OpenCL device, but " << (found) << "; looked with " \
                   << opencl_search_path();                                                                 \
        GTEST_SKIP() << "no OpenCL device on this machine: " << (found);                                    \
    } while (0)
