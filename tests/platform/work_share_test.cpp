#include "platform/work_share.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "support/env_var.h"

namespace korvel::platform {
namespace {

// Many loops of many sizes one after another, as a scan gives: each item of each loop is done exactly
// once, and a loop's results are all there when it returns.
TEST(WorkShare, DoesEveryItemOfEveryLoopOnce) {
    WorkShare share;
    for (std::size_t count : {0u, 1u, 2u, 3u, 17u, 1000u}) {
        for (int round = 0; round < 50; ++round) {
            std::vector<int> done(count, 0);
            share.forEach(count, [&](std::size_t i) { ++done[i]; });
            for (std::size_t i = 0; i < count; ++i)
                ASSERT_EQ(done[i], 1) << "item " << i << " of " << count << ", round " << round;
        }
    }
}

TEST(WorkShare, UsesTheSecondThreadUnlessToldNotTo) {
    const auto threadsUsed = [] {
        WorkShare share;
        std::mutex mutex;
        std::set<std::thread::id> threads;
        // Slow enough items that a helper, once woken, takes some of them.
        share.forEach(200, [&](std::size_t) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            const std::lock_guard<std::mutex> lock(mutex);
            threads.insert(std::this_thread::get_id());
        });
        return threads.size();
    };
    {
        const testing::EnvVar one("KORVEL_THREADS", "1");
        EXPECT_FALSE(useSecondCore());
        EXPECT_EQ(threadsUsed(), 1u);
    }
    const testing::EnvVar two("KORVEL_THREADS", "2");
    EXPECT_TRUE(useSecondCore());
    EXPECT_EQ(threadsUsed(), 2u);
}

TEST(WorkShare, AFailureOnEitherThreadIsThrownToTheCallerAndTheShareStaysUsable) {
    const testing::EnvVar two("KORVEL_THREADS", "2");
    WorkShare share;
    const std::thread::id caller = std::this_thread::get_id();
    for (const bool onHelper : {true, false}) {
        EXPECT_THROW(share.forEach(200,
                                   [&](std::size_t) {
                                       std::this_thread::sleep_for(std::chrono::microseconds(200));
                                       if ((std::this_thread::get_id() != caller) == onHelper)
                                           throw std::runtime_error("item failed");
                                   }),
                     std::runtime_error)
            << (onHelper ? "thrown on the helper" : "thrown on the caller");
        std::vector<int> done(64, 0);
        share.forEach(done.size(), [&](std::size_t i) { ++done[i]; });
        EXPECT_EQ(std::count(done.begin(), done.end(), 1), 64);
    }
}

}  // namespace
}  // namespace korvel::platform
