#pragma once

#include "common/BenchFile.h"

#include <optional>
#include <string>

// The bench file as the library last read it, kept while the file is the same: opening a
// session reads the bench three times (resource manager, open, connect), and a site's bench
// of 1,000 racks takes over a millisecond to parse. A file replaced (the simulator renames a
// new resolved bench over the old) or changed has another inode, size or time stamp and is
// read afresh, so a restarted simulator's new ports are still found at the next connect.
std::optional<CBenchFile> LoadBenchCached(const std::string& path);

// Forgets the bench kept, when the library unloads.
void ForgetCachedBench();
