#include "cli/FileReplacement.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// The folder of path, and the file's name in it.
std::pair<std::string, std::string> SplitPath(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {".", path};
    }
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

bool WriteAll(int fd, std::string_view content) {
    while (!content.empty()) {
        const ssize_t written = write(fd, content.data(), content.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        content.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// The mode a file created now gets: 0666 less the process's umask.
mode_t CreationMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// Syncs the folder so the rename itself survives a crash. Some file systems refuse to
// sync a folder; the file is in place by then, so that is no failure.
void SyncFolder(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

} // namespace

std::optional<std::string> ReplaceFile(const std::string& path, std::string_view content) {
    const auto [folder, name] = SplitPath(path);
    if (name.empty()) {
        return std::string("no file name");
    }
    // A hidden name that does not end as the file does, so no reader globbing "*.prom"
    // takes a half-written file.
    std::string temporary = folder + "/." + name + ".XXXXXX";
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        return std::string(std::strerror(errno));
    }
    std::optional<std::string> failure;
    if (fchmod(fd, CreationMode()) != 0 || !WriteAll(fd, content) || fsync(fd) != 0) {
        failure = std::strerror(errno);
    }
    if (close(fd) != 0 && !failure) {
        failure = std::strerror(errno);
    }
    if (!failure && rename(temporary.c_str(), path.c_str()) != 0) {
        failure = std::strerror(errno);
    }
    if (failure) {
        unlink(temporary.c_str());
        return failure;
    }
    SyncFolder(folder);
    return std::nullopt;
}
