#include "server/AtomicFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

std::string Failure(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

bool WriteAll(int fd, const std::string& text) {
    for (size_t done = 0; done < text.size();) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Makes a rename in the folder of `path` durable.
bool SyncFolder(const std::string& path) {
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "."
                         : slash == 0               ? "/"
                                                    : path.substr(0, slash);
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

} // namespace

bool WriteFileAtomically(const std::string& path, const std::string& text, std::string& error) {
    std::string pattern = path + ".XXXXXX";
    std::vector<char> temp(pattern.begin(), pattern.end());
    temp.push_back('\0');
    int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        error = Failure("cannot create a file beside", path);
        return false;
    }
    const std::string tempPath = temp.data();
    if (!WriteAll(fd, text) || ::fsync(fd) != 0)
        error = Failure("cannot write", tempPath);
    if (::close(fd) != 0 && error.empty())
        error = Failure("cannot close", tempPath);
    if (error.empty() && ::rename(tempPath.c_str(), path.c_str()) != 0)
        error = Failure("cannot rename over", path);
    if (!error.empty()) {
        ::unlink(tempPath.c_str());
        return false;
    }
    if (!SyncFolder(path)) {
        error = Failure("cannot flush the folder of", path);
        return false;
    }
    return true;
}
