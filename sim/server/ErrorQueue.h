#pragma once

#include <deque>
#include <string>

// The SCPI error queue: first in, first out, kDepth entries. When it is full, the newest
// entry is replaced by -350 "Queue overflow" and later errors are lost until room is made.
class CErrorQueue {
public:
    static constexpr size_t kDepth = 30;

    struct Entry {
        int code = 0;
        std::string text;
    };

    // Adds an entry with the standard text for `code`, followed by "; detail" when given.
    void Push(int code, const std::string& detail = "");
    // Takes off the oldest entry; {0, "No error"} when empty.
    Entry Pop();
    void Clear() { m_entries.clear(); }
    size_t Count() const { return m_entries.size(); }

    // The standard SCPI text of an error number.
    static const char* StandardText(int code);

private:
    std::deque<Entry> m_entries;
};
