#pragma once
// A file replaced whole or not at all, for readers that may look at any moment (such as
// node_exporter's textfile collector): the content goes to a new file beside it, is
// synced to disk, and is renamed over the old one. A write that fails, or a run killed
// halfway, leaves the old file as it was.
#include <optional>
#include <string>
#include <string_view>

// Replaces the file at path with content; nothing on success, the reason ("No space left
// on device") when the old file was kept. The new file's mode is 0666 less the umask.
std::optional<std::string> ReplaceFile(const std::string& path, std::string_view content);
