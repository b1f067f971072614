#include "host/file_system.h"

#include <cerrno>
#include <cstring>

#include "host/console_streams.h"
#include "host/host_error.h"

#ifdef _WIN32
#include <direct.h>
#include <sys/stat.h>
#include <sys/types.h>
#else
#include <sys/stat.h>
#include <sys/types.h>
#endif

namespace vantreo_host {

#ifdef _WIN32

PathKind path_kind(const std::string& path)
{
    struct _stat64 info;
    if (_stat64(path.c_str(), &info) != 0) return PathKind::kMissing;
    if (info.st_mode & _S_IFDIR) return PathKind::kDirectory;
    if (info.st_mode & _S_IFREG) return PathKind::kRegularFile;
    return PathKind::kOther;
}

std::optional<std::int64_t> regular_file_size(std::FILE* stream)
{
    struct _stat64 info;
    if (_fstat64(_fileno(stream), &info) != 0 || !(info.st_mode & _S_IFREG)) return std::nullopt;
    return static_cast<std::int64_t>(info.st_size);
}

void make_directory(const std::string& path)
{
    if (_mkdir(path.c_str()) == 0) return;
    const int error_number = errno;
    if (error_number == EEXIST) {
        if (path_kind(path) == PathKind::kDirectory) return;
        throw HostError("cannot create directory \"" + path + "\": something else has that name");
    }
    throw HostError("cannot create directory \"" + path + "\": " + std::strerror(error_number));
}

#else

PathKind path_kind(const std::string& path)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return PathKind::kMissing;
    if (S_ISDIR(info.st_mode)) return PathKind::kDirectory;
    if (S_ISREG(info.st_mode)) return PathKind::kRegularFile;
    return PathKind::kOther;
}

std::optional<std::int64_t> regular_file_size(std::FILE* stream)
{
    struct stat info;
    if (fstat(fileno(stream), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    return static_cast<std::int64_t>(info.st_size);
}

void make_directory(const std::string& path)
{
    if (mkdir(path.c_str(), 0777) == 0) return;
    const int error_number = errno;
    if (error_number == EEXIST) {
        if (path_kind(path) == PathKind::kDirectory) return;
        throw HostError("cannot create directory \"" + path + "\": something else has that name");
    }
    throw HostError("cannot create directory \"" + path + "\": " + std::strerror(error_number));
}

#endif

std::FILE* open_input(const std::string& name, bool* owned)
{
    if (name == "-") {
        set_binary_mode(stdin);
        *owned = false;
        return stdin;
    }
    std::FILE* stream = std::fopen(name.c_str(), "rb");
    if (!stream) throw HostError("cannot open input \"" + name + "\": " + std::strerror(errno));
    *owned = true;
    return stream;
}

}  // namespace vantreo_host
