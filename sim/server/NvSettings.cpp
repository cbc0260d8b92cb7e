#include "server/NvSettings.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

CNvSettings CNvSettings::Defaults() {
    CNvSettings s;
    for (int code = 0; code < CCatalogue::kObjectCodes; ++code) {
        if (const SimObject* obj = CCatalogue::Find(code))
            s.limits[code] = obj->limit;
    }
    return s;
}

bool CNvSettings::Load(const std::string& path) {
    std::ifstream in(path);
    if (!in)
        return false;
    CNvSettings read = *this;
    std::string line;
    for (int lines = 0; std::getline(in, line); ++lines) {
        if (lines > 1000)
            return false;
        std::istringstream words(line);
        std::string key;
        words >> key;
        if (key == "timeunit") {
            if (!(words >> read.timeUnit) || read.timeUnit < kHours || read.timeUnit > kSeconds)
                return false;
        } else if (key == "limit") {
            int code = -1;
            double value = 0;
            if (!(words >> code >> value) || !CCatalogue::Find(code) || !std::isfinite(value))
                return false;
            read.limits[code] = value;
        } else if (!key.empty()) {
            return false;
        }
    }
    *this = read;
    return true;
}

bool CNvSettings::Save(const std::string& path) const {
    std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::trunc);
        out.precision(17);
        out << "timeunit " << timeUnit << '\n';
        for (int code = 0; code < CCatalogue::kObjectCodes; ++code) {
            if (CCatalogue::Find(code))
                out << "limit " << code << ' ' << limits[code] << '\n';
        }
        if (!out.flush())
            return false;
    }
    return std::rename(temp.c_str(), path.c_str()) == 0;
}
