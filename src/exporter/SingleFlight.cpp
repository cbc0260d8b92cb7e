#include "exporter/SingleFlight.h"

ProbeAction DecideProbe(const RackReadState& state, std::chrono::steady_clock::time_point now,
                        std::chrono::steady_clock::time_point deadline) {
    if (deadline <= now) {
        return ProbeAction::AnswerNotUp;
    }
    if (!state.running && !state.queued) {
        return ProbeAction::QueueRead;
    }
    if (state.last == LastRead::Failed) {
        return ProbeAction::AnswerNotUp;
    }
    if (state.running && !state.abandoned && !state.queued) {
        return state.waitingRunning < kMaxWaitingPerRead ? ProbeAction::WaitForRunning
                                                         : ProbeAction::AnswerNotUp;
    }
    return state.waitingQueued < kMaxWaitingPerRead ? ProbeAction::QueueRead
                                                    : ProbeAction::AnswerNotUp;
}
