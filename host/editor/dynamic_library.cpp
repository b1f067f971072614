#include "host/editor/dynamic_library.h"

#include "host/os/host_error.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace vantreo_host {

#ifdef _WIN32

namespace {

std::string last_error_text()
{
    const DWORD code = GetLastError();
    char* text = nullptr;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = n && text ? std::string(text, n) : "error " + std::to_string(code);
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    return message;
}

}  // namespace

DynamicLibrary::DynamicLibrary(const std::string& path)
{
    // LoadLibrary searches the program's folder and the system folders for a relative name; a
    // plug-in file is always a path, so it gets the full one.
    char full[MAX_PATH];
    const DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    const std::string file = n > 0 && n < sizeof full ? std::string(full, n) : path;
    handle_ = LoadLibraryA(file.c_str());
    if (!handle_) throw HostError("cannot load plug-in \"" + path + "\": " + last_error_text());
}

void* DynamicLibrary::symbol(const char* name) const
{
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

#else

DynamicLibrary::DynamicLibrary(const std::string& path)
{
    // dlopen searches the library path for a name without a slash; a plug-in file is always a path.
    const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    handle_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* reason = dlerror();
        throw HostError("cannot load plug-in \"" + path + "\": " + (reason ? reason : "unknown loader error"));
    }
}

void* DynamicLibrary::symbol(const char* name) const
{
    dlerror();
    return dlsym(handle_, name);
}

#endif

}  // namespace vantreo_host
