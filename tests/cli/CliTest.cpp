// ksm7720 as a script runs it: the real program, the real stand-in libraries named by the
// environment, and a simulator whose own answers over its socket are the expected values.
#include "CliProcess.h"
#include "Promtool.h"
#include "SimProcess.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>

namespace {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), {}};
}

// True when jq reads json as JSON and filter holds for it.
bool JsonHolds(const std::string& json, const std::string& filter) {
    char path[] = "/tmp/ksm7720-json-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0 || ::write(fd, json.data(), json.size()) != static_cast<ssize_t>(json.size())) {
        return false;
    }
    ::close(fd);
    const std::string command = "jq -e '" + filter + "' " + path + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    ::unlink(path);
    return status == 0;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::stringstream stream(text);
    for (std::string part; std::getline(stream, part, separator);) {
        parts.push_back(part);
    }
    return parts;
}

std::vector<double> Numbers(const std::string& reply) {
    std::vector<double> values;
    for (const std::string& part : Split(reply, ',')) {
        values.push_back(std::stod(part));
    }
    return values;
}

// The "value" column of a table in any of the three formats.
std::vector<double> ValueColumn(const std::string& output, const std::string& format) {
    std::vector<double> values;
    const std::vector<std::string> lines = Split(output, '\n');
    if (format == "json") {
        const std::regex value(R"("value": ([^,}]+))");
        for (std::sregex_iterator it(output.begin(), output.end(), value), end; it != end; ++it) {
            values.push_back(std::stod((*it)[1]));
        }
    } else if (format == "csv") {
        for (std::size_t i = 1; i < lines.size(); ++i) {
            values.push_back(std::stod(Split(lines[i], ',').at(3)));
        }
    } else {
        const std::size_t at = lines.at(0).find("value");
        for (std::size_t i = 1; i < lines.size(); ++i) {
            values.push_back(std::stod(lines[i].substr(at)));
        }
    }
    return values;
}

// One Prometheus sample.
struct Sample {
    std::string name;
    std::map<std::string, std::string> labels;
    double value = 0.0;
};

// The text exposition format, strictly: HELP and TYPE once per family and before its
// samples, names and label names as the format allows them, quoted label values with
// their three escapes, a value, and nothing else. Fails the test at the first fault.
std::vector<Sample> ParseExposition(const std::string& text) {
    const std::regex comment(R"(# (HELP|TYPE) ([a-zA-Z_:][a-zA-Z0-9_:]*) (.*))");
    const std::regex sample(R"(([a-zA-Z_:][a-zA-Z0-9_:]*)(\{(.*)\})? (\S+))");
    const std::regex label(R"re(([a-zA-Z_][a-zA-Z0-9_]*)="((?:[^"\\]|\\[\\"n])*)"(,|$))re");
    std::map<std::string, std::set<std::string>> seen; // family -> HELP/TYPE lines seen
    std::vector<Sample> samples;
    for (const std::string& line : Split(text, '\n')) {
        std::smatch m;
        if (std::regex_match(line, m, comment)) {
            EXPECT_TRUE(seen[m[2]].insert(m[1]).second) << "repeated: " << line;
            if (m[1] == "TYPE") {
                EXPECT_EQ(m[3], "gauge") << line;
            }
            continue;
        }
        if (!std::regex_match(line, m, sample)) {
            ADD_FAILURE() << "not a sample: " << line;
            continue;
        }
        Sample s{m[1], {}, 0.0};
        EXPECT_EQ(seen[s.name].size(), 2u) << "HELP and TYPE before " << line;
        const std::string labels = m[3];
        std::size_t consumed = 0;
        for (std::sregex_iterator it(labels.begin(), labels.end(), label), end; it != end; ++it) {
            EXPECT_EQ(static_cast<std::size_t>(it->position()), consumed) << line;
            consumed += it->length();
            s.labels[(*it)[1]] = (*it)[2];
        }
        EXPECT_EQ(consumed, labels.size()) << "labels of " << line;
        s.value = std::stod(m[4]);
        samples.push_back(s);
    }
    return samples;
}

} // namespace

class Cli : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        sim = new CSimProcess(CSimProcess::DefaultBench());
        ASSERT_TRUE(sim->Start()) << sim->ListeningLine();
        sim->ExportEnvironment(VISA_LIBRARY, DRIVER_LIBRARY);
    }
    static void TearDownTestSuite() {
        delete sim;
        sim = nullptr;
    }

    // Runs ksm7720 with args; each environment pair is set, or unset when its value is
    // empty, for this run only.
    static Outcome Run(const std::vector<std::string>& args,
                       const std::map<std::string, std::string>& environment = {}) {
        const std::string out = sim->Dir() + "/out", err = sim->Dir() + "/err";
        const pid_t pid = StartCli(args, out, err, [&] {
            for (const auto& [name, value] : environment) {
                value.empty() ? ::unsetenv(name.c_str()) : ::setenv(name.c_str(), value.c_str(), 1);
            }
        });
        int status = 0;
        ::waitpid(pid, &status, 0);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out), ReadFile(err)};
    }

    // The simulator's own answer; a line without a query is followed by one, so it has
    // been carried out when this returns.
    static std::string Raw(const std::string& line) {
        CRawClient client(sim->Port("mainframe"));
        if (line.find('?') != std::string::npos) {
            return client.Query(line);
        }
        return client.Query(line + (line.rfind("SIM", 0) == 0 ? ";SIM:SPE?" : ";*OPC?"));
    }

    static CSimProcess* sim;
};

CSimProcess* Cli::sim = nullptr;

// A reading taken with the wrong object code, the three values mixed up, or a number
// printed in a form that does not read back.
TEST_F(Cli, ReadGivesTheSimulatorsValuesInEveryFormat) {
    struct Case {
        std::vector<std::string> args;
        std::string format;
        int code;
    };
    const std::vector<Case> cases{
        {{"read", "TEMPERATURE", "OUT3"}, "text", 3},
        {{"read", "current", "p5", "--format", "csv"}, "csv", 35},
        {{"--format=json", "read", "Blower", "blow2"}, "json", 51},
        {{"read", "temp", "ambient"}, "text", 26},
        {{"read", "VOLT", "N12", "--format", "json"}, "json", 44},
    };
    for (const Case& c : cases) {
        const Outcome run = Run(c.args);
        ASSERT_EQ(run.status, 0) << c.args[1] << ' ' << run.err;
        EXPECT_EQ(ValueColumn(run.out, c.format),
                  Numbers(Raw("MEAS:LEV? " + std::to_string(c.code))))
            << run.out;
    }
}

// A reading over its limit lost (nothing printed), taken for a failure or not said so in
// its fields, or another error-queue entry taken for a limit excursion.
TEST_F(Cli, ReadOverItsLimitPrintsTheValuesAndExitsThree) {
    struct Case {
        std::string format;
        std::vector<std::string> setUp;
        int status;
        std::string says;
    };
    const std::vector<Case> cases{
        {"text", {"LIM 3,200"}, 3, "instrument reports error: Limit exceeded; TEMP OUT3 reads"},
        {"csv", {"LIM 3,200"}, 3, "Limit exceeded"},
        {"json", {"LIM 3,200"}, 3, "Limit exceeded"},
        {"json", {"LIM 3,200", "SIM:ERR 1"}, 1, "injected fault 1 of 1"},
    };
    for (const Case& c : cases) {
        for (const std::string& line : c.setUp) {
            Raw(line);
        }
        const Outcome run = Run({"read", "TEMP", "OUT3", "--format", c.format});
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        if (c.status == 3) {
            EXPECT_EQ(ValueColumn(run.out, c.format), Numbers(Raw("MEAS:LEV? 3")));
        }
        if (c.status == 3 && c.format == "json") {
            // The verdict, the base unit, the resource and the time as fields for a script.
            EXPECT_TRUE(JsonHolds(run.out,
                                  "all(.[]; .object_over_limit == true and .si_unit == \"degC\" "
                                  "and .si_value == .value / 10 and .resource == "
                                  "\"VXI0::24::INSTR\" and (.time | test(\"Z$\")))"))
                << run.out;
        }
        Raw("LIM 3,550");
        Raw("*CLS");
    }
}

// Output in --format json that a JSON reader rejects (a command that prints nothing, a
// yes/no as a string), or a limit that does not say its unit.
TEST_F(Cli, JsonOutputOfEveryCommandParses) {
    const std::vector<std::vector<std::string>> commands{
        {"list"},  {"read", "VOLT", "P5"}, {"histogram", "POWER", "N2"},
        {"units"}, {"units", "hours"},     {"limit", "TEMP", "AMBIENT", "400"},
        {"save"},  {"message", "json"},    {"reset-history", "queue"},
        {"reset"}, {"selftest"},           {"errors"},
    };
    std::map<std::string, std::string> outputs;
    for (std::vector<std::string> args : commands) {
        args.insert(args.end(), {"--format", "json"});
        const Outcome run = Run(args);
        EXPECT_EQ(run.status, 0) << args[0] << ' ' << run.err;
        EXPECT_TRUE(JsonHolds(run.out, "type == \"array\"")) << args[0] << ": " << run.out;
        outputs[args[0]] = run.out;
    }
    EXPECT_TRUE(JsonHolds(outputs["list"], ".[0].mainframe | type == \"boolean\""));
    EXPECT_TRUE(JsonHolds(outputs["limit"], ".[0].unit == \".1 deg. C\""));
}

// Bins taken from the wrong part, edges and counts swapped, or the time unit missing.
TEST_F(Cli, HistogramGivesTheSimulatorsBins) {
    const Outcome run = Run({"histogram", "BLOWER", "BLOWER1", "--format", "csv"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> lines = Split(run.out, '\n');
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[0], "kind,object,bin,lower,upper,count,unit,time_unit");
    const auto counts = Numbers(Raw("HIST:DATA? 50,0"));
    const auto lower = Numbers(Raw("HIST:DATA? 50,1"));
    const auto upper = Numbers(Raw("HIST:DATA? 50,2"));
    for (std::size_t bin = 0; bin < 10; ++bin) {
        std::ostringstream expected;
        expected << "BLOWER,BLOWER1," << bin + 1 << ',' << lower[bin] << ',' << upper[bin] << ','
                 << counts[bin] << ",RPM,hours";
        EXPECT_EQ(lines[bin + 1], expected.str());
    }
}

// A resource left out, its interface misnamed, or the probe's verdict wrong; and a list
// that needlessly requires the driver library.
TEST_F(Cli, ListShowsEveryResourceAndTheProbesVerdict) {
    const Outcome run = Run({"list"}, {{"KSM7720_DRIVER_LIBRARY", "libksm7720-none.so"}});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "resource         interface  mainframe\n"
                       "VXI0::24::INSTR  VXI        yes\n"
                       "GPIB0::9::INSTR  GPIB       no\n"
                       "ASRL1::INSTR     ASRL       no\n");
}

// A changing command that does not reach the mainframe, reaches it with the wrong
// argument, or reports success when the mainframe did not take it.
TEST_F(Cli, ChangingCommandsReachTheMainframe) {
    struct Case {
        std::vector<std::string> args;
        std::string query;
        std::string expected;
    };
    const std::vector<Case> cases{
        {{"limit", "TEMP", "OUT3", "+600.5"}, "LIM? 3", "600.5"},
        {{"limit", "VOLT", "N12", "--", "-12500"}, "LIM? 44", "-12500"},
        {{"units", "minutes"}, "HIST:TUN?", "18"},
        {{"message", "hello", "world"}, "DISP:TEXT?", "\"hello world\""},
        {{"reset-history", "blower", "BLOWER1"}, "HIST:DATA? 50,0", "0,0,0,0,0,0,0,0,0,0"},
        {{"save"}, "*OPC?", "1"},
        {{"reset"}, "HIST:TUN?", "18"}, // back to the saved settings
        {{"units", "hours"}, "HIST:TUN?", "17"},
    };
    for (const Case& c : cases) {
        const Outcome run = Run(c.args);
        EXPECT_EQ(run.status, 0) << c.args[0] << ' ' << run.err;
        EXPECT_EQ(run.out.empty(), c.args[0] != "limit") << run.out; // limit shows its unit
        EXPECT_EQ(Raw(c.query), c.expected) << c.args[0];
    }
    EXPECT_EQ(Run({"units"}).out, "time_unit\nhours\n");
    const Outcome selfTest = Run({"selftest", "--format", "json"});
    EXPECT_EQ(selfTest.status, 0) << selfTest.err;
    EXPECT_NE(selfTest.out.find("\"result\": 0"), std::string::npos) << selfTest.out;
}

// Entries lost, shown newest first, or left in the queue.
TEST_F(Cli, ErrorsDrainsTheQueueOldestFirst) {
    Raw("SIM:ERR 3");
    const Outcome run = Run({"errors", "--format", "csv"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "code,text\n"
                       "-300,Device-specific error; injected fault 1 of 3\n"
                       "-300,Device-specific error; injected fault 2 of 3\n"
                       "-300,Device-specific error; injected fault 3 of 3\n");
    EXPECT_EQ(Run({"errors"}).out, "code  text\n");
}

// Output a Prometheus server or node_exporter would reject, a reading missing or under
// the wrong labels, a unit scaled the wrong way, or a series without its rack.
TEST_F(Cli, MetricsParseAsPrometheusTextAndMatchTheSimulator) {
    const Outcome run = Run({"metrics", "--blowers", "2", "--name", "rack-a"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(PromtoolComplaint(run.out), "");
    const std::vector<Sample> samples = ParseExposition(run.out);
    const auto find = [&](const std::string& name,
                          const std::map<std::string, std::string>& labels) {
        for (const Sample& s : samples) {
            auto wanted = labels;
            wanted["rack"] = "VXI0::24";
            if (s.name == name && s.labels == wanted) {
                return s.value;
            }
        }
        ADD_FAILURE() << "no " << name;
        return std::nan("");
    };
    for (const Sample& s : samples) {
        EXPECT_EQ(s.labels.at("rack"), "VXI0::24") << s.name;
    }
    EXPECT_EQ(find("ksm7720_up", {}), 1);
    const auto out3 = Numbers(Raw("MEAS:LEV? 3"));
    EXPECT_EQ(find("ksm7720_slot_air_temperature_celsius", {{"slot", "3"}, {"position", "rear"}}),
              out3[2] / 10);
    EXPECT_EQ(
        find("ksm7720_slot_temperature_rise_celsius", {{"slot", "12"}, {"position", "front"}}),
        Numbers(Raw("MEAS:LEV? 25"))[0] / 10);
    EXPECT_EQ(find("ksm7720_supply_current_amperes", {{"supply", "P5"}}),
              Numbers(Raw("MEAS:LEV? 35"))[0] / 1000);
    EXPECT_EQ(find("ksm7720_supply_voltage_volts", {{"supply", "N2"}}),
              Numbers(Raw("MEAS:LEV? 48"))[0] / 1000);
    EXPECT_EQ(find("ksm7720_blower_speed_rpm", {{"blower", "2"}}), Numbers(Raw("MEAS:LEV? 51"))[0]);
    EXPECT_EQ(find("ksm7720_blower_fitted", {{"blower", "3"}}), 0);
    EXPECT_EQ(find("ksm7720_over_limit", {{"quantity", "supply_voltage"}, {"object", "N2"}}), 0);
    EXPECT_EQ(find("ksm7720_info", {{"resource", "VXI0::24::INSTR"}, {"name", "rack-a"}}), 1);
    // The timer's unit named after the resource passes it as the name: no name at all.
    const Outcome unnamed = Run({"-a", "vxi0::24::instr", "metrics", "--name=VXI0::24::INSTR"});
    EXPECT_NE(unnamed.out.find("ksm7720_info{rack=\"VXI0::24\",resource=\"VXI0::24::INSTR\"} 1\n"),
              std::string::npos)
        << unnamed.out;
}

// A failure reported as success (a file --output could not write among them), a usage
// error taken for an instrument failure or the other way round, or a failure that says
// nothing.
TEST_F(Cli, FailuresExitWithTheirStatusAndSayWhy) {
    const std::string noMainframe = sim->Dir() + "/no-mainframe.bench";
    {
        std::ofstream bench(noMainframe);
        for (const std::string& line : Split(ReadFile(sim->ResolvedBench()), '\n')) {
            if (line.find("VXI0::24") == std::string::npos) {
                bench << line << '\n';
            }
        }
    }
    struct Case {
        std::vector<std::string> args;
        std::map<std::string, std::string> environment;
        std::string setUp; // a simulator command before the run
        int status;
        std::string says;
    };
    const std::string dead = sim->Dir() + "/dead.bench"; // a mainframe where nothing listens
    std::ofstream(dead) << "instrument mainframe mainframe port=1\n"
                           "resource VXI0::24::INSTR mainframe intf=VXI manf=3372 model=2861\n";
    const std::string damaged = sim->Dir() + "/libksm7720_32.so";
    std::ofstream(damaged) << "not a shared object";
    const std::vector<Case> cases{
        {{"read", "TEMP", "OUT3"}, {{"KSM7720_DRIVER_LIBRARY", damaged}}, "", 1, "  " + damaged},
        {{"read", "TEMP", "OUT3"},
         {{"KSM7720_VISA_LIBRARY", "/nonexistent/libvisa.so"}},
         "",
         1,
         "no usable VISA library; tried: /nonexistent/libvisa.so"},
        {{"read", "TEMP", "OUT3"},
         {{"KSM7720_DRIVER_LIBRARY", "libksm7720-none.so"}},
         "",
         1,
         "no instrument driver library"},
        {{"metrics"}, {{"KSM7720_BENCH", noMainframe}}, "", 1, "no KS M7720 mainframe found"},
        {{"metrics"}, {{"KSM7720_BENCH", dead}}, "", 1, "  VXI0::24::INSTR did not open"},
        {{"-n", "read", "TEMP", "OUT3"}, {}, "", 1, "  VXI0::24::INSTR\n"},
        {{"-a", "GPIB0::5::INSTR", "save"}, {}, "", 1, "could not open GPIB0::5::INSTR"},
        {{"--timeout", "200", "read", "TEMP", "OUT3"}, {}, "SIM:HANG 0", 1, "(status 0xBFFF0015)"},
        {{"-a", "vxi0::24::instr", "--timeout", "200", "metrics"},
         {},
         "SIM:HANG 0",
         1,
         "(status 0xBFFF0015)"},
        {{"save"}, {}, "SIM:ERR 1", 1, "instrument reports error: Device-specific error"},
        {{"read", "FAN", "P5"}, {}, "", 2, "unknown KIND 'FAN'"},
        {{"histogram", "TEMP", "OUT13"}, {}, "", 2, "no TEMPERATURE object named 'OUT13'"},
        {{"limit", "TEMP", "OUT3", "5,5"}, {}, "", 2, "VALUE must be a number"},
        {{"-r", "reset"}, {}, "", 2, "unknown option '-r'"},
        {{"-a", "", "save"}, {}, "", 2, "-a needs a resource name"},
        {{"metrics", "--format", "json"}, {}, "", 2, "Prometheus"},
        {{"metrics", "--blowers", "4"}, {}, "", 2, "--blowers takes 1, 2 or 3"},
        {{"metrics", "--output", "/nonexistent/rack.prom"},
         {},
         "",
         1,
         "could not write /nonexistent/rack.prom: No such file or directory"},
        {{"read", "TEMP", "OUT3", "--output", "x.prom"}, {}, "", 2, "--output belongs to metrics"},
        {{}, {}, "", 2, "Usage: ksm7720"},
        // A tiny interval was zero clock ticks, divided by: SIGFPE.
        {{"log", "--interval", "1e-10", "--count", "3"}, {}, "", 2, "--interval takes a time"},
        {{"log", "--duration", "1e-10"}, {}, "", 2, "--duration takes a time"},
        // A name not UTF-8 written raw into every record.
        {{"snapshot", "--name", "bay\xff"}, {}, "", 2, "--name takes UTF-8"},
        {{"metrics", "--name", "bay\x1b[2J"}, {}, "", 2, "--name takes UTF-8"},
        // Without a VISA library a log wrote a row per interval and exited 0.
        {{"log", "--count", "1"},
         {{"KSM7720_VISA_LIBRARY", "/nonexistent/libvisa.so"}},
         "",
         1,
         "no usable VISA library; tried: /nonexistent/libvisa.so"},
        {{"log", "--count", "1", "-a", "VXI0::24::INSTR", "BLOWER"}, {}, "", 0, ""},
        {{"-n", "snapshot"}, {}, "", 1, "name one of these: VXI0::24::INSTR, "},
        {{"log", "--output", "/dev/null"}, {}, "", 2, "takes a regular file"},
    };
    for (const Case& c : cases) {
        if (!c.setUp.empty()) {
            Raw(c.setUp);
        }
        const Outcome run = Run(c.args, c.environment);
        Raw("SIM:RES");
        EXPECT_EQ(run.status, c.status) << c.says << '\n' << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("Usage:") != std::string::npos, c.status == 2) << run.err;
        // A failed scrape still reaches Prometheus, as a rack that is down.
        if (!c.args.empty() && c.args.back() == "metrics" && c.status == 1) {
            EXPECT_TRUE(
                std::regex_search(run.out, std::regex(R"(\nksm7720_up\{rack="[^"]*"\} 0\n)")))
                << run.out;
            EXPECT_EQ(PromtoolComplaint(run.out), "");
        }
    }
}

// Opening waited for the driver's own time-out (5 s) on a rack that does not answer,
// whatever --timeout said: on a hung mainframe and on a resource that never answers.
TEST_F(Cli, TimeOutBoundsOpeningAHungOrSilentRack) {
    const std::vector<std::pair<std::string, std::string>> cases{{"VXI0::24::INSTR", "SIM:HANG 0"},
                                                                 {"ASRL1::INSTR", ""}};
    for (const auto& [resource, setUp] : cases) {
        if (!setUp.empty()) {
            Raw(setUp);
        }
        const auto start = std::chrono::steady_clock::now();
        const Outcome run = Run({"-a", resource, "--timeout", "1000", "read", "TEMP", "OUT3"});
        const auto took = std::chrono::steady_clock::now() - start;
        Raw("SIM:RES");
        EXPECT_LT(took, std::chrono::seconds(4)) << resource;
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_NE(run.err.find("(status 0xBFFF0015)"), std::string::npos) << run.err;
    }
}

// A command added to the table but missing from the manual page.
TEST_F(Cli, ManPageDocumentsEveryCommandOfTheHelp) {
    const std::string help = Run({"--help"}).out;
    const std::string page = ReadFile(MAN_PAGE);
    const std::regex command(R"(\n  ([a-z-]+)[ \n])");
    const std::size_t commands = help.find("Commands:"), end = help.find("\n\n", commands);
    int count = 0;
    for (std::sregex_iterator it(help.begin() + commands, help.begin() + end, command), last;
         it != last; ++it, ++count) {
        const std::regex entry("\n\\.B[IR]? " + (*it)[1].str() + "[ \n]");
        EXPECT_TRUE(std::regex_search(page, entry)) << (*it)[1];
    }
    EXPECT_GE(count, 12);
}

// A command sent to an instrument that is not a mainframe (the driver opened without its
// identification query), or a driver's refusal passed over in silence.
TEST_F(Cli, DriverIdentifiesTheMainframeAndItsRefusalsAreReported) {
    const std::string record = sim->Dir() + "/record";
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string says;
        std::vector<std::string> calls; // the first ones; S: the session ksm7720_init made
    };
    const std::vector<Case> cases{
        {{"-a", "GPIB0::9::INSTR", "reset"},
         1,
         "GPIB0::9::INSTR is not a KS M7720 mainframe",
         {"ksm7720_init 0 id=1"}},
        {{"-a", "gpib0::9::instr", "limit", "TEMP", "OUT3", "1"},
         1,
         "(status 0xBFFC0011)",
         {"ksm7720_init 0 id=1"}},
        {{"save"}, 0, "", {"ksm7720_init S id=1", "ksm7720_timeOut S 12000", "ksm7720_NVMem S"}},
        {{"--timeout", "7200000", "read", "TEMP", "OUT3"},
         1,
         "the driver refused the time-out of 7200000 ms: ",
         {"ksm7720_init S id=1", "ksm7720_timeOut S 7200000", "ksm7720_error_message S",
          "ksm7720_close S"}},
    };
    for (const Case& c : cases) {
        std::remove(record.c_str());
        const auto start = std::chrono::steady_clock::now();
        const Outcome run =
            Run(c.args, {{"KSM7720_DRIVER_LIBRARY", RECORDING_DRIVER}, {"KSM7720_RECORD", record}});
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        std::vector<std::string> calls = Split(ReadFile(record), '\n');
        const std::string session = calls.at(0).substr(13, calls.at(0).find(" id=") - 13);
        calls.resize(std::min(calls.size(), c.calls.size()));
        std::vector<std::string> expected = c.calls;
        for (std::string& call : expected) {
            call = std::regex_replace(call, std::regex(" S( |$)"), " " + session + "$1");
        }
        EXPECT_EQ(calls, expected) << c.args.back();
    }
}

// A drain that failed reported as the status read back after it (VI_SUCCESS for a queue
// that never empties), or the entries it took lost with it.
TEST_F(Cli, AFailedDrainNamesItsOwnStatusAndKeepsItsEntries) {
    struct Case {
        std::vector<std::string> args;
        std::string fault;
        std::string says;
        std::string json; // holds for the output, when it is JSON
        int entryLines;   // "instrument reports error" lines on standard error
    };
    const std::vector<Case> cases{
        {{"snapshot", "--format", "json"},
         "endless",
         "ERROR_QUEUE_NOT_EMPTIED: ",
         R"(.status == "ERROR_QUEUE_NOT_EMPTIED" and (.entries | length) == 100)",
         100},
        {{"snapshot", "--format", "json"},
         "fail-after=5",
         "VXI0::24::INSTR: VI_ERROR_TMO",
         R"(.status == "VI_ERROR_TMO" and (.entries | length) == 5)",
         5},
        {{"errors"}, "endless", "ERROR_QUEUE_NOT_EMPTIED: ", "", 100},
        {{"metrics"}, "fail-after=3", "(status 0xBFFF0015)", "", 3},
    };
    for (const Case& c : cases) {
        const Outcome run = Run(c.args, {{"KSM7720_DRIVER_LIBRARY", RECORDING_DRIVER},
                                         {"KSM7720_ERROR_QUERY", c.fault}});
        EXPECT_EQ(run.status, 1) << c.args[0] << ' ' << c.fault;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("VI_SUCCESS"), std::string::npos) << run.err;
        EXPECT_TRUE(c.json.empty() || JsonHolds(run.out, c.json)) << run.out;
        const std::regex entry("instrument reports error: System error; injected entry");
        EXPECT_EQ(std::distance(std::sregex_iterator(run.err.begin(), run.err.end(), entry),
                                std::sregex_iterator()),
                  c.entryLines)
            << run.err;
    }
}

// One rack logged twice under two spellings (two sessions taking each other's entries), or
// a slot sensor's verdict written on a position as that position's own.
TEST_F(Cli, OneRackNamedTwiceIsRefusedAndASlotsVerdictIsTheObjects) {
    const Outcome twice = Run({"-a", "VXI0::24::INSTR", "-a", "vxi0::024::instr", "log"});
    EXPECT_EQ(twice.status, 2);
    EXPECT_NE(twice.err.find("-a vxi0::024::instr names the same rack as -a VXI0::24::INSTR"),
              std::string::npos)
        << twice.err;

    const std::vector<double> levels = Numbers(Raw("MEAS:LEV? 3"));
    const auto [low, high] = std::minmax_element(levels.begin(), levels.end());
    ASSERT_LT(*low + 2, *high) << "OUT3's positions read too close together";
    Raw("LIM 3," + std::to_string((*low + *high) / 2));
    const Outcome run = Run({"snapshot", "TEMP", "--format", "json"});
    Raw("LIM 3,550");
    Raw("*CLS");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(JsonHolds(run.out, R"([.readings[] | select(.object == "OUT3")] | length == 3 and
        all(.[]; .object_over_limit == true and (has("over_limit") | not)))"))
        << run.out;
}

TEST_F(Cli, HelpAndVersionAnswerWithoutAnInstrument) {
    const Outcome help = Run({"--help"}, {{"KSM7720_VISA_LIBRARY", "/nonexistent"}});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: ksm7720", 0), 0u);
    const Outcome version = Run({"--version"});
    EXPECT_EQ(version.out, "ksm7720 " KSM7720_VERSION "\n");
}
