#include "core/WallClock.h"

#include <cstdio>
#include <ctime>

std::string Rfc3339(WallTime time) {
    using namespace std::chrono;
    const auto ms = floor<milliseconds>(time.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>((ms - ((ms % 1000) + 1000) % 1000) / 1000);
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char text[96]; // room for any int year, which the compiler cannot rule out
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(((ms % 1000) + 1000) % 1000));
    return text;
}
