#pragma once
// The HTTP side's rules that need no server: where to listen, how long a scrape may take,
// and which raw query strings name their target unambiguously.
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

enum class TargetQuery { Usable, Repeated, HoldsNul };

// The query of a raw request URI, before any unescaping: whether "target" comes more than
// once, or its value escapes a NUL that would cut it short once unescaped.
TargetQuery CheckTargetQuery(std::string_view rawUri);
