#pragma once
// Where a log's rows go: standard output, or a file they are appended to. Every block of
// rows is written whole or not at all (a partial write is cut off again), flushed when
// written and synced every row or at most every few seconds. A CSV file gets its header
// when it is empty and is refused when it starts with another (a JSON Lines file when it
// does not start with an object); a last line torn by a
// process killed while writing it is cut off before anything is appended.
#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>

// Why path cannot be a log's output (a directory, a FIFO, a device), or nothing: a regular
// file or none at all.
std::optional<std::string> UnfitOutput(const std::string& path);

class CLogOutput {
public:
    // path: empty for standard output. header: written first to an empty output (CSV);
    // empty when the format has none. start: what a file appended to must begin with (the
    // header line; the first key of a record for JSON Lines). syncSeconds: 0 syncs after
    // every block.
    CLogOutput(std::string path, std::string header, std::string start, double syncSeconds);
    ~CLogOutput();
    CLogOutput(const CLogOutput&) = delete;
    CLogOutput& operator=(const CLogOutput&) = delete;

    // Opens (and checks) the file; the reason it cannot be used, or nothing.
    std::optional<std::string> Open();
    // Appends the rows; the reason the output failed (a full disk, a removed folder), or
    // nothing. The rows written before a failure stay whole.
    std::optional<std::string> Write(const std::string& rows);
    // Syncs what a --sync interval still holds; the reason it failed, or nothing.
    std::optional<std::string> Finish();

private:
    std::optional<std::string> CheckExisting(off_t size);
    std::optional<std::string> WriteAll(const std::string& bytes);
    std::optional<std::string> Sync();
    std::optional<std::string> Failure(const std::string& what, int error) const;

    const std::string m_path;
    const std::string m_header;
    const std::string m_start;
    const std::chrono::duration<double> m_syncEvery;
    int m_fd = -1;
    bool m_regular = false; // a file: synced, checked for removal, cut back on failure
    bool m_unsynced = false;
    std::chrono::steady_clock::time_point m_lastSync;
};
