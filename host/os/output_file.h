// An output that never appears half written: a file is written under a short temporary name in the
// same directory and renamed into place by commit(); "-" is standard output. A device, pipe or socket
// that is already there (/dev/null, a FIFO, /dev/stdout on a pipe) is written in place, not replaced. A
// symbolic link is followed: the file it leads to is replaced, with its permission bits kept.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include "host/os/temporary_files.h"

namespace vantreo_host {

class OutputFile {
public:
    // Throws HostError naming the file when the temporary file cannot be created or the finished one
    // could not take its name (too long, a file the user may not replace).
    explicit OutputFile(const std::string& path);
    // Without a commit the temporary file is removed.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Throws HostError naming the output on a write error.
    void write(const void* data, std::size_t size);

    // Flushes and closes the file, which stays under its temporary name until commit() (flushes
    // only, for standard output). Throws HostError naming the output on a write error.
    void close();

    // Closes and renames into place.
    void commit();

    const std::string& path() const { return path_; }
    bool is_stdout() const { return path_ == "-"; }

private:
    [[noreturn]] void fail(const std::string& what, int error_number);
    void discard();

    std::string path_;
    std::string target_;  // path_ with symbolic links followed
    std::string temp_path_;
    TemporaryEntry* temp_entry_ = nullptr;  // while the temporary file is there
    std::FILE* stream_ = nullptr;
    bool closed_ = false;
    bool committed_ = false;
};

}  // namespace vantreo_host
