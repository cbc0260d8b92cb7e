#include "core/WallClock.h"

#include <cstdio>
#include <ctime>

std::string Rfc3339(WallTime time) {
    using namespace std::chrono;
    const auto ms = floor<milliseconds>(time.time_since_epoch()).count();
    const int milli = static_cast<int>(((ms % 1000) + 1000) % 1000);
    const std::time_t seconds = static_cast<std::time_t>((ms - milli) / 1000);
    // A log writes a hundred times in one second: its text up to the seconds is kept.
    thread_local std::time_t keptSecond = 0;
    thread_local std::string kept;
    if (kept.empty() || seconds != keptSecond) {
        std::tm utc{};
        ::gmtime_r(&seconds, &utc);
        char text[96]; // room for any int year, which the compiler cannot rule out
        std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.", utc.tm_year + 1900,
                      utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
        kept = text;
        keptSecond = seconds;
    }
    std::string text = kept;
    text += static_cast<char>('0' + milli / 100);
    text += static_cast<char>('0' + milli / 10 % 10);
    text += static_cast<char>('0' + milli % 10);
    text += 'Z';
    return text;
}
