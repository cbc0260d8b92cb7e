#pragma once
// ksm7720 as a child process of a test.
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

// Starts CLI_EXE with args, its standard output and error written to the files out and err;
// prepare runs in the child just before (an environment, a resource limit).
inline pid_t StartCli(const std::vector<std::string>& args, const std::string& out,
                      const std::string& err, const std::function<void()>& prepare = {}) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (prepare) {
            prepare();
        }
        ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDOUT_FILENO);
        ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDERR_FILENO);
        std::vector<char*> argv{const_cast<char*>(CLI_EXE)};
        for (const std::string& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        ::execv(CLI_EXE, argv.data());
        ::_exit(127);
    }
    return pid;
}
