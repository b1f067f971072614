// A loaded shared library (dlopen / LoadLibrary). It is never unloaded: a plug-in's code may still
// run on its own threads or from exit handlers until the process ends.
#pragma once

#include <string>

namespace vantreo_host {

class DynamicLibrary {
public:
    // Throws HostError naming the file and the loader's reason when it cannot be loaded.
    explicit DynamicLibrary(const std::string& path);
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // The address of an exported symbol, or null when there is none.
    void* symbol(const char* name) const;

private:
    void* handle_ = nullptr;
};

}  // namespace vantreo_host
