// ksm7720 snapshot and log as a soak test runs them: real processes on the simulated bench,
// through hangs, dropped links, restarts, kills and a full disk.
#include "CliProcess.h"
#include "SimProcess.h"
#include "core/QuantityNames.h"
#include "core/WallClock.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

namespace {

using namespace std::chrono_literals;

// One CSV row of a record (no field of these tests is quoted).
struct Row {
    std::string time, resource, name, up, status, kind, object, position;
    double value = 0.0;
    std::string snapshotTime;
};

constexpr const char* kHeader = "time,resource,name,up,status,kind,object,position,value,unit,"
                                "si_value,si_unit,object_over_limit,snapshot_time,error";

// Every line of a record: the header first, then whole rows; a line that does not parse
// fails the test. growing: the record is being written, and its last line may not have
// ended yet (or was torn by a kill): it is left out.
std::vector<Row> Rows(const std::string& path, bool growing = false) {
    std::string text;
    {
        std::ifstream file(path);
        text.assign(std::istreambuf_iterator<char>(file), {});
    }
    if (growing) {
        text.resize(text.rfind('\n') + 1);
    }
    std::stringstream in(text);
    std::string line;
    std::vector<Row> rows;
    const std::regex time(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)");
    for (int n = 0; std::getline(in, line); ++n) {
        if (n == 0) {
            EXPECT_EQ(line, kHeader);
            continue;
        }
        std::vector<std::string> f;
        std::stringstream fields(line);
        for (std::string field; std::getline(fields, field, ',');) {
            f.push_back(field);
        }
        f.resize(15);
        const bool up = f[3] == "true";
        if (!std::regex_match(f[0], time) || (!up && f[3] != "false") || (up && f[8].empty()) ||
            (!up && f[4].empty())) {
            ADD_FAILURE() << path << " line " << n + 1 << ": " << line;
            continue;
        }
        rows.push_back(
            {f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7], up ? std::stod(f[8]) : 0.0, f[13]});
    }
    return rows;
}

// Waits (bounded) until the record holds a row of resource that is up or not, read after
// since; false when none came.
bool RowAfter(const std::string& path, const std::string& since, bool up,
              const std::string& resource = "VXI0::24::INSTR") {
    for (auto end = std::chrono::steady_clock::now() + 20s; std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(50ms)) {
        for (const Row& row : Rows(path, true)) {
            if (row.time > since && (row.up == "true") == up && row.resource == resource) {
                return true;
            }
        }
    }
    return false;
}

// The rows of readings: no rack-down, BUSY or error-queue row.
std::size_t ValueRows(const std::vector<Row>& rows) {
    return std::count_if(rows.begin(), rows.end(),
                         [](const Row& row) { return row.up == "true" && row.kind != "ERROR"; });
}

std::string FileText(const std::string& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string Now() {
    return Rfc3339(std::chrono::system_clock::now());
}

} // namespace

class Record : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string second = "instrument b mainframe seed=2 blowers=3\n"
                                   "resource VXI0::25::INSTR b intf=VXI manf=3372 model=2861\n";
        m_sim = std::make_unique<CSimProcess>(CSimProcess::DefaultBench() + second);
        ASSERT_TRUE(m_sim->Start()) << m_sim->ListeningLine();
        m_sim->ExportEnvironment(VISA_LIBRARY, DRIVER_LIBRARY);
        m_record = m_sim->Dir() + "/record.csv";
    }

    // ksm7720 started with args, its output to out and its errors to err; with a limit on
    // the size of the files it writes.
    pid_t Start(const std::vector<std::string>& args, rlim_t fileLimit = RLIM_INFINITY) {
        const std::string out = m_sim->Dir() + "/out", err = m_sim->Dir() + "/err";
        return StartCli(args, out, err, [fileLimit] {
            const rlimit limit{fileLimit, fileLimit};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        });
    }

    // The exit status, or -1 when it was killed, or ended by SIGKILL after 30 s.
    static int Wait(pid_t pid) {
        for (int i = 0; i < 600; ++i) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(50ms);
        }
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        return -1;
    }

    std::string Err() const { return FileText(m_sim->Dir() + "/err"); }

    std::string Raw(const std::string& line, const std::string& instrument = "mainframe") {
        CRawClient client(m_sim->Port(instrument));
        return client.Query(line + (line.find('?') == std::string::npos ? ";SIM:SPE?" : ""));
    }

    std::unique_ptr<CSimProcess> m_sim;
    std::string m_record;
};

// An object left out, read under the wrong code, a value of a slot sensor taken from the
// wrong position, or rows in another order than the panel's.
TEST_F(Record, SnapshotGivesTheSimulatorsValuesObjectByObject) {
    const pid_t pid = Start({"-a", "VXI0::24::INSTR", "snapshot", "--format", "csv", "--output",
                             m_record}); // --output belongs to log: refused
    EXPECT_EQ(Wait(pid), 2);
    ASSERT_EQ(Wait(Start({"-a", "VXI0::24::INSTR", "snapshot", "--format", "csv"})), 0) << Err();
    const std::vector<Row> rows = Rows(m_sim->Dir() + "/out");
    ASSERT_EQ(rows.size(), 3u + 7 * 3 + 26 * 3 + 1);
    std::string last;
    for (const Row& row : rows) {
        const QuantityKind kind = *KindByName(row.kind);
        const int position = *ObjectPositionByName(kind, row.object);
        const std::string order =
            std::to_string(kind) + "." + (position < 10 ? "0" : "") + std::to_string(position);
        EXPECT_GE(order, last) << row.object;
        last = order;
        std::stringstream reply(Raw("MEAS:LEV? " + std::to_string(*ObjectCodeOf(kind, position))));
        std::vector<double> values;
        for (std::string v; std::getline(reply, v, ',');) {
            values.push_back(std::stod(v));
        }
        const std::size_t at = row.position == "middle" ? 1 : row.position == "rear" ? 2 : 0;
        ASSERT_LT(at, values.size());
        EXPECT_EQ(row.value, values[at]) << row.kind << ' ' << row.object << ' ' << row.position;
    }
}

// A log that writes the last values again while the rack hangs or is gone, stops at the
// first failure, or never reopens the rack after a dropped link or a restarted simulator.
TEST_F(Record, LogThroughHangDropAndRestartWritesNoStaleRowAndResumes) {
    const pid_t pid = Start({"-a", "VXI0::24::INSTR", "--timeout", "300", "log", "BLOWER",
                             "--interval", "200ms", "--output", m_record});
    ASSERT_TRUE(RowAfter(m_record, "", true)) << Err();
    Raw("SIM:HANG 0");
    const std::string hung = Now();
    const std::string settled = Rfc3339(std::chrono::system_clock::now() + 100ms);
    EXPECT_TRUE(RowAfter(m_record, hung, false));
    std::this_thread::sleep_for(1s);
    const std::string resumed = Now();
    Raw("SIM:RES");
    EXPECT_TRUE(RowAfter(m_record, resumed, true));
    // Rows read while it hung say so (a reply already on its way when it hung aside).
    for (const Row& row : Rows(m_record)) {
        EXPECT_FALSE(row.time > settled && row.time < resumed && row.up == "true")
            << "up while hung: " << row.time;
    }
    Raw("SIM:DROP");
    EXPECT_TRUE(RowAfter(m_record, Now(), true));
    m_sim->Stop();
    const std::string stopped = Now();
    EXPECT_TRUE(RowAfter(m_record, stopped, false));
    ASSERT_TRUE(m_sim->Start());
    EXPECT_TRUE(RowAfter(m_record, Now(), true));
    ::kill(pid, SIGTERM);
    EXPECT_EQ(Wait(pid), 0) << Err();
    // Each failure said once on standard error with the rack's name, and each recovery.
    const auto said = [this](const std::string& what) {
        const std::regex line("ksm7720: VXI0::24::INSTR: " + what);
        const std::string err = Err();
        return std::distance(std::sregex_iterator(err.begin(), err.end(), line), {});
    };
    EXPECT_GE(said("not read since"), 2) << Err();
    EXPECT_EQ(said("not read since"), said("read again from")) << Err();
    const std::string blower1 = Raw("MEAS:LEV? 50");
    for (const Row& row : Rows(m_record)) {
        if (row.up == "true" && row.object == "BLOWER1") {
            EXPECT_EQ(row.value, std::stod(blower1)) << row.time;
        }
    }
}

// A row torn by a kill left in the file, so that a reader (or the next log appending to
// it) meets a line that does not parse.
TEST_F(Record, SigkillLeavesEveryRowParseable) {
    const pid_t pid =
        Start({"-a", "VXI0::24::INSTR", "log", "--interval", "10ms", "--output", m_record});
    ASSERT_TRUE(RowAfter(m_record, "", true));
    std::this_thread::sleep_for(300ms);
    ::kill(pid, SIGKILL);
    EXPECT_EQ(Wait(pid), -1);
    // Every row written whole parses; only one being written at the kill may be torn, and
    // the next log cuts it off before it appends.
    const std::size_t before = Rows(m_record, true).size();
    std::ofstream(m_record, std::ios::app) << "2026-12-08T22:00:00.125Z,VXI0::2"; // as if torn
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(Wait(Start({"-a", "VXI0::24::INSTR", "log", "--count", "1", "--output", m_record})),
              0)
        << Err();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << "--count 1 waited an interval";
    const std::vector<Row> after = Rows(m_record);
    EXPECT_GE(after.size(), before + 103);
    EXPECT_EQ(ValueRows(after) % 103, 0u) << "every snapshot whole";
}

// A full disk or a removed folder taken for success, the log going on writing nowhere, or
// a row cut in half at the end of the file.
TEST_F(Record, OutputThatFailsEndsWithStatusOneAndWholeRows) {
    struct Case {
        const char* name;
        rlim_t fileLimit;
        std::string says;
    };
    for (const Case& c : std::vector<Case>{{"file size limit", 40000, "File too large"},
                                           {"removed folder", RLIM_INFINITY, "is gone"}}) {
        const std::string folder = m_sim->Dir() + "/out.d", file = folder + "/record.csv";
        std::filesystem::create_directory(folder);
        const pid_t pid = Start(
            {"-a", "VXI0::24::INSTR", "log", "--interval", "20ms", "--output", file}, c.fileLimit);
        if (c.fileLimit == RLIM_INFINITY) {
            ASSERT_TRUE(RowAfter(file, "", true));
            std::filesystem::rename(folder, folder + ".old");
            std::filesystem::remove_all(folder + ".old");
        }
        const int status = Wait(pid);
        EXPECT_EQ(status, 1) << c.name;
        EXPECT_NE(Err().find(c.says), std::string::npos) << c.name << ": " << Err();
        if (c.fileLimit != RLIM_INFINITY) {
            EXPECT_EQ(ValueRows(Rows(file)) % 103, 0u) << "whole snapshots only";
            EXPECT_GE(ValueRows(Rows(file)), 103u);
        }
        std::filesystem::remove_all(folder);
    }
}

// One hung rack holding back the other's rows: a shared worker or a shared lock around
// the reads.
TEST_F(Record, TwoRacksOneHungTheOtherKeepsItsInterval) {
    Raw("SIM:HANG 0", "b");
    const std::string racks = m_sim->Dir() + "/racks.yml";
    std::ofstream(racks) << "racks:\n"
                            "  - {resource: VXI0::24::INSTR, name: bay-1}\n"
                            "  - {resource: VXI0::25::INSTR, name: bay 2}\n";
    const pid_t pid = Start({"--timeout", "300", "log", "BLOWER", "--config.file", racks,
                             "--interval", "250ms", "--duration", "4s", "--output", m_record});
    EXPECT_EQ(Wait(pid), 0) << Err();
    Raw("SIM:RES", "b");
    std::vector<std::string> healthy;
    bool hungSaid = false;
    for (const Row& row : Rows(m_record)) {
        if (row.resource == "VXI0::24::INSTR" && row.object == "BLOWER1" && row.name == "bay-1") {
            healthy.push_back(row.time);
        }
        hungSaid = hungSaid || (row.resource == "VXI0::25::INSTR" && row.up == "false");
    }
    EXPECT_TRUE(hungSaid);
    EXPECT_GE(healthy.size(), 8u) << "of 16 intervals";
    for (std::size_t i = 1; i < healthy.size(); ++i) {
        // Seconds and milliseconds of the same minute or the next: a gap under 2 s.
        const auto seconds = [](const std::string& t) {
            return std::stod(t.substr(14, 2)) * 60 + std::stod(t.substr(17, 6));
        };
        const double gap = std::fmod(seconds(healthy[i]) - seconds(healthy[i - 1]) + 3600, 3600);
        EXPECT_LT(gap, 2.0) << healthy[i - 1] << " to " << healthy[i];
    }
}

// A file the log did not write changed before it is refused: its unended last line cut
// off as if torn, or a one-line JSON file emptied and taken over; or a FIFO taken as the
// output, its rows lost.
TEST_F(Record, ForeignOutputRefusedAndLeftByteForByte) {
    struct Case {
        const char* format;
        std::string text;
    };
    for (const Case& c : std::vector<Case>{{"csv", "notes\nlast line without its end"},
                                           {"jsonl", "{\"a\": 1}"},
                                           {"text", "notes\nlast line"},
                                           {"wide", "time,resource\n2026,"}}) {
        std::ofstream(m_record, std::ios::trunc) << c.text;
        const int status = Wait(Start({"-a", "VXI0::24::INSTR", "log", "--count", "1", "--format",
                                       c.format, "--output", m_record}));
        EXPECT_EQ(status, 1) << c.format;
        EXPECT_NE(Err().find("holds another format"), std::string::npos) << Err();
        EXPECT_TRUE(FileText(m_record) == c.text) << c.format << " changed";
    }
    const std::string fifo = m_sim->Dir() + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(Wait(Start({"-a", "VXI0::24::INSTR", "log", "--count", "1", "--output", fifo})), 2);
    EXPECT_NE(Err().find("is a FIFO"), std::string::npos) << Err();
}

// A hung rack leaving a hole in the record as long as the driver's time-out (a 40 s hang
// at a 1 s interval gave 4 rows in 52 s): every interval has a row, BUSY while a read hangs.
TEST_F(Record, HangAtOneSecondKeepsOneRowPerInterval) {
    const pid_t pid =
        Start({"-a", "VXI0::24::INSTR", "log", "BLOWER", "--interval", "1s", "--output", m_record});
    ASSERT_TRUE(RowAfter(m_record, "", true)) << Err();
    Raw("SIM:HANG 0");
    std::this_thread::sleep_for(6s);
    ::kill(pid, SIGTERM);
    EXPECT_EQ(Wait(pid), 0) << Err();
    Raw("SIM:RES");
    std::set<std::string> times;
    bool busy = false;
    for (const Row& row : Rows(m_record)) {
        times.insert(row.snapshotTime);
        busy = busy || row.status == "BUSY";
    }
    EXPECT_TRUE(busy);
    EXPECT_GE(times.size(), 6u);
    const auto seconds = [](const std::string& t) {
        return std::stod(t.substr(14, 2)) * 60 + std::stod(t.substr(17, 6));
    };
    for (auto it = std::next(times.begin()); it != times.end(); ++it) {
        const double gap = std::fmod(seconds(*it) - seconds(*std::prev(it)) + 3600, 3600);
        EXPECT_LT(gap, 1.8) << *std::prev(it) << " to " << *it;
    }
}

// SIGINT waiting for a driver call on a hung rack (10 s here), or ending with a row torn.
TEST_F(Record, SigintWithARackHungEndsAtOnceWithWholeRows) {
    const pid_t pid = Start({"-a", "VXI0::24::INSTR", "--timeout", "10000", "log", "--interval",
                             "1s", "--output", m_record});
    ASSERT_TRUE(RowAfter(m_record, "", true)) << Err();
    Raw("SIM:HANG 0");
    std::this_thread::sleep_for(2s); // the next read has begun and hangs
    const auto start = std::chrono::steady_clock::now();
    ::kill(pid, SIGINT);
    EXPECT_EQ(Wait(pid), 0) << Err();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    Raw("SIM:RES");
    EXPECT_EQ(ValueRows(Rows(m_record)) % 103, 0u) << "whole snapshots only";
}

// A wide CSV whose columns do not match the long CSV's values or units, or that pandas
// cannot read in one call; error-queue entries missing from either, or not the rack's.
TEST_F(Record, WideCsvReadBackByPandasEqualsTheLongCsv) {
    const std::string wide = m_sim->Dir() + "/wide.csv";
    for (const auto& [format, path] : {std::pair{"csv", m_record}, std::pair{"wide", wide}}) {
        Raw("SIM:ERR 2");
        ASSERT_EQ(Wait(Start({"-a", "VXI0::24::INSTR", "--name", "bay 3", "snapshot", "--format",
                              format})),
                  0)
            << Err();
        EXPECT_NE(Err().find("ksm7720: bay 3 (VXI0::24::INSTR): instrument reports error: "
                             "Device-specific error; injected fault 1 of 2"),
                  std::string::npos)
            << Err();
        std::filesystem::copy_file(m_sim->Dir() + "/out", path,
                                   std::filesystem::copy_options::overwrite_existing);
    }
    const std::string command = WIDE_CHECK " " + m_record + " " + wide + " 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << FileText(wide);
}
