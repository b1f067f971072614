#include "host/os/executable_path.h"

#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace vantreo_host {

std::string executable_directory()
{
    std::vector<char> buffer(4096);
#ifdef _WIN32
    const DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0 || n >= buffer.size()) return "";
    const std::string path(buffer.data(), n);
    const std::string::size_type slash = path.find_last_of("\\/");
#else
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= buffer.size()) return "";
    const std::string path(buffer.data(), static_cast<std::size_t>(n));
    const std::string::size_type slash = path.rfind('/');
#endif
    if (slash == std::string::npos) return "";
    return path.substr(0, slash);
}

}  // namespace vantreo_host
