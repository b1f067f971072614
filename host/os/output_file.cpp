#include "host/os/output_file.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>

#include "host/os/console_streams.h"
#include "host/os/file_system.h"
#include "host/os/host_error.h"
#include "host/os/temporary_files.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/fs.h>
#include <sys/ioctl.h>
#endif
#endif

namespace vantreo_host {

namespace {

#ifdef _WIN32

// Why the finished file could not take the name `target`, where that can be told before it is written
// ("" when nothing stands in the way): MoveFileEx cannot replace a read-only file.
std::string replace_obstacle(const std::string& target)
{
    if (_access(target.c_str(), 2) != 0 && errno == EACCES) return std::strerror(EACCES);
    return "";
}

std::FILE* create_temp_beside(const std::string& target, std::string& temp_path)
{
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp_path =
            directory_part(target) + "vantreo.tmp-" + std::to_string(_getpid()) + "-" + std::to_string(counter++);
        const int fd = _open(temp_path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
        if (fd >= 0) return _fdopen(fd, "wb");
        if (errno != EEXIST) return nullptr;
    }
    return nullptr;
}

bool replace_file(const std::string& from, const std::string& to)
{
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    errno = EACCES;
    return false;
}

#else

// Whether `path` is marked append-only (chattr +a): nothing in such a folder can be renamed, and such a
// file cannot be replaced, not even by root.
bool append_only(const std::string& path)
{
#ifdef __linux__
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    int flags = 0;
    const bool marked = fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_APPEND_FL);
    if (fd >= 0) close(fd);
    return marked;
#else
    (void)path;
    return false;
#endif
}

// Why the finished file could not take the name `target`, where that can be told before it is written
// ("" when nothing stands in the way): a name longer than its folder's file system or the system takes;
// an append-only folder or file; a file the user may not write, as writing it in place would be refused
// (access(): root may write any); in a sticky folder such as /tmp, another user's file, which only its
// owner, the folder's owner or root may replace.
std::string replace_obstacle(const std::string& target)
{
    const std::string directory = directory_part(target);
    const std::string folder = directory.empty() ? "." : directory;
    const std::size_t name_bytes = target.size() - directory.size();
    const long name_max = pathconf(folder.c_str(), _PC_NAME_MAX);
    if (name_max > 0 && name_bytes > static_cast<std::size_t>(name_max))
        return "its name has " + std::to_string(name_bytes) + " bytes, more than the " + std::to_string(name_max) +
               " its folder takes";
    if (target.size() >= PATH_MAX)
        return "its path has " + std::to_string(target.size()) + " bytes, more than the " +
               std::to_string(PATH_MAX - 1) + " the system takes";
    if (append_only(folder)) return "its folder is append-only (chattr +a), where no file can be renamed";
    struct stat file;
    struct stat parent;
    if (stat(target.c_str(), &file) != 0) return "";
    if (append_only(target)) return "it is append-only (chattr +a), which no file may replace";
    if (access(target.c_str(), W_OK) != 0) return std::strerror(errno);
    const uid_t user = geteuid();
    if (stat(folder.c_str(), &parent) == 0 && (parent.st_mode & S_ISVTX) && user != 0 && user != file.st_uid &&
        user != parent.st_uid)
        return "it is another user's file in a folder (sticky, as /tmp) where only its owner may replace it";
    return "";
}

// The new file gets the permission bits of the one it replaces, and its owner and group as far as
// this user may give them (root: both; others: a group they belong to); a new one, the usual bits.
std::FILE* create_temp_beside(const std::string& target, std::string& temp_path)
{
    struct stat replaced;
    const bool replacing = stat(target.c_str(), &replaced) == 0;
    std::string pattern = directory_part(target) + "vantreo.tmp-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) return nullptr;
    temp_path = pattern;
    if (replacing) {
        if (fchown(fd, replaced.st_uid, replaced.st_gid) != 0) {
            const int group_only = fchown(fd, static_cast<uid_t>(-1), replaced.st_gid);
            (void)group_only;
        }
        fchmod(fd, replaced.st_mode & 0777);
    } else {
        // mkstemp makes the file private; a new output gets the usual permissions.
        const mode_t mask = umask(0);
        umask(mask);
        fchmod(fd, 0666 & ~mask);
    }
    std::FILE* stream = fdopen(fd, "wb");
    if (!stream) {
        const int error_number = errno;
        close(fd);
        unlink(temp_path.c_str());
        errno = error_number;
    }
    return stream;
}

bool replace_file(const std::string& from, const std::string& to) { return std::rename(from.c_str(), to.c_str()) == 0; }

#endif

}  // namespace

OutputFile::OutputFile(const std::string& path) : path_(path)
{
    if (path_.empty()) throw HostError("output file name is empty");
    if (is_stdout()) {
        report_broken_pipe_as_error();
        set_binary_mode(stdout);
        stream_ = stdout;
        return;
    }
    // The system follows the links: through /dev/stdout a pipe is a pipe, though the link's text is no
    // path ("pipe:[...]").
    const PathKind kind = path_kind(path_);
    if (kind == PathKind::kDirectory) throw HostError("cannot write output \"" + path_ + "\": it is a directory");
    // Through a symbolic link the file it leads to is replaced; the link stays. A device, pipe or socket
    // is written in place, and so is a file whose links spell no name of it (deleted, or in no folder).
    target_ = kind == PathKind::kOther ? path_ : link_target(path_);
    if (kind == PathKind::kOther || (kind == PathKind::kRegularFile && !same_regular_file(path_, target_))) {
        stream_ = open_in_place(path_);
        if (!stream_) throw HostError("cannot write output \"" + path_ + "\": " + std::strerror(errno));
        return;
    }
    // What would make the rename at the end fail is refused now, before any frame is written.
    const std::string obstacle = replace_obstacle(target_);
    if (!obstacle.empty()) throw HostError("cannot write output \"" + path_ + "\": " + obstacle);
    int error_number = 0;
    temp_entry_ = make_temporary(
        [&] {
            stream_ = create_temp_beside(target_, temp_path_);
            error_number = errno;
            return stream_ ? temp_path_ : std::string();
        },
        false);
    if (!stream_) throw HostError("cannot write output \"" + path_ + "\": " + std::strerror(error_number));
}

OutputFile::~OutputFile()
{
    if (!committed_) discard();
}

void OutputFile::discard()
{
    if (is_stdout()) {
        if (stream_) std::fflush(stream_);
    } else if (stream_) {
        std::fclose(stream_);
    }
    stream_ = nullptr;
    remove_temporary(temp_entry_);
    temp_entry_ = nullptr;
}

void OutputFile::fail(const std::string& what, int error_number)
{
    discard();
    throw HostError(what + " output \"" + path_ + "\": " + std::strerror(error_number));
}

void OutputFile::write(const void* data, std::size_t size)
{
    if (!stream_) throw HostError("output \"" + path_ + "\" is already closed");
    if (size && write_bytes(stream_, data, size) != size) fail("cannot write", errno ? errno : EIO);
}

void OutputFile::close()
{
    if (closed_) return;
    if (!stream_) throw HostError("output \"" + path_ + "\" is already closed");
    errno = 0;
    if (std::fflush(stream_) != 0) fail("cannot write", errno ? errno : EIO);
    std::FILE* stream = stream_;
    stream_ = nullptr;
    closed_ = true;
    if (!is_stdout() && std::fclose(stream) != 0) fail("cannot write", errno ? errno : EIO);
}

void OutputFile::commit()
{
    close();
    if (temp_entry_) {
        if (!replace_file(temp_path_, target_)) fail("cannot rename finished", errno);
        keep_temporary(temp_entry_);
        temp_entry_ = nullptr;
    }
    committed_ = true;
}

}  // namespace vantreo_host
