#include "server/ErrorQueue.h"

namespace {

constexpr int kOverflow = -350;

} // namespace

void CErrorQueue::Push(int code, const std::string& detail) {
    if (m_entries.size() >= kDepth) {
        m_entries.back() = {kOverflow, StandardText(kOverflow)};
        return;
    }
    std::string text = StandardText(code);
    if (!detail.empty())
        text += "; " + detail;
    m_entries.push_back({code, text});
}

CErrorQueue::Entry CErrorQueue::Pop() {
    if (m_entries.empty())
        return {0, StandardText(0)};
    Entry e = std::move(m_entries.front());
    m_entries.pop_front();
    return e;
}

const char* CErrorQueue::StandardText(int code) {
    switch (code) {
    case 0:
        return "No error";
    case -101:
        return "Invalid character";
    case -102:
        return "Syntax error";
    case -104:
        return "Data type error";
    case -108:
        return "Parameter not allowed";
    case -109:
        return "Missing parameter";
    case -113:
        return "Undefined header";
    case -151:
        return "Invalid string data";
    case -222:
        return "Data out of range";
    case -223:
        return "Too much data";
    case -224:
        return "Illegal parameter value";
    case -250:
        return "Mass storage error";
    case -300:
        return "Device-specific error";
    case -330:
        return "Self-test failed";
    case -350:
        return "Queue overflow";
    case -363:
        return "Input buffer overrun";
    case 201:
        return "Limit exceeded";
    default:
        return "Unknown error";
    }
}
