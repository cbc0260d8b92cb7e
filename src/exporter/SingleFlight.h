#pragma once
// One read at a time per rack, shared by the probes that can wait for it. What a probe does
// is decided from the rack's read state alone, so the rule can be checked case by case.
#include <chrono>

enum class LastRead { Never, Up, Failed };

struct RackReadState {
    bool running = false;   // a read is in progress
    bool abandoned = false; // nobody waits for it any more: it stops at its next object
    bool queued = false;    // a read is asked for that the worker has not taken up yet
    int waitingRunning = 0; // probes waiting for the running read
    int waitingQueued = 0;  // probes waiting for the queued read
    LastRead last = LastRead::Never;
};

enum class ProbeAction {
    WaitForRunning, // join the running read, until the probe's deadline
    QueueRead,      // start a read, or join the one asked for next, until the deadline
    AnswerNotUp,    // answer at once that the rack was not read
};

// Probes waiting for one read at most: a Prometheus HA pair and a person or two. Beyond
// them a probe holds a request slot that a rack which answers could use.
constexpr int kMaxWaitingPerRead = 4;

// A probe that can get a result waits for it until its own deadline; only one that could
// never get one answers at once: its deadline has passed, the read under way is of a rack
// whose last read failed or has outlived every probe that waited for it (only the probe
// that starts a read of a failing or stalled rack waits), or the read it would wait for
// has its full share of waiting probes. A rack never read yet is held to that share like
// any other.
ProbeAction DecideProbe(const RackReadState& state, std::chrono::steady_clock::time_point now,
                        std::chrono::steady_clock::time_point deadline);
// Why DecideProbe answers AnswerNotUp, in words.
const char* WhyNotUp(const RackReadState& state, std::chrono::steady_clock::time_point now,
                     std::chrono::steady_clock::time_point deadline);
