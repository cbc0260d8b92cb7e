#pragma once
// The HTTP side's rules that need no server: where to listen, how long a scrape may take,
// and what a probe's raw query asks.
#include <optional>
#include <string>
#include <string_view>

struct ListenAddress {
    std::string host;  // without brackets; empty: every address, IPv4 and IPv6
    unsigned port = 0; // 0: a free port the system picks
};

// HOST:PORT, [IPv6]:PORT or :PORT with PORT in decimal digits up to 65535; throws
// CFlagError (a usage error) otherwise.
ListenAddress ParseListenAddress(const std::string& text);

// Seconds a scrape may take: Prometheus's X-Prometheus-Scrape-Timeout-Seconds (nullptr
// when absent: 10 s) capped at 120 s, less the offset when that leaves something; nothing
// when the header is not a positive number of seconds.
std::optional<double> ScrapeBudget(const char* header, double offset);

// What a probe asks, read from the raw request URI: the one place its target is checked.
struct ProbeQuery {
    std::string target;
    std::string error;  // why the target cannot be probed; empty when it can
    bool debug = false; // debug=true: the probe's own steps as text instead of the exposition
};

// The query of a raw URI, unescaped as a form is: "target" (exactly that key) given once,
// "debug" true or absent,
// no escaped NUL in it, printable ASCII without spaces within a resource name's 255 bytes.
ProbeQuery ParseProbeQuery(std::string_view rawUri);
