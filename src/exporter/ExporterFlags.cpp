#include "exporter/ExporterFlags.h"

#include "core/Text.h"
#include "exporter/NameTable.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

double NonNegativeNumber(const std::string& name, const std::string& text) {
    const auto value = WholeNumber<double>(text);
    if (!value || !std::isfinite(*value) || *value < 0) {
        throw CFlagError{name + " takes a number of seconds, not '" + text + "'"};
    }
    return *value;
}

int PositiveCount(const std::string& name, const std::string& text) {
    const auto value = WholeNumber<int>(text);
    if (!value || *value <= 0 || *value > 10000) {
        throw CFlagError{name + " takes a count from 1 to 10000, not '" + text + "'"};
    }
    return *value;
}

// The flags that take a value.
constexpr const char* kValueFlags[] = {
    "--web.listen-address", "--web.config.file", "--web.config.credentials",
    "--config.file",        "--timeout-offset",  "--web.max-requests",
    "--log.level"};

bool TakesValue(const std::string& name) {
    return std::find(std::begin(kValueFlags), std::end(kValueFlags), name) != std::end(kValueFlags);
}

} // namespace

ExporterFlags ParseExporterFlags(const std::vector<std::string>& args) {
    ExporterFlags flags;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            flags.help = true;
            continue;
        }
        if (arg == "--version") {
            flags.version = true;
            continue;
        }
        const std::size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        if (name == "--config.check" || name == "--web.enable-lifecycle") {
            if (equals != std::string::npos) {
                throw CFlagError{name + " takes no value"};
            }
            (name == "--config.check" ? flags.configCheck : flags.enableLifecycle) = true;
            continue;
        }
        if (arg.rfind("--", 0) == 0 && !TakesValue(name)) {
            throw CFlagError{"unknown flag '" + name + "'"};
        }
        std::string value;
        if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
        } else if (i + 1 < args.size() && arg.rfind("--", 0) == 0) {
            value = args[++i];
        } else {
            throw CFlagError{arg.rfind("--", 0) == 0 ? name + " needs a value"
                                                     : "unknown argument '" + arg + "'"};
        }
        if (name == "--web.listen-address") {
            flags.listenAddress = value;
        } else if (name == "--web.config.file") {
            flags.webConfigFile = value;
        } else if (name == "--config.file") {
            flags.configFile = value;
        } else if (name == "--web.config.credentials") {
            flags.credentialsFile = value;
        } else if (name == "--timeout-offset") {
            flags.timeOffsetSeconds = NonNegativeNumber(name, value);
        } else if (name == "--web.max-requests") {
            flags.maxRequests = PositiveCount(name, value);
        } else if (name == "--log.level") {
            const auto level = ByName(kLogLevels, value);
            if (!level) {
                throw CFlagError{"--log.level takes debug, info, warn or error, not '" + value +
                                 "'"};
            }
            flags.logLevel = *level;
        } else {
            throw CFlagError{"unknown flag '" + name + "'"};
        }
    }
    if (!flags.credentialsFile.empty() && !flags.configCheck) {
        throw CFlagError{"--web.config.credentials is for --config.check"};
    }
    return flags;
}

const char* ExporterUsage() {
    return "Usage: prometheus-ksm7720-exporter [--web.listen-address=HOST:PORT]\n"
           "         [--web.config.file=FILE] [--config.file=FILE] [--timeout-offset=SECONDS]\n"
           "         [--web.max-requests=N] [--log.level=debug|info|warn|error]\n"
           "         [--web.enable-lifecycle]\n"
           "       prometheus-ksm7720-exporter [--web.config.file=FILE] [--config.file=FILE]\n"
           "         [--web.config.credentials=DROP-IN] --config.check\n"
           "       prometheus-ksm7720-exporter --help | --version\n"
           "\n"
           "Serves GET /probe?target=RESOURCE (one KS M7720 mainframe's readings), GET /metrics\n"
           "(the exporter's own figures) and GET /. SIGHUP reads both files again.\n"
           "\n"
           "  --web.listen-address  where to listen (default 127.0.0.1:9772, loopback only)\n"
           "  --web.config.file     TLS and basic authentication, as Prometheus's exporters take "
           "it\n"
           "  --config.file         the racks that may be probed; default: what the VISA search "
           "lists\n"
           "  --timeout-offset      seconds kept back from Prometheus's scrape time-out (0.5)\n"
           "  --web.max-requests    requests in flight at once; beyond them 503 (40)\n"
           "  --log.level           debug, info (default), warn or error\n"
           "  --web.enable-lifecycle  POST /-/reload reads both files again, as SIGHUP does\n"
           "  --config.check        check both files and exit: 0 when valid, 1 with the reason\n"
           "  --web.config.credentials  with --config.check: the service's LoadCredential=\n"
           "                        drop-in; web files named as its credentials are read from\n"
           "                        the files it hands to the service\n"
           "\n"
           "Environment: KSM7720_VISA_LIBRARY, KSM7720_DRIVER_LIBRARY, VXIPNPPATH.\n"
           "Exit status: 0 after SIGTERM or SIGINT, 1 when it cannot start, 2 on a usage error.\n"
           "See prometheus-ksm7720-exporter(1).\n";
}
