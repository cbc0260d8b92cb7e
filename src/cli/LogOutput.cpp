#include "cli/LogOutput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

CLogOutput::CLogOutput(std::string path, std::string header, std::string start, double syncSeconds)
    : m_path(std::move(path)), m_header(std::move(header)), m_start(std::move(start)),
      m_syncEvery(syncSeconds) {}

CLogOutput::~CLogOutput() {
    if (m_fd > STDERR_FILENO) {
        ::close(m_fd);
    }
}

std::optional<std::string> CLogOutput::Failure(const std::string& what, int error) const {
    const std::string name = m_path.empty() ? "standard output" : m_path;
    return what + " " + name + ": " + std::strerror(error);
}

std::optional<std::string> UnfitOutput(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || S_ISREG(status.st_mode)) {
        return std::nullopt;
    }
    return "--output takes a regular file or a new one; " + path + " is " +
           (S_ISDIR(status.st_mode)    ? "a directory"
            : S_ISFIFO(status.st_mode) ? "a FIFO"
                                       : "a device or socket");
}

std::optional<std::string> CLogOutput::Open() {
    m_fd = m_path.empty()
               ? STDOUT_FILENO
               : ::open(m_path.c_str(),
                        O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
    if (m_fd < 0) {
        return Failure("could not open", errno);
    }
    struct stat status {};
    m_regular = !m_path.empty() && ::fstat(m_fd, &status) == 0 && S_ISREG(status.st_mode);
    if (!m_path.empty() && !m_regular) {
        return UnfitOutput(m_path).value_or(m_path + " is not a regular file");
    }
    m_lastSync = std::chrono::steady_clock::now();
    if (m_regular && status.st_size > 0) {
        return CheckExisting(status.st_size);
    }
    // Standard output a pipe or terminal gets the header once; an empty file too.
    return m_header.empty() ? std::nullopt : Write(m_header);
}

// A file this log did not write is never changed: it must begin as the log's own do (the
// CSV header line, the first key of a JSON Lines record) before anything is cut. Then its
// last line must end; a torn one (a killed process mid-write) is cut off.
std::optional<std::string> CLogOutput::CheckExisting(off_t size) {
    std::string first(m_start.size(), '\0');
    if (::pread(m_fd, first.data(), first.size(), 0) != static_cast<ssize_t>(first.size()) ||
        first != m_start) {
        return m_path + " holds another format or other columns than this log writes; name "
                        "another file";
    }
    constexpr off_t kTail = 1 << 16;
    std::vector<char> tail(static_cast<std::size_t>(std::min(size, kTail)));
    if (::pread(m_fd, tail.data(), tail.size(), size - static_cast<off_t>(tail.size())) !=
        static_cast<ssize_t>(tail.size())) {
        return Failure("could not read", errno);
    }
    if (tail.back() == '\n') {
        return std::nullopt;
    }
    const std::string_view text(tail.data(), tail.size());
    const auto end = text.rfind('\n');
    const off_t keep = end == std::string_view::npos
                           ? (size > kTail ? -1 : 0)
                           : size - static_cast<off_t>(tail.size() - end - 1);
    if (keep < 0 || ::ftruncate(m_fd, keep) != 0) {
        return std::string("could not cut the torn last line of ") + m_path;
    }
    return keep == 0 && !m_header.empty() ? Write(m_header) : std::nullopt;
}

std::optional<std::string> CLogOutput::WriteAll(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return Failure("could not write", n < 0 ? errno : ENOSPC);
        }
        done += static_cast<std::size_t>(n);
    }
    return std::nullopt;
}

std::optional<std::string> CLogOutput::Sync() {
    if (m_regular && ::fdatasync(m_fd) != 0) {
        return Failure("could not sync", errno);
    }
    m_unsynced = false;
    m_lastSync = std::chrono::steady_clock::now();
    return std::nullopt;
}

std::optional<std::string> CLogOutput::Write(const std::string& rows) {
    struct stat before {};
    if (m_regular) {
        // A file whose folder was removed still takes writes, which nobody will read.
        struct stat named {};
        if (::fstat(m_fd, &before) != 0 || ::stat(m_path.c_str(), &named) != 0 ||
            named.st_ino != before.st_ino || named.st_dev != before.st_dev) {
            return m_path + " is gone (removed, or its folder): the log stops";
        }
    }
    if (auto failure = WriteAll(rows)) {
        if (m_regular && ::ftruncate(m_fd, before.st_size) != 0) {
            *failure += "; its last rows may be torn";
        }
        return failure;
    }
    m_unsynced = true;
    if (std::chrono::steady_clock::now() - m_lastSync >= m_syncEvery) {
        return Sync();
    }
    return std::nullopt;
}

std::optional<std::string> CLogOutput::Finish() {
    return m_unsynced ? Sync() : std::nullopt;
}
