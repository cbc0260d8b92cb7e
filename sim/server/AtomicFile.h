#pragma once

#include <string>

// Replaces `path` with `text` so that a reader, a crash or a power cut finds either the old
// file or the whole new one: the text goes to a temporary file of a unique name beside it,
// which is flushed to disk, renamed over `path`, and the folder flushed too. Another
// process writing the same path at the same time never touches our temporary file.
// False, with what failed in `error`, when any step fails; the temporary file is removed.
bool WriteFileAtomically(const std::string& path, const std::string& text, std::string& error);
