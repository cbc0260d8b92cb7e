#pragma once
// Wall-clock times as the records of readings carry them.
#include <chrono>
#include <string>

using WallTime = std::chrono::system_clock::time_point;

// "2026-12-08T13:45:12.345Z": UTC, RFC 3339, milliseconds, whatever the locale and zone.
std::string Rfc3339(WallTime time);
