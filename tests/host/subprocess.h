// Runs a program as a child process with given standard input, capturing its output.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace host_test {

struct RunResult {
    int status = -1;  // exit status, or 128 + signal number
    std::string out;
    std::string err;
};

// A running child process: its standard input is a pipe from here, its output goes to files read
// at the end. A child not waited for is killed when this goes.
class ChildProcess {
public:
    // A non-empty `directory` is the child's working directory.
    explicit ChildProcess(const std::vector<std::string>& argv, const std::string& directory = "");
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    void write_input(const std::string& bytes);
    void close_input();
    // Waits for the child to end, then closes its input.
    RunResult wait();

private:
    pid_t pid_ = -1;
    int input_ = -1;
    std::string out_path_;
    std::string err_path_;
};

// `input` is written to the child's standard input. With `hold_input_open` the write end stays
// open until the child has ended, as a console nobody types into would. A non-empty `directory`
// is the child's working directory.
RunResult run_program(const std::vector<std::string>& argv, const std::string& input = "",
                      bool hold_input_open = false, const std::string& directory = "");

}  // namespace host_test
