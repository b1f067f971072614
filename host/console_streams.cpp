#include "host/console_streams.h"

#include <cerrno>
#include <iostream>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#endif

namespace vantreo_host {

namespace {

void flush_all()
{
    std::cout.flush();
    std::cerr.flush();
    std::clog.flush();
    std::fflush(nullptr);
}

}  // namespace

#ifdef _WIN32

void detach_console_streams()
{
    flush_all();
    if (_dup2(_fileno(stderr), _fileno(stdout)) != 0) std::freopen("NUL", "w", stdout);
    if (!std::freopen("NUL", "r", stdin)) _close(_fileno(stdin));
    std::clearerr(stdin);
}

void open_closed_standard_streams() {}

void set_binary_mode(std::FILE* stream) { _setmode(_fileno(stream), _O_BINARY); }

void report_broken_pipe_as_error() {}

bool is_terminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

#else

void detach_console_streams()
{
    flush_all();
    if (dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        // No standard error to borrow: drop the output rather than let it reach standard output.
        const int sink = open("/dev/null", O_WRONLY);
        if (sink >= 0) {
            dup2(sink, STDOUT_FILENO);
            if (sink != STDOUT_FILENO) close(sink);
        } else {
            close(STDOUT_FILENO);
        }
    }
    const int empty = open("/dev/null", O_RDONLY);
    if (empty >= 0) {
        dup2(empty, STDIN_FILENO);
        if (empty != STDIN_FILENO) close(empty);
    } else {
        close(STDIN_FILENO);
    }
    std::clearerr(stdin);
}

void open_closed_standard_streams()
{
    // open() takes the lowest free number: going up from 0, each lands on its own number unless a
    // lower one could not be opened.
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
        const int null = open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (null >= 0 && null != fd) close(null);
    }
}

void set_binary_mode(std::FILE*) {}

void report_broken_pipe_as_error() { signal(SIGPIPE, SIG_IGN); }

bool is_terminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }

#endif

}  // namespace vantreo_host
