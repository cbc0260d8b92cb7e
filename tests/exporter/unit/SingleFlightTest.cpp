// What a probe of a rack does, from the rack's read state.
#include "exporter/SingleFlight.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

// A slow rack's second probe of an HA pair refused at once although the read would arrive
// before its deadline; a never-read rack letting every probe wait for its first opening;
// a failing or stalled rack or a full read holding probes that could never get a result.
TEST(SingleFlight, OnlyProbesThatCouldNeverGetAResultAnswerAtOnce) {
    constexpr auto kFull = kMaxWaitingPerRead;
    struct Case {
        const char* what;
        RackReadState state;
        std::chrono::milliseconds budget;
        ProbeAction action;
    };
    const Case cases[] = {
        {"idle rack", {}, 10s, ProbeAction::QueueRead},
        {"idle failing rack", {.last = LastRead::Failed}, 10s, ProbeAction::QueueRead},
        {"deadline already past", {}, 0s, ProbeAction::AnswerNotUp},
        {"slow up rack, HA partner",
         {.running = true, .waitingRunning = 1, .last = LastRead::Up},
         6s,
         ProbeAction::WaitForRunning},
        {"short deadline still waits",
         {.running = true, .waitingRunning = 1, .last = LastRead::Up},
         1ms,
         ProbeAction::WaitForRunning},
        {"first read, room left",
         {.running = true, .waitingRunning = 1},
         120s,
         ProbeAction::WaitForRunning},
        {"first read, full",
         {.running = true, .waitingRunning = kFull},
         120s,
         ProbeAction::AnswerNotUp},
        {"later read, full",
         {.running = true, .waitingRunning = kFull, .last = LastRead::Up},
         120s,
         ProbeAction::AnswerNotUp},
        {"failing rack being read",
         {.running = true, .waitingRunning = 1, .last = LastRead::Failed},
         120s,
         ProbeAction::AnswerNotUp},
        {"failing rack, read not taken yet",
         {.queued = true, .waitingQueued = 1, .last = LastRead::Failed},
         120s,
         ProbeAction::AnswerNotUp},
        {"stalled read nobody waits for",
         {.running = true, .abandoned = true, .last = LastRead::Up},
         10s,
         ProbeAction::AnswerNotUp},
        {"asked read, room left",
         {.queued = true, .waitingQueued = 2},
         10s,
         ProbeAction::QueueRead},
        {"asked read, full",
         {.queued = true, .waitingQueued = kFull, .last = LastRead::Up},
         10s,
         ProbeAction::AnswerNotUp},
    };
    const auto now = std::chrono::steady_clock::now();
    for (const Case& c : cases) {
        EXPECT_EQ(DecideProbe(c.state, now, now + c.budget), c.action) << c.what;
    }
}
