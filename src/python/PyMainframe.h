#pragma once
// One open mainframe for Python: the discovery that found it and the driver session, behind
// one mutex. Every instrument call runs with the interpreter released, so other threads go
// on (another rack, or anything else) while this one waits for its rack; two threads on
// one Mainframe take turns. close() waits for a call in progress to end (at most the
// time-out), then closes; a call after it raises ksm7720.Error.
#include "Readings.h"
#include "core/MainframeSession.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class CPyMainframe {
public:
    // Opens and identifies the rack (the one the probe finds when resource is empty);
    // throws CPythonFailure. timeout in seconds bounds every call.
    CPyMainframe(const std::optional<std::string>& resource, double timeout, bool acceptAny);
    ~CPyMainframe();
    CPyMainframe(const CPyMainframe&) = delete;
    CPyMainframe& operator=(const CPyMainframe&) = delete;

    void Close();
    // Without waiting for a call in progress: true once Close has begun.
    bool Closed() const { return m_closing; }
    const std::string& Resource() const { return m_session.Resource(); }
    double TimeOut() const { return m_timeOut; }

    PySnapshot Read(QuantityKind kind, int position);
    PySnapshot TakeSnapshot(const KindSet& kinds);
    PyHistogram Histogram(QuantityKind kind, int position);
    std::vector<ErrorEntry> Errors();
    int TimeUnits();
    void SetTimeUnits(int units);
    void SetLimit(ObjectCode code, double value);
    void Save();
    void Message(const std::string& text);
    void ResetHistory(const std::string& keyword, const std::string& name);
    void Reset();
    PySelfTest SelfTest();

private:
    // Runs call on the session, opened again when a failure closed it, with the interpreter
    // released and the mutex held; a failing call becomes a CPythonFailure saying what was
    // asked.
    template <class Call> auto Locked(const char* what, Call call);

    std::mutex m_mutex;
    std::atomic<bool> m_closing{false};
    double m_timeOut;
    CMainframeSession m_session;
};

// Every VISA resource the search finds, with its interface and whether it is a mainframe.
std::vector<PyResource> ListResources();
