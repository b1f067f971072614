#include "host/os/console_streams.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <system_error>
#include <thread>

#include "host/os/host_error.h"

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

#ifdef _WIN32
int make_pipe(int fds[2]) { return _pipe(fds, 65536, _O_BINARY | _O_NOINHERIT); }
int duplicate(int fd) { return _dup(fd); }
int duplicate_to(int fd, int target) { return _dup2(fd, target); }
void close_descriptor(int fd) { _close(fd); }
int read_descriptor(int fd, char* buffer, unsigned size) { return _read(fd, buffer, size); }
int write_descriptor(int fd, const char* bytes, unsigned size) { return _write(fd, bytes, size); }
#else
int make_pipe(int fds[2]) { return pipe(fds); }
int duplicate(int fd) { return dup(fd); }
int duplicate_to(int fd, int target) { return dup2(fd, target); }
void close_descriptor(int fd) { close(fd); }
int read_descriptor(int fd, char* buffer, unsigned size)
{
    ssize_t n;
    do n = read(fd, buffer, size);
    while (n < 0 && errno == EINTR);
    return static_cast<int>(n);
}
int write_descriptor(int fd, const char* bytes, unsigned size)
{
    ssize_t n;
    do n = write(fd, bytes, size);
    while (n < 0 && errno == EINTR);
    return static_cast<int>(n);
}
#endif

// Descriptors 1 and 2 lead into a pipe that a thread drains until the redirection ends: lines that
// begin with the held prefix go into `text`, the others on at once to standard error as it was, so
// that what a library says just before it ends the process still reaches the user.
class ConsoleCapture {
public:
    ConsoleCapture(const std::string& held_prefix, std::string& text) : held_prefix_(held_prefix), text_(text)
    {
        flush_all();
        int ends[2];
        if (make_pipe(ends) != 0) fail(errno);
        read_end_ = ends[0];
        saved_out_ = duplicate(1);
        saved_err_ = duplicate(2);
        const bool redirected = saved_out_ >= 0 && saved_err_ >= 0 && duplicate_to(ends[1], 1) >= 0 &&
                                duplicate_to(ends[1], 2) >= 0;
        const int error_number = errno;
        close_descriptor(ends[1]);
        if (!redirected) fail(error_number);
        try {
            reader_ = std::thread([this] { drain(); });
        } catch (const std::system_error& error) {
            fail(error.code().value());
        }
    }

    ~ConsoleCapture()
    {
        restore();
        if (reader_.joinable()) reader_.join();
        close_all();
        text_ = std::move(held_);
    }

    ConsoleCapture(const ConsoleCapture&) = delete;
    ConsoleCapture& operator=(const ConsoleCapture&) = delete;

private:
    enum class Line { starting, held, passed };

    // Reads the pipe to its end. Nothing here allocates but the held text: out of memory, that text is
    // dropped (and what follows of it), while the pipe is still drained and the other lines passed on,
    // so that no writer blocks and nothing escapes the thread.
    void drain()
    {
        char buffer[4096];
        int n;
        while ((n = read_descriptor(read_end_, buffer, sizeof buffer)) > 0) {
            for (int i = 0; i < n; ++i) take(buffer[i]);
            flush_passed();
        }
        // A last line that began like the held prefix but ended before it was whole.
        if (line_ == Line::starting) pass(held_prefix_.data(), matched_);
        flush_passed();
    }

    void take(char c)
    {
        if (line_ == Line::starting) {
            if (matched_ < held_prefix_.size() && c == held_prefix_[matched_]) {
                if (++matched_ == held_prefix_.size()) {
                    line_ = Line::held;
                    hold(held_prefix_.data(), matched_);
                }
                return;
            }
            line_ = held_prefix_.empty() ? Line::held : Line::passed;
            if (line_ == Line::passed) pass(held_prefix_.data(), matched_);
        }
        if (line_ == Line::held) hold(&c, 1);
        else pass(&c, 1);
        if (c == '\n') {
            line_ = Line::starting;
            matched_ = 0;
        }
    }

    void hold(const char* bytes, std::size_t size)
    {
        if (!holding_) return;
        try {
            held_.append(bytes, size);
        } catch (...) {
            holding_ = false;
            std::string().swap(held_);
        }
    }

    void pass(const char* bytes, std::size_t size)
    {
        for (std::size_t i = 0; i < size; ++i) {
            if (passed_size_ == sizeof passed_) flush_passed();
            passed_[passed_size_++] = bytes[i];
        }
    }

    // Writes the bytes passed on to standard error as it was; where it takes nothing more, they are lost.
    void flush_passed()
    {
        const char* bytes = passed_;
        while (passed_size_ > 0) {
            const int written = write_descriptor(saved_err_, bytes, static_cast<unsigned>(passed_size_));
            if (written <= 0) break;
            bytes += written;
            passed_size_ -= static_cast<std::size_t>(written);
        }
        passed_size_ = 0;
    }

    // Puts descriptors 1 and 2 back; the pipe's last writing end goes with them, so the reader ends.
    // The saved copies stay open until the reader has passed its last line on.
    void restore()
    {
        flush_all();
        if (saved_out_ >= 0) duplicate_to(saved_out_, 1);
        if (saved_err_ >= 0) duplicate_to(saved_err_, 2);
    }

    void close_all()
    {
        for (int* descriptor : {&saved_out_, &saved_err_, &read_end_}) {
            if (*descriptor >= 0) close_descriptor(*descriptor);
            *descriptor = -1;
        }
    }

    // Nothing redirected after all: everything as it was, and why.
    [[noreturn]] void fail(int error_number)
    {
        restore();
        close_all();
        throw HostError(std::string("cannot hold back standard output and standard error: ") +
                        std::strerror(error_number));
    }

    const std::string held_prefix_;
    std::string& text_;
    std::string held_;
    char passed_[4096];
    std::size_t passed_size_ = 0;
    bool holding_ = true;
    Line line_ = Line::starting;
    std::size_t matched_ = 0;  // bytes of the held prefix that began the line so far
    int read_end_ = -1;
    int saved_out_ = -1;
    int saved_err_ = -1;
    std::thread reader_;
};

}  // namespace

void capture_console(const std::function<void()>& action, const std::string& held_prefix, std::string& text)
{
    ConsoleCapture capture(held_prefix, text);
    action();
}

#ifdef _WIN32

void detach_console_streams(bool discard_output)
{
    flush_all();
    if (discard_output || _dup2(_fileno(stderr), _fileno(stdout)) != 0) std::freopen("NUL", "w", stdout);
    if (!std::freopen("NUL", "r", stdin)) _close(_fileno(stdin));
    std::clearerr(stdin);
}

void open_closed_standard_streams() {}

bool standard_output_was_closed() { return false; }

void silence_standard_error() { std::freopen("NUL", "w", stderr); }

void set_binary_mode(std::FILE* stream) { _setmode(_fileno(stream), _O_BINARY); }

void report_broken_pipe_as_error() {}

bool is_terminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

#else

void detach_console_streams(bool discard_output)
{
    flush_all();
    if (discard_output || dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        // Dropped when asked, or when there is no standard error to borrow: either way it must not
        // reach standard output.
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

namespace {
bool output_was_closed = false;
}  // namespace

void open_closed_standard_streams()
{
    // open() takes the lowest free number: going up from 0, each lands on its own number unless a
    // lower one could not be opened.
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
        if (fd == STDOUT_FILENO) output_was_closed = true;
        const int null = open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (null >= 0 && null != fd) close(null);
    }
}

bool standard_output_was_closed() { return output_was_closed; }

void silence_standard_error()
{
    std::fflush(stderr);
    const int sink = open("/dev/null", O_WRONLY);
    if (sink < 0) {
        close(STDERR_FILENO);
        return;
    }
    dup2(sink, STDERR_FILENO);
    if (sink != STDERR_FILENO) close(sink);
}

void set_binary_mode(std::FILE*) {}

void report_broken_pipe_as_error() { signal(SIGPIPE, SIG_IGN); }

bool is_terminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }

#endif

}  // namespace vantreo_host
