#pragma once
// Debian's promtool as the judge of an exposition: "promtool check metrics" reads it as
// Prometheus would and lints it. Empty when it passes, promtool's words otherwise.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

inline std::string PromtoolComplaint(const std::string& exposition) {
    char path[] = "/tmp/ksm7720-promtool-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0) {
        return "no temporary file";
    }
    ::close(fd);
    std::ofstream(path) << exposition;
    const std::string command = std::string("promtool check metrics < ") + path + " 2>&1";
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        ::unlink(path);
        return "promtool did not start";
    }
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        output += buffer;
    }
    const int status = ::pclose(pipe);
    ::unlink(path);
    return status == 0 ? "" : "promtool: " + output;
}
