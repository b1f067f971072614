#include "tests/host/subprocess.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace host_test {

namespace {

std::string slurp_and_remove(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::remove(path.c_str());
    return text;
}

int make_capture_file(std::string& path)
{
    char pattern[] = "/tmp/host_test_capture_XXXXXX";
    const int fd = mkstemp(pattern);
    path = pattern;
    return fd;
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::string& directory)
{
    // A child that stops reading must not take the test down with it.
    std::signal(SIGPIPE, SIG_IGN);
    const int out_fd = make_capture_file(out_path_);
    const int err_fd = make_capture_file(err_path_);
    int in_pipe[2];
    if (out_fd < 0 || err_fd < 0 || pipe(in_pipe) != 0) return;

    pid_ = fork();
    if (pid_ == 0) {
        dup2(in_pipe[0], STDIN_FILENO);
        dup2(out_fd, STDOUT_FILENO);
        dup2(err_fd, STDERR_FILENO);
        close(in_pipe[0]);
        close(in_pipe[1]);
        close(out_fd);
        close(err_fd);
        // The child starts with the signal dispositions a shell would give it.
        std::signal(SIGPIPE, SIG_DFL);
        if (!directory.empty() && chdir(directory.c_str()) != 0) _exit(126);
        std::vector<char*> args;
        for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(in_pipe[0]);
    close(out_fd);
    close(err_fd);
    input_ = in_pipe[1];
}

ChildProcess::~ChildProcess()
{
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        wait();
    }
    close_input();
}

void ChildProcess::write_input(const std::string& bytes)
{
    std::size_t written = 0;
    while (input_ >= 0 && written < bytes.size()) {
        const ssize_t n = write(input_, bytes.data() + written, bytes.size() - written);
        if (n <= 0) break;
        written += static_cast<std::size_t>(n);
    }
}

void ChildProcess::close_input()
{
    if (input_ >= 0) close(input_);
    input_ = -1;
}

RunResult ChildProcess::wait()
{
    RunResult result;
    int status = 0;
    if (pid_ > 0 && waitpid(pid_, &status, 0) == pid_)
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    pid_ = -1;
    close_input();
    result.out = slurp_and_remove(out_path_);
    result.err = slurp_and_remove(err_path_);
    return result;
}

RunResult run_program(const std::vector<std::string>& argv, const std::string& input, bool hold_input_open,
                      const std::string& directory)
{
    ChildProcess child(argv, directory);
    child.write_input(input);
    if (!hold_input_open) child.close_input();
    return child.wait();
}

}  // namespace host_test
