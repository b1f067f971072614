#include "host/os/file_system.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include "host/os/console_streams.h"
#include "host/os/host_error.h"

#ifdef _WIN32
#include <direct.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
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

std::string link_target(const std::string& path) { return path; }

std::FILE* open_in_place(const std::string& path) { return std::fopen(path.c_str(), "wb"); }

std::optional<std::int64_t> regular_file_size(std::FILE* stream)
{
    struct _stat64 info;
    if (_fstat64(_fileno(stream), &info) != 0 || !(info.st_mode & _S_IFREG)) return std::nullopt;
    return static_cast<std::int64_t>(info.st_size);
}

namespace {

// The identity of the regular file `path` names ("-": `stream`); false for anything else.
bool regular_file_id(const std::string& path, std::FILE* stream, BY_HANDLE_FILE_INFORMATION& info)
{
    const bool own = path != "-";
    const HANDLE handle = own ? CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            nullptr, OPEN_EXISTING, 0, nullptr)
                              : reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    if (handle == INVALID_HANDLE_VALUE) return false;
    const bool regular = GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info) &&
                         !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    if (own) CloseHandle(handle);
    return regular;
}

}  // namespace

bool same_regular_file(const std::string& input, const std::string& output)
{
    BY_HANDLE_FILE_INFORMATION a;
    BY_HANDLE_FILE_INFORMATION b;
    return regular_file_id(input, stdin, a) && regular_file_id(output, stdout, b) &&
           a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

bool make_directory(const std::string& path)
{
    if (_mkdir(path.c_str()) == 0) return true;
    const int error_number = errno;
    if (error_number == EEXIST) {
        if (path_kind(path) == PathKind::kDirectory) return false;
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

namespace {

// Follows `path` through its chain of symbolic links, showing `visit` each link on the way, and returns
// the name at the end (which may not exist). Throws HostError naming `path` for a loop.
template <class Visit> std::string follow_links(const std::string& path, Visit visit)
{
    // As many links as the system follows in one path before it gives up with ELOOP.
    constexpr int kMaxLinks = 40;
    std::string target = path;
    for (int links = 0; links <= kMaxLinks; ++links) {
        struct stat info;
        if (lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return target;
        visit(target);
        std::vector<char> text(PATH_MAX);
        const ssize_t length = readlink(target.c_str(), text.data(), text.size());
        if (length < 0 || static_cast<std::size_t>(length) >= text.size())
            throw HostError("cannot follow the link \"" + path + "\": " + std::strerror(length < 0 ? errno : ENAMETOOLONG));
        // A relative link is relative to the directory the link is in.
        const std::string next(text.data(), static_cast<std::size_t>(length));
        target = next[0] == '/' ? next : directory_part(target) + next;
    }
    throw HostError("cannot follow the link \"" + path + "\": " + std::strerror(ELOOP));
}

// The descriptor `link` stands for when it is one of this process's open on `object`, as /dev/fd/N
// and /proc/self/fd/N are; -1 otherwise.
int descriptor_named(const std::string& link, const struct stat& object)
{
    const std::string number = link.substr(directory_part(link).size());
    if (number.empty() || number.size() > 9 || number.find_first_not_of("0123456789") != std::string::npos) return -1;
    const int descriptor = std::stoi(number);
    struct stat info;
    return fstat(descriptor, &info) == 0 && info.st_dev == object.st_dev && info.st_ino == object.st_ino ? descriptor
                                                                                                          : -1;
}

}  // namespace

std::string link_target(const std::string& path)
{
    return follow_links(path, [](const std::string&) {});
}

std::FILE* open_in_place(const std::string& path)
{
    std::FILE* stream = std::fopen(path.c_str(), "wb");
    struct stat object;
    if (stream || errno != ENXIO || stat(path.c_str(), &object) != 0) return stream;
    // A socket cannot be opened by name: through /dev/stdout or /proc/self/fd/N its descriptor is written.
    int descriptor = -1;
    follow_links(path, [&](const std::string& link) {
        if (descriptor < 0) descriptor = descriptor_named(link, object);
    });
    errno = ENXIO;
    const int copy = descriptor < 0 ? -1 : dup(descriptor);
    if (copy < 0) return nullptr;
    stream = fdopen(copy, "wb");
    if (!stream) {
        const int error_number = errno;
        close(copy);
        errno = error_number;
    }
    return stream;
}

std::optional<std::int64_t> regular_file_size(std::FILE* stream)
{
    struct stat info;
    if (fstat(fileno(stream), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    return static_cast<std::int64_t>(info.st_size);
}

namespace {

// The identity of the regular file `path` names ("-": the descriptor `fd`); false for anything else.
bool regular_file_id(const std::string& path, int fd, struct stat& info)
{
    const int result = path == "-" ? fstat(fd, &info) : stat(path.c_str(), &info);
    return result == 0 && S_ISREG(info.st_mode);
}

}  // namespace

bool same_regular_file(const std::string& input, const std::string& output)
{
    struct stat a;
    struct stat b;
    return regular_file_id(input, STDIN_FILENO, a) && regular_file_id(output, STDOUT_FILENO, b) &&
           a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool make_directory(const std::string& path)
{
    if (mkdir(path.c_str(), 0777) == 0) return true;
    const int error_number = errno;
    if (error_number == EEXIST) {
        if (path_kind(path) == PathKind::kDirectory) return false;
        throw HostError("cannot create directory \"" + path + "\": something else has that name");
    }
    throw HostError("cannot create directory \"" + path + "\": " + std::strerror(error_number));
}

#endif

std::string directory_part(const std::string& path)
{
#ifdef _WIN32
    const std::string::size_type separator = path.find_last_of("/\\:");
#else
    const std::string::size_type separator = path.rfind('/');
#endif
    return separator == std::string::npos ? "" : path.substr(0, separator + 1);
}

InputStream::InputStream(const std::string& name) : file_(stdin), owned_(false)
{
    if (name == "-") {
        set_binary_mode(stdin);
        return;
    }
    file_ = std::fopen(name.c_str(), "rb");
    if (!file_) throw HostError("cannot open input \"" + name + "\": " + std::strerror(errno));
    owned_ = true;
}

InputStream::~InputStream()
{
    if (owned_) std::fclose(file_);
}

namespace {

// Whether the stream's last call failed because a signal interrupted it; clears that error.
bool interrupted(std::FILE* stream)
{
    if (!std::ferror(stream) || errno != EINTR) return false;
    std::clearerr(stream);
    return true;
}

}  // namespace

std::size_t read_bytes(std::FILE* stream, void* data, std::size_t size)
{
    std::size_t done = 0;
    do {
        errno = 0;
        done += std::fread(static_cast<char*>(data) + done, 1, size - done, stream);
    } while (done < size && interrupted(stream));
    return done;
}

std::size_t write_bytes(std::FILE* stream, const void* data, std::size_t size)
{
    std::size_t done = 0;
    do {
        errno = 0;
        done += std::fwrite(static_cast<const char*>(data) + done, 1, size - done, stream);
    } while (done < size && interrupted(stream));
    return done;
}

int read_byte(std::FILE* stream)
{
    int c;
    do {
        errno = 0;
        c = std::fgetc(stream);
    } while (c == EOF && interrupted(stream));
    return c;
}

std::size_t read_growing(std::FILE* stream, std::vector<unsigned char>& bytes, std::size_t size)
{
    constexpr std::size_t kFirstPart = std::size_t{1} << 20;
    std::size_t done = 0;
    while (done < size) {
        const std::size_t part_end = bytes.size() >= size ? size : std::min(size, std::max(kFirstPart, 2 * done));
        if (bytes.size() < part_end) bytes.resize(part_end);
        done += read_bytes(stream, bytes.data() + done, part_end - done);
        if (done < part_end) return done;
    }
    bytes.resize(size);
    return done;
}

}  // namespace vantreo_host
