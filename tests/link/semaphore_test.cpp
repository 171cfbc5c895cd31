// The reply semaphore of the platform layer: count 0 at the start, never
// above 1, and a waiter wakes on a release from another thread.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "vesk_platform.h"

TEST(semaphore1, count_starts_at_0_and_a_second_release_at_1_leaves_1)
{
    vplat::semaphore1 s;
    EXPECT_FALSE(s.try_acquire());
    s.release();
    s.release();  // already at the maximum: nothing changes
    EXPECT_TRUE(s.try_acquire());
    EXPECT_FALSE(s.try_acquire());
    s.release();
    s.acquire();  // returns at once: the count was 1
    EXPECT_FALSE(s.try_acquire());
}

TEST(semaphore1, a_waiter_wakes_on_a_release_from_another_thread)
{
    vplat::semaphore1 s;
    std::atomic<bool> woke{false};
    std::thread waiter([&] {
        s.acquire();
        woke = true;
    });
    vplat::sleep_ms(50);
    EXPECT_FALSE(woke);
    s.release();
    waiter.join();
    EXPECT_TRUE(woke);
    EXPECT_FALSE(s.try_acquire());
}
