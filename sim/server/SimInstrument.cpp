#include "server/SimInstrument.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

constexpr long kMaxHangMs = 24L * 3600 * 1000;

bool IsSimulate(const ScpiCommand& cmd) {
    std::string_view header = cmd.header;
    return CScpiParser::Matches("SIMulate", header.substr(0, header.find(':')));
}

bool ParseReal(const std::string& text, double& out) {
    std::string_view s = text;
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && end == s.data() + s.size() && !s.empty() && std::isfinite(out);
}

} // namespace

SimResponse CSimInstrument::Execute(std::string_view line) {
    std::vector<ScpiCommand> cmds;
    int err = CScpiParser::Parse(line, cmds);
    if (err == 0 && cmds.empty())
        return {};
    bool simulate = err == 0 && std::all_of(cmds.begin(), cmds.end(), IsSimulate);
    if (!simulate && (Hung() || Silent()))
        return {};
    if (!simulate && m_failNext > 0) {
        --m_failNext;
        return {"FAIL"};
    }
    SimResponse r;
    if (err) {
        m_errors.Push(err);
        return r;
    }
    std::string reply;
    bool any = false;
    for (const ScpiCommand& cmd : cmds) {
        std::string part;
        bool replied = false;
        Dispatch(cmd, part, replied, r);
        if (replied) {
            reply += (any ? ";" : "") + part;
            any = true;
        }
    }
    if (any)
        r.reply = std::move(reply);
    return r;
}

bool CSimInstrument::Hung() const {
    return m_hangForever || Clock::now() < m_hangUntil;
}

void CSimInstrument::Dispatch(const ScpiCommand& cmd, std::string& reply, bool& replied,
                              SimResponse& r) {
    if (IsSimulate(cmd)) {
        if (!ExecuteSimulate(cmd, reply, replied, r))
            m_errors.Push(-113, cmd.header);
        return;
    }
    if (!ExecuteCommon(cmd, reply, replied) && !ExecuteCommand(cmd, reply, replied))
        m_errors.Push(-113, cmd.header);
}

int CSimInstrument::SelfTest(std::string& text) {
    text = "Self test passed";
    return 0;
}

bool CSimInstrument::ExecuteCommon(const ScpiCommand& cmd, std::string& reply, bool& replied) {
    auto is = [&](const char* pattern, bool query) {
        return cmd.query == query && CScpiParser::Matches(pattern, cmd.header);
    };
    replied = cmd.query;
    if (is("*IDN", true)) {
        reply = Identity();
    } else if (is("*OPC", true)) {
        reply = "1";
    } else if (is("*TST", true)) {
        std::string text;
        reply = std::to_string(SelfTest(text));
    } else if (is("SYSTem:ERRor[:NEXT]", true)) {
        CErrorQueue::Entry e = m_errors.Pop();
        reply = std::to_string(e.code) + "," + CScpiParser::Quote(e.text);
    } else if (is("SYSTem:ERRor:COUNt", true)) {
        reply = std::to_string(m_errors.Count());
    } else if (is("*RST", false)) {
        Reset();
    } else if (is("*CLS", false)) {
        m_errors.Clear();
    } else {
        replied = false;
        return false;
    }
    NoMoreArgs(cmd, 0);
    return true;
}

bool CSimInstrument::ExecuteSimulate(const ScpiCommand& cmd, std::string& reply, bool& replied,
                                     SimResponse& r) {
    auto is = [&](const char* pattern) { return CScpiParser::Matches(pattern, cmd.header); };
    long n = 0;
    double x = 0;
    if (cmd.query) {
        if (!is("SIMulate:SPEed"))
            return false;
        char text[32];
        std::snprintf(text, sizeof text, "%.15g", m_clock.Speed());
        reply = text;
        replied = true;
        return true;
    }
    if (is("SIMulate:HANG")) {
        if (IntArg(cmd, 0, 0, kMaxHangMs, n)) {
            m_hangForever = n == 0;
            m_hangUntil = Clock::now() + std::chrono::milliseconds(n);
        }
    } else if (is("SIMulate:RESume")) {
        m_hangForever = false;
        m_hangUntil = {};
    } else if (is("SIMulate:FACTory")) {
        RestoreFactory();
    } else if (is("SIMulate:DROP")) {
        r.dropAll = true;
    } else if (is("SIMulate:ERRor")) {
        for (long i = 1, k = IntArg(cmd, 0, 1, 1000, n) ? n : 0; i <= k; ++i)
            m_errors.Push(-300, "injected fault " + std::to_string(i) + " of " + std::to_string(k));
    } else if (is("SIMulate:FAIL")) {
        if (IntArg(cmd, 0, 0, 1000000, n))
            m_failNext = n;
    } else if (is("SIMulate:SPEed")) {
        if (RealInRange(cmd, 0, 0, 1e7, x))
            m_clock.SetSpeed(x);
    } else if (is("SIMulate:ADVance")) {
        if (RealInRange(cmd, 0, 0, 1e9, x))
            m_clock.Advance(x);
    } else {
        return false;
    }
    return true;
}

bool CSimInstrument::IntArg(const ScpiCommand& cmd, size_t i, long min, long max, long& out) {
    double value = 0;
    if (!RealInRange(cmd, i, static_cast<double>(min), static_cast<double>(max), value))
        return false;
    if (value != std::floor(value)) {
        m_errors.Push(-222);
        return false;
    }
    out = static_cast<long>(value);
    return true;
}

bool CSimInstrument::RealInRange(const ScpiCommand& cmd, size_t i, double min, double max,
                                 double& out) {
    if (!RealArg(cmd, i, out))
        return false;
    if (out < min || out > max) {
        m_errors.Push(-222);
        return false;
    }
    return true;
}

bool CSimInstrument::RealArg(const ScpiCommand& cmd, size_t i, double& out) {
    if (i >= cmd.args.size()) {
        m_errors.Push(-109);
        return false;
    }
    if (!ParseReal(cmd.args[i], out)) {
        m_errors.Push(-104);
        return false;
    }
    return true;
}

bool CSimInstrument::NoMoreArgs(const ScpiCommand& cmd, size_t count) {
    if (cmd.args.size() <= count)
        return true;
    m_errors.Push(-108);
    return false;
}
