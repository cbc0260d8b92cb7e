#include "exporter/HttpRules.h"

#include "exporter/ExporterFlags.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr double kDefaultScrapeTimeOut = 10.0; // without Prometheus's header
constexpr double kMaxScrapeTimeOut = 120.0;
constexpr unsigned kMaxPort = 65535;
constexpr std::size_t kMaxTargetLength = 255; // a VISA resource descriptor's room

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// text with %XX and '+' unescaped as the server unescapes a query.
std::string Unescaped(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
            HexDigit(text[i + 2]) >= 0) {
            out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
            i += 2;
        } else {
            out += text[i] == '+' ? ' ' : text[i];
        }
    }
    return out;
}

} // namespace

ListenAddress ParseListenAddress(const std::string& text) {
    const std::string usage = "--web.listen-address takes HOST:PORT, [IPv6]:PORT or :PORT with "
                              "PORT from 1 to 65535 (0: a free one), not '" +
                              text + "'";
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos) {
        throw CFlagError{usage};
    }
    ListenAddress address{text.substr(0, colon), 0};
    const std::string port = text.substr(colon + 1);
    if (port.empty() || port.size() > 5 ||
        !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        throw CFlagError{usage};
    }
    address.port = static_cast<unsigned>(std::stoul(port));
    if (address.port > kMaxPort) {
        throw CFlagError{usage};
    }
    std::string& host = address.host;
    if (!host.empty() && host.front() == '[') {
        if (host.size() < 3 || host.back() != ']' || host.find(':') == std::string::npos) {
            throw CFlagError{usage};
        }
        host = host.substr(1, host.size() - 2);
    } else if (host.find_first_of(":[]") != std::string::npos) {
        throw CFlagError{usage}; // an IPv6 address needs its brackets
    }
    return address;
}

std::optional<double> ScrapeBudget(const char* header, double offset) {
    double timeOut = kDefaultScrapeTimeOut;
    if (header != nullptr) {
        char* end = nullptr;
        timeOut = std::strtod(header, &end);
        if (end == header || *end != '\0' || !(timeOut > 0)) {
            return std::nullopt;
        }
    }
    timeOut = std::min(timeOut, kMaxScrapeTimeOut);
    return timeOut > offset ? timeOut - offset : timeOut;
}

ProbeQuery ParseProbeQuery(std::string_view rawUri) {
    const std::size_t question = rawUri.find('?');
    std::string_view query =
        question == std::string_view::npos ? std::string_view{} : rawUri.substr(question + 1);
    query = query.substr(0, query.find('#'));
    ProbeQuery probe;
    int targets = 0;
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view{} : query.substr(amp + 1);
        const std::size_t equals = pair.find('=');
        const std::string key = Unescaped(pair.substr(0, equals));
        if (key == "debug") {
            probe.debug =
                equals != std::string_view::npos && Unescaped(pair.substr(equals + 1)) == "true";
        }
        if (key != "target") {
            continue;
        }
        if (++targets > 1) {
            return {"", "target is given more than once"};
        }
        probe.target = equals == std::string_view::npos ? "" : Unescaped(pair.substr(equals + 1));
    }
    if (probe.target.find('\0') != std::string::npos) {
        probe.error = "target holds a NUL byte";
    } else if (probe.target.empty()) {
        probe.error = "target is missing: /probe?target=RESOURCE";
    } else if (probe.target.size() > kMaxTargetLength ||
               !std::all_of(probe.target.begin(), probe.target.end(),
                            [](unsigned char c) { return c >= 0x21 && c <= 0x7e; })) {
        probe.error =
            "target is not a VISA resource name (printable, no spaces, at most 255 bytes)";
    }
    return probe;
}
