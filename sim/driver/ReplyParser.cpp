#include "driver/ReplyParser.h"

#include <charconv>
#include <cmath>
#include <vector>

namespace {

std::vector<std::string_view> SplitCommas(std::string_view s) {
    std::vector<std::string_view> parts;
    for (;;) {
        size_t comma = s.find(',');
        parts.push_back(s.substr(0, comma));
        if (comma == std::string_view::npos)
            return parts;
        s.remove_prefix(comma + 1);
    }
}

bool ParseReal(std::string_view s, double& out) {
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return !s.empty() && ec == std::errc() && end == s.data() + s.size() && std::isfinite(out);
}

bool ParseInteger(std::string_view s, int32_t& out) {
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return !s.empty() && ec == std::errc() && end == s.data() + s.size();
}

} // namespace

bool CReplyParser::Reals(std::string_view reply, double* out, int max, int& count) {
    std::vector<std::string_view> parts = SplitCommas(reply);
    if (parts.size() > static_cast<size_t>(max))
        return false;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (!ParseReal(parts[i], out[i]))
            return false;
    }
    count = static_cast<int>(parts.size());
    return true;
}

bool CReplyParser::Integers(std::string_view reply, int32_t* out, int count) {
    std::vector<std::string_view> parts = SplitCommas(reply);
    if (parts.size() != static_cast<size_t>(count))
        return false;
    for (int i = 0; i < count; ++i) {
        if (!ParseInteger(parts[i], out[i]))
            return false;
    }
    return true;
}

bool CReplyParser::NumberAndText(std::string_view reply, int32_t& number, std::string& text) {
    size_t comma = reply.find(',');
    if (comma == std::string_view::npos || !ParseInteger(reply.substr(0, comma), number))
        return false;
    std::string_view quoted = reply.substr(comma + 1);
    if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"')
        return false;
    text.clear();
    for (size_t i = 1; i + 1 < quoted.size(); ++i) {
        if (quoted[i] == '"') {
            if (quoted[i + 1] != '"' || i + 2 >= quoted.size())
                return false;
            ++i;
        }
        text.push_back(quoted[i]);
    }
    return true;
}

std::string CReplyParser::FormatReal(double value) {
    char text[40];
    auto [end, ec] = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 17);
    return ec == std::errc() ? std::string(text, end) : "0";
}
