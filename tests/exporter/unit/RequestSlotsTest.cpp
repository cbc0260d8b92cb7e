// The requests in flight each client may have.
#include "exporter/RequestSlots.h"

#include <gtest/gtest.h>

// Two clients that came first holding every slot, so a third is refused (a share that
// does not shrink as more clients are active); or a client refused its first slot.
TEST(RequestSlots, ShareShrinksAsMoreClientsAreActive) {
    using Taken = CRequestSlots::Taken;
    CRequestSlots slots(40);
    const auto takeAll = [&](const std::string& client) {
        int taken = 0;
        while (slots.Take(client) == Taken::Yes) {
            ++taken;
        }
        return taken;
    };
    EXPECT_EQ(takeAll("a"), 30); // alone: three quarters
    EXPECT_EQ(takeAll("b"), 10); // the rest, so far
    for (int i = 0; i < 15; ++i) {
        slots.Give("a");
    }
    EXPECT_EQ(takeAll("a"), 0) << "a holds 15, its share of two";
    EXPECT_EQ(takeAll("b"), 5) << "b up to its share of 15";
    EXPECT_EQ(takeAll("c"), 10) << "a third client's share, 30 / 3, still free";
}
