// The requests in flight: who gets a slot that comes free, and a wait past its deadline.
#include "exporter/RequestSlots.h"

#include <gtest/gtest.h>

#include <future>
#include <string>
#include <vector>

namespace {

using Outcome = CRequestSlots::Outcome;
using Clock = CRequestSlots::Clock;

} // namespace

// A lone client refused a slot while some are free; a slot that comes free going to the
// client holding most, or always to the same one of two equals, or to a client that
// came later (not round robin), so a crowd starves a newcomer.
TEST(RequestSlots, FreedSlotGoesToTheWaitingClientHoldingFewest) {
    CRequestSlots slots(4);
    const auto later = Clock::now() + std::chrono::minutes(1);
    std::vector<std::string> served;
    const auto take = [&](const std::string& client) {
        slots.Take(client, later, [&served, client](Outcome outcome, Clock::duration) {
            if (outcome == Outcome::Taken) {
                served.push_back(client);
            }
        });
    };
    for (int i = 0; i < 4; ++i) {
        take("lone");
    }
    EXPECT_EQ(served.size(), 4U) << "a lone client may use every slot";
    for (const char* client : {"lone", "lone", "crowd-a", "crowd-b", "newcomer", "crowd-a"}) {
        take(client);
    }
    served.clear();
    for (int i = 0; i < 5; ++i) {
        slots.Give(i < 4 ? "lone" : "crowd-a");
    }
    // Fewest held first; among equals the one served longest ago.
    const std::vector<std::string> expected{"crowd-a", "crowd-b", "newcomer", "lone", "crowd-a"};
    EXPECT_EQ(served, expected);
}

// A wait that never ends when no slot comes free, or a slot taken after the deadline.
TEST(RequestSlots, WaitEndsAtItsDeadline) {
    CRequestSlots slots(1);
    slots.Take("a", Clock::now(), [](Outcome, Clock::duration) {});
    std::promise<Outcome> ended;
    slots.Take("b", Clock::now() + std::chrono::milliseconds(50),
               [&ended](Outcome outcome, Clock::duration) { ended.set_value(outcome); });
    auto outcome = ended.get_future();
    ASSERT_EQ(outcome.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(outcome.get(), Outcome::GaveUp);
    slots.Give("a");
    std::promise<Outcome> next;
    slots.Take("b", Clock::now() + std::chrono::seconds(10),
               [&next](Outcome outcome, Clock::duration) { next.set_value(outcome); });
    EXPECT_EQ(next.get_future().get(), Outcome::Taken) << "the slot given back is free";
}
