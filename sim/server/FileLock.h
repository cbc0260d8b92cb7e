#pragma once

#include <string>

// An advisory lock (flock) on a lock file, held until the object goes. It keeps two
// simulators, in one process or two, from both saving one mainframe's state file.
class CFileLock {
public:
    CFileLock() = default;
    ~CFileLock();
    CFileLock(const CFileLock&) = delete;
    CFileLock& operator=(const CFileLock&) = delete;

    // Takes the lock on `path`, making the file if need be. False only when someone else
    // holds it; a lock file that cannot be made (no such folder) stands in nobody's way.
    bool Acquire(const std::string& path);

private:
    int m_fd = -1;
};
