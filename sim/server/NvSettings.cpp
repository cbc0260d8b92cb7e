#include "server/NvSettings.h"

#include "server/AtomicFile.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace {

constexpr int kMaxLines = 1000;

// One line of a state file into `read`; false when it is not a setting, or repeats one.
bool ReadLine(const std::string& line, CNvSettings& read, bool& timeUnitSeen,
              std::set<int>& limitsSeen) {
    std::istringstream words(line);
    std::string key, rest;
    words >> key;
    if (key == "timeunit") {
        int unit = 0;
        if (timeUnitSeen || !(words >> unit) || unit < CNvSettings::kHours ||
            unit > CNvSettings::kSeconds)
            return false;
        read.timeUnit = unit;
        timeUnitSeen = true;
    } else if (key == "limit") {
        int code = -1;
        double value = 0;
        if (!(words >> code >> value) || !CCatalogue::Find(code) || !std::isfinite(value) ||
            !limitsSeen.insert(code).second)
            return false;
        read.limits[code] = value;
    } else if (!key.empty()) {
        return false;
    }
    return !(words >> rest);
}

size_t ObjectCount() {
    size_t count = 0;
    for (int code = 0; code < CCatalogue::kObjectCodes; ++code)
        count += CCatalogue::Find(code) != nullptr;
    return count;
}

} // namespace

CNvSettings CNvSettings::Defaults() {
    CNvSettings s;
    for (int code = 0; code < CCatalogue::kObjectCodes; ++code) {
        if (const SimObject* obj = CCatalogue::Find(code))
            s.limits[code] = obj->limit;
    }
    return s;
}

CNvSettings::LoadResult CNvSettings::Load(const std::string& path, std::string& error) {
    std::error_code code;
    if (std::filesystem::symlink_status(path, code).type() == std::filesystem::file_type::not_found)
        return LoadResult::Missing;
    std::ifstream in(path);
    if (!in) {
        error = "cannot be read";
        return LoadResult::Damaged;
    }
    CNvSettings read = *this;
    bool timeUnitSeen = false;
    std::set<int> limitsSeen;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!ReadLine(line, read, timeUnitSeen, limitsSeen) || number > kMaxLines) {
            error = "line " + std::to_string(number) + " is not a setting";
            return LoadResult::Damaged;
        }
    }
    if (!timeUnitSeen || limitsSeen.size() != ObjectCount()) {
        error = "settings are missing";
        return LoadResult::Damaged;
    }
    *this = read;
    return LoadResult::Loaded;
}

bool CNvSettings::Save(const std::string& path, std::string& error) const {
    std::ostringstream out;
    out.precision(17);
    out << "timeunit " << timeUnit << '\n';
    for (int code = 0; code < CCatalogue::kObjectCodes; ++code) {
        if (CCatalogue::Find(code))
            out << "limit " << code << ' ' << limits[code] << '\n';
    }
    return WriteFileAtomically(path, out.str(), error);
}
