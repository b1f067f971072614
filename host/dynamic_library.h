// A loaded shared library (dlopen / LoadLibrary), kept loaded until the object is destroyed.
#pragma once

#include <string>

namespace vantreo_host {

class DynamicLibrary {
public:
    // Throws HostError naming the file and the loader's reason when it cannot be loaded.
    explicit DynamicLibrary(const std::string& path);
    ~DynamicLibrary();
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // The address of an exported symbol, or null when there is none.
    void* symbol(const char* name) const;

    // Keep the library mapped for the rest of the process (its code may still be running on other
    // threads, or be called from exit handlers).
    void keep_loaded() { keep_loaded_ = true; }

private:
    void* handle_ = nullptr;
    bool keep_loaded_ = false;
};

}  // namespace vantreo_host
