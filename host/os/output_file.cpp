#include "host/os/output_file.h"

#include <atomic>
#include <cerrno>
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
#endif

namespace vantreo_host {

namespace {

#ifdef _WIN32

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

// A file the user may not write is refused, as writing it in place would be (access(): root may write
// any). The new file gets the permission bits of the one it replaces, and its owner and group as far as
// this user may give them (root: both; others: a group they belong to); a new one, the usual bits.
std::FILE* create_temp_beside(const std::string& target, std::string& temp_path)
{
    struct stat replaced;
    const bool replacing = stat(target.c_str(), &replaced) == 0;
    if (replacing && access(target.c_str(), W_OK) != 0) return nullptr;
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
    // Through a symbolic link the file it leads to is replaced; the link stays.
    target_ = link_target(path_);
    const PathKind kind = path_kind(target_);
    if (kind == PathKind::kDirectory) throw HostError("cannot write output \"" + path_ + "\": it is a directory");
    if (kind == PathKind::kOther) {
        stream_ = std::fopen(target_.c_str(), "wb");
        if (!stream_) throw HostError("cannot write output \"" + path_ + "\": " + std::strerror(errno));
        return;
    }
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
