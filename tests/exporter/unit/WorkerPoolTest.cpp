// The fixed pools that run the HTTP server's work.
#include "exporter/WorkerPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>

// A burst beyond the queue taken (memory without bound) or a queued job dropped when the
// pool ends instead of run.
TEST(WorkerPool, QueueIsBoundedAndQueuedJobsRun) {
    std::atomic<int> ran{0};
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    {
        CWorkerPool pool(1, 2);
        std::promise<void> started;
        ASSERT_TRUE(pool.TrySubmit([&] {
            started.set_value();
            released.wait();
            ++ran;
        }));
        started.get_future().wait(); // the one thread is busy; the queue is empty
        EXPECT_TRUE(pool.TrySubmit([&] { ++ran; }));
        EXPECT_TRUE(pool.TrySubmit([&] { ++ran; }));
        EXPECT_FALSE(pool.TrySubmit([&] { ++ran; }));
        release.set_value();
    }
    EXPECT_EQ(ran, 3);
}
