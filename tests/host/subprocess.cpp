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

RunResult run_program(const std::vector<std::string>& argv, const std::string& input, bool hold_input_open,
                      const std::string& directory)
{
    // A child that stops reading must not take the test down with it.
    std::signal(SIGPIPE, SIG_IGN);
    RunResult result;
    std::string out_path;
    std::string err_path;
    const int out_fd = make_capture_file(out_path);
    const int err_fd = make_capture_file(err_path);
    int in_pipe[2];
    if (out_fd < 0 || err_fd < 0 || pipe(in_pipe) != 0) return result;

    const pid_t pid = fork();
    if (pid == 0) {
        dup2(in_pipe[0], STDIN_FILENO);
        dup2(out_fd, STDOUT_FILENO);
        dup2(err_fd, STDERR_FILENO);
        close(in_pipe[0]);
        close(in_pipe[1]);
        close(out_fd);
        close(err_fd);
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
    std::size_t written = 0;
    while (pid > 0 && written < input.size()) {
        const ssize_t n = write(in_pipe[1], input.data() + written, input.size() - written);
        if (n <= 0) break;
        written += static_cast<std::size_t>(n);
    }
    if (!hold_input_open) close(in_pipe[1]);
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid)
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (hold_input_open) close(in_pipe[1]);
    result.out = slurp_and_remove(out_path);
    result.err = slurp_and_remove(err_path);
    return result;
}

}  // namespace host_test
