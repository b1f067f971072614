// Runs a program as a child process with given standard input, capturing its output.
#pragma once

#include <string>
#include <vector>

namespace host_test {

struct RunResult {
    int status = -1;  // exit status, or 128 + signal number
    std::string out;
    std::string err;
};

// `input` is written to the child's standard input. With `hold_input_open` the write end stays
// open until the child has ended, as a console nobody types into would. A non-empty `directory`
// is the child's working directory.
RunResult run_program(const std::vector<std::string>& argv, const std::string& input = "",
                      bool hold_input_open = false, const std::string& directory = "");

}  // namespace host_test
