#include "server/Mainframe.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kMaxAccumulateSteps = 256;
// A warm-up samples once a simulated minute, in at most this many steps (a fifth of a
// second for the longest uptime); longer runs take longer steps.
constexpr double kWarmUpStep = 60.0;
constexpr double kMaxWarmUpSteps = 20000;
// Spreads the warm-up samples over their steps so no wave is always seen at one phase.
constexpr double kGoldenFraction = 0.6180339887498949;

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

std::string JoinValues(const int32_t* values, int count) {
    std::string out;
    for (int i = 0; i < count; ++i)
        out += (i ? "," : "") + std::to_string(values[i]);
    return out;
}

const std::string kNoHistogram = "0,0,0,0,0,0,0,0,0,0";

// Moves a damaged state file out of the way under the first free name of `path`.damaged,
// `path`.damaged.2, ..., never replacing an earlier one; the name it got, or empty.
std::string SetAside(const std::string& path) {
    for (int n = 1; n <= 100; ++n) {
        std::string aside = path + ".damaged" + (n > 1 ? "." + std::to_string(n) : "");
        if (::link(path.c_str(), aside.c_str()) == 0) {
            ::unlink(path.c_str());
            return aside;
        }
        if (errno != EEXIST)
            break;
    }
    return "";
}

} // namespace

const CMainframe::Command CMainframe::kCommands[] = {
    {"MEASure:LEVel", true, &CMainframe::Measure},
    {"HISTogram:DATA", true, &CMainframe::HistogramData},
    {"HISTogram:RESet", false, &CMainframe::HistogramReset},
    {"HISTogram:QUEue:COUNt", true, &CMainframe::HistoryQueueCount},
    {"HISTogram:TUNit", false, &CMainframe::SetTimeUnit},
    {"HISTogram:TUNit", true, &CMainframe::GetTimeUnit},
    {"LIMit", false, &CMainframe::SetLimit},
    {"LIMit", true, &CMainframe::GetLimit},
    {"SYSTem:NVMem:SAVE", false, &CMainframe::SaveSettings},
    {"DISPlay:TEXT", false, &CMainframe::SetDisplay},
    {"DISPlay:TEXT", true, &CMainframe::GetDisplay},
    {"DIAGnostic:TEST", true, &CMainframe::Diagnose},
};

CMainframe::CMainframe(CSimClock& clock, const BenchInstrument& config, std::string statePath)
    : CSimInstrument(clock), m_model(config.seed, config.blowers), m_serial(config.serial),
      m_statePath(std::move(statePath)), m_settings(CNvSettings::Defaults()),
      m_lastAccumulated(clock.Now()) {
    for (int code = 0; code < CCatalogue::kObjectCodes; ++code) {
        if (const SimObject* obj = CCatalogue::Find(code))
            m_histories[code] = CHistory(obj->binLow, obj->binWidth);
    }
    LoadState();
    m_saved = m_settings;
    WarmUp(config.uptime * 3600.0);
}

bool CMainframe::ExecuteCommand(const ScpiCommand& cmd, std::string& reply, bool& replied) {
    for (const Command& c : kCommands) {
        if (c.query == cmd.query && CScpiParser::Matches(c.pattern, cmd.header)) {
            Accumulate();
            (this->*c.handler)(cmd, reply);
            replied = cmd.query;
            return true;
        }
    }
    return false;
}

std::string CMainframe::Identity() const {
    return "KORVALD-SYSTEMS,M7720," + m_serial + ",A.01.00";
}

void CMainframe::Reset() {
    m_settings = m_saved;
    m_display.clear();
}

int CMainframe::SelfTest(std::string& text) {
    double now = m_clock.Now();
    int failed = 0;
    std::string first;
    for (int code = 0; code < CCatalogue::kObjectCodes; ++code) {
        double values[3];
        int count = m_model.Level(code, now, values);
        if (count && BeyondLimit(code, values, count) && failed++ == 0)
            first = CCatalogue::Find(code)->name;
    }
    text = failed ? "Self test failed: " + std::to_string(failed) +
                        " readings beyond their limits, first " + first
                  : "Self test passed";
    return failed;
}

void CMainframe::Measure(const ScpiCommand& cmd, std::string& reply) {
    long code = 0;
    long which = 0;
    reply = "0";
    if (!ObjectArg(cmd, 0, code) || (cmd.args.size() > 1 && !IntArg(cmd, 1, 0, 0, which)) ||
        !NoMoreArgs(cmd, 2))
        return;
    double values[3];
    int count = m_model.Level(static_cast<int>(code), m_clock.Now(), values);
    reply.clear();
    for (int i = 0; i < count; ++i)
        reply += (i ? "," : "") + Number(values[i]);
    CheckLimit(static_cast<int>(code), values, count);
}

void CMainframe::HistogramData(const ScpiCommand& cmd, std::string& reply) {
    long code = 0;
    long part = 0;
    reply = kNoHistogram;
    if (!ObjectArg(cmd, 0, code) || !IntArg(cmd, 1, 0, 2, part) || !NoMoreArgs(cmd, 2))
        return;
    const CHistory& h = m_histories[code];
    std::array<int32_t, CHistory::kBins> values = part == 0   ? h.Counts(UnitSeconds())
                                                  : part == 1 ? h.LowerBounds()
                                                              : h.UpperBounds();
    reply = JoinValues(values.data(), CHistory::kBins);
}

void CMainframe::HistogramReset(const ScpiCommand& cmd, std::string&) {
    long code = 0;
    if (!IntArg(cmd, 0, 0, CCatalogue::kAllCode, code) || !NoMoreArgs(cmd, 1))
        return;
    if (code == CCatalogue::kQueueCode || code == CCatalogue::kAllCode)
        m_historyQueue = 0;
    if (code == CCatalogue::kAllCode) {
        for (CHistory& h : m_histories)
            h.Reset();
    } else if (CCatalogue::Find(static_cast<int>(code))) {
        m_histories[code].Reset();
    } else if (code != CCatalogue::kQueueCode) {
        m_errors.Push(-222);
    }
}

void CMainframe::HistoryQueueCount(const ScpiCommand& cmd, std::string& reply) {
    NoMoreArgs(cmd, 0);
    reply = std::to_string(m_historyQueue);
}

void CMainframe::SetTimeUnit(const ScpiCommand& cmd, std::string&) {
    long unit = 0;
    if (IntArg(cmd, 0, CNvSettings::kHours, CNvSettings::kSeconds, unit) && NoMoreArgs(cmd, 1))
        m_settings.timeUnit = static_cast<int>(unit);
}

void CMainframe::GetTimeUnit(const ScpiCommand& cmd, std::string& reply) {
    NoMoreArgs(cmd, 0);
    reply = std::to_string(m_settings.timeUnit);
}

void CMainframe::SetLimit(const ScpiCommand& cmd, std::string&) {
    long code = 0;
    double limit = 0;
    if (ObjectArg(cmd, 0, code) && RealArg(cmd, 1, limit) && NoMoreArgs(cmd, 2))
        m_settings.limits[code] = limit;
}

void CMainframe::GetLimit(const ScpiCommand& cmd, std::string& reply) {
    long code = 0;
    reply = "0";
    if (ObjectArg(cmd, 0, code) && NoMoreArgs(cmd, 1))
        reply = Number(m_settings.limits[code]);
}

void CMainframe::SaveSettings(const ScpiCommand& cmd, std::string&) {
    if (NoMoreArgs(cmd, 0))
        Save();
}

void CMainframe::RestoreFactory() {
    m_settings = CNvSettings::Defaults();
    Save();
}

void CMainframe::LoadState() {
    if (m_statePath.empty())
        return;
    std::string error;
    if (!m_stateLock.Acquire(m_statePath + ".lock")) {
        std::fprintf(stderr,
                     "ksm7720-sim: %s is in use by another simulator; this one's saved "
                     "settings last only while it runs\n",
                     m_statePath.c_str());
        m_settings.Load(m_statePath, error);
        m_statePath.clear();
        return;
    }
    if (m_settings.Load(m_statePath, error) != CNvSettings::LoadResult::Damaged)
        return;
    std::string aside = SetAside(m_statePath);
    if (aside.empty()) {
        std::fprintf(stderr,
                     "ksm7720-sim: %s: saved settings damaged (%s) and cannot be set aside (%s); "
                     "saved settings last only while the simulator runs\n",
                     m_statePath.c_str(), error.c_str(), std::strerror(errno));
        m_statePath.clear();
        return;
    }
    std::fprintf(stderr,
                 "ksm7720-sim: %s: saved settings damaged (%s); kept as %s, starting "
                 "from the factory settings\n",
                 m_statePath.c_str(), error.c_str(), aside.c_str());
}

void CMainframe::Save() {
    std::string error;
    if (!m_statePath.empty() && !m_settings.Save(m_statePath, error)) {
        std::fprintf(stderr, "ksm7720-sim: %s\n", error.c_str());
        m_errors.Push(-250, "cannot write " + m_statePath);
        return;
    }
    m_saved = m_settings;
}

void CMainframe::SetDisplay(const ScpiCommand& cmd, std::string&) {
    if (cmd.args.empty()) {
        m_errors.Push(-109);
        return;
    }
    if (!NoMoreArgs(cmd, 1))
        return;
    // The display shows printable ASCII only: a byte beyond it (such as UTF-8) would be shown
    // as a wrong character, so the text is refused and the entry says why.
    const std::string& text = cmd.args[0];
    const std::string rule = "the display takes at most " + std::to_string(kDisplayWidth) +
                             " printable ASCII characters";
    bool printable =
        std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
    if (!printable)
        m_errors.Push(-151, rule + "; this text holds other characters");
    else if (text.size() > kDisplayWidth)
        m_errors.Push(-223, rule + "; this text holds " + std::to_string(text.size()));
    else
        m_display = text;
}

void CMainframe::GetDisplay(const ScpiCommand& cmd, std::string& reply) {
    NoMoreArgs(cmd, 0);
    reply = CScpiParser::Quote(m_display);
}

void CMainframe::Diagnose(const ScpiCommand& cmd, std::string& reply) {
    NoMoreArgs(cmd, 0);
    std::string text;
    int result = SelfTest(text);
    reply = std::to_string(result) + "," + CScpiParser::Quote(text);
}

bool CMainframe::ObjectArg(const ScpiCommand& cmd, size_t i, long& code) {
    if (!IntArg(cmd, i, LONG_MIN / 2, LONG_MAX / 2, code))
        return false;
    if (CCatalogue::Find(static_cast<int>(std::clamp(code, -1L, 1000L))))
        return true;
    m_errors.Push(-222);
    return false;
}

void CMainframe::Accumulate() {
    double now = m_clock.Now();
    double span = now - m_lastAccumulated;
    if (span <= 0)
        return;
    int steps = std::clamp(static_cast<int>(std::ceil(span)), 1, kMaxAccumulateSteps);
    double step = span / steps;
    for (int s = 0; s < steps; ++s)
        AddSample(m_lastAccumulated + (s + 0.5) * step, step);
    m_lastAccumulated = now;
}

// Only the histories: no reading was asked for, so no limit excursion is queued.
void CMainframe::WarmUp(double seconds) {
    if (seconds <= 0)
        return;
    int steps = static_cast<int>(std::ceil(std::min(seconds / kWarmUpStep, kMaxWarmUpSteps)));
    double step = seconds / steps;
    double start = m_lastAccumulated - seconds;
    for (int s = 0; s < steps; ++s)
        AddSample(start + (s + std::fmod(s * kGoldenFraction, 1.0)) * step, step);
}

void CMainframe::AddSample(double t, double seconds) {
    for (int code = 0; code < CCatalogue::kObjectCodes; ++code) {
        double values[3];
        if (m_model.Fitted(code) && m_model.Level(code, t, values))
            m_histories[code].Add(values[0], seconds);
    }
}

bool CMainframe::BeyondLimit(int code, const double* values, int count) const {
    double limit = std::fabs(m_settings.limits[code]);
    return std::any_of(values, values + count, [&](double v) { return std::fabs(v) > limit; });
}

void CMainframe::CheckLimit(int code, const double* values, int count) {
    if (!BeyondLimit(code, values, count))
        return;
    double worst = *std::max_element(
        values, values + count, [](double a, double b) { return std::fabs(a) < std::fabs(b); });
    m_errors.Push(201, CCatalogue::Find(code)->name + " reads " + Number(worst) + ", limit " +
                           Number(m_settings.limits[code]));
    m_historyQueue = std::min(m_historyQueue + 1, kHistoryQueueDepth);
}

double CMainframe::UnitSeconds() const {
    switch (m_settings.timeUnit) {
    case CNvSettings::kMinutes:
        return 60.0;
    case CNvSettings::kSeconds:
        return 1.0;
    default:
        return 3600.0;
    }
}
