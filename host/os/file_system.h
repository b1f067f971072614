// Files and directories, the part that differs between POSIX and Windows.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace vantreo_host {

enum class PathKind { kMissing, kRegularFile, kDirectory, kOther };

// What is at `path` now; kOther is a device, pipe or socket.
PathKind path_kind(const std::string& path);

// The directory part of `path` with its last separator ("" for a bare file name).
std::string directory_part(const std::string& path);

// The name writing to `path` ends up at: `path` itself, or when it is a symbolic link the name at the
// end of its chain of links (which may not exist yet). The system's own links to open descriptors
// (/dev/stdout, /proc/self/fd/N) may end at a text that names nothing ("pipe:[...]", a deleted file's
// name): check that the name leads where `path` does. Throws HostError naming `path` for a loop. On
// Windows, `path` itself.
std::string link_target(const std::string& path);

// Opens `path` for writing where it is, as a device, a pipe or a socket is written, rather than
// replacing it. A socket, which cannot be opened by name, is written through the descriptor of this
// process that a link on the way names (/dev/stdout, /dev/fd/N, /proc/self/fd/N). nullptr and errno
// on failure.
std::FILE* open_in_place(const std::string& path);

// The size of the open file, or nothing for a pipe, a terminal or a device.
std::optional<std::int64_t> regular_file_size(std::FILE* stream);

// Whether `input` and `output` name one regular file (the same device and inode, or on Windows the
// same volume and file index), also through links; "-" is standard input or standard output.
bool same_regular_file(const std::string& input, const std::string& output);

// An input open for binary reading, closed with this object; "-" is standard input, which stays
// open. A reader holding one as a member closes it even when its own constructor throws.
class InputStream {
public:
    // Throws HostError naming the input when it cannot be opened.
    explicit InputStream(const std::string& name);
    ~InputStream();
    InputStream(const InputStream&) = delete;
    InputStream& operator=(const InputStream&) = delete;

    std::FILE* get() const { return file_; }

private:
    std::FILE* file_;
    bool owned_;
};

// Creates the directory unless one is there: true when it made it. Throws HostError naming it.
bool make_directory(const std::string& path);

// fread, fwrite and fgetc that go on where a signal interrupted them (EINTR), so that only the end of
// the stream or a real error stops them; on those, as the standard calls report them.
std::size_t read_bytes(std::FILE* stream, void* data, std::size_t size);
std::size_t write_bytes(std::FILE* stream, const void* data, std::size_t size);
int read_byte(std::FILE* stream);

// Reads up to `size` bytes into `bytes` (from its start), growing it as the data arrives rather than
// all at once, so that a stream cut short costs only the memory of what it held. Returns how many
// bytes were read; on a whole read, `bytes` holds exactly `size`.
std::size_t read_growing(std::FILE* stream, std::vector<unsigned char>& bytes, std::size_t size);

}  // namespace vantreo_host
