#include "exporter/SingleFlight.h"

ProbeAction DecideProbe(const RackReadState& state, std::chrono::steady_clock::time_point now,
                        std::chrono::steady_clock::time_point deadline) {
    if (deadline <= now) {
        return ProbeAction::AnswerNotUp;
    }
    if (!state.running && !state.queued) {
        return ProbeAction::QueueRead;
    }
    if (state.running) {
        const bool couldAnswer = state.last != LastRead::Failed && !state.abandoned;
        return couldAnswer && state.waitingRunning < kMaxWaitingPerRead
                   ? ProbeAction::WaitForRunning
                   : ProbeAction::AnswerNotUp;
    }
    // Asked for, not yet taken up by the worker.
    return state.last != LastRead::Failed && state.waitingQueued < kMaxWaitingPerRead
               ? ProbeAction::QueueRead
               : ProbeAction::AnswerNotUp;
}

const char* WhyNotUp(const RackReadState& state, std::chrono::steady_clock::time_point now,
                     std::chrono::steady_clock::time_point deadline) {
    if (deadline <= now) {
        return "the deadline has passed";
    }
    if (state.last == LastRead::Failed) {
        return "the rack's last read failed and a read of it is under way";
    }
    return state.abandoned ? "the read under way outlived every probe that waited for it"
                           : "the read under way has its full share of waiting probes";
}
