// Threads that share a piece of work, for the loader and the sort: every thread is joined on
// every way out, and what a job throws reaches the caller instead of ending the program.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "engine/thread_group.h"

namespace ostrel {
namespace {

namespace hooks = thread_group_testing;

// A flag that jobs wait on until the group's stop raises it.
struct StopFlag {
    std::mutex mutex;
    std::condition_variable raised;
    bool up = false;
    int raises = 0;

    void Raise() {
        std::lock_guard lock(mutex);
        up = true;
        ++raises;
        raised.notify_all();
    }
    void Wait() {
        std::unique_lock lock(mutex);
        raised.wait(lock, [&] { return up; });
    }
};

class ThreadGroupTest : public ::testing::Test {
  protected:
    void TearDown() override {
        hooks::FailThreadStart(0);
        hooks::FailThreadJob(0);
    }
};

TEST_F(ThreadGroupTest, EveryJobRunsAndJoinReturnsWhenNoneThrows) {
    std::atomic<int> ran{0};
    ThreadGroup group;
    for (int i = 0; i < 3; ++i) group.Start([&] { ++ran; });
    group.Run([&] { ++ran; });
    group.Join();
    EXPECT_EQ(ran, 4);
    EXPECT_FALSE(group.Failed());
}

TEST_F(ThreadGroupTest, AJobRunningOutOfMemoryReachesTheCaller) {
    std::atomic<int> ran{0};
    ThreadGroup group;
    group.Start([&] { ++ran; });
    group.Start([] { throw std::bad_alloc(); });
    group.Start([&] { ++ran; });
    EXPECT_THROW(group.Join(), std::bad_alloc);
    EXPECT_EQ(ran, 2);
    EXPECT_TRUE(group.Failed());
}

TEST_F(ThreadGroupTest, TheFirstFailureWinsAndStopsTheOthers) {
    StopFlag stop;
    ThreadGroup group([&] { stop.Raise(); });
    // The later jobs throw only after the first one's failure has stopped them.
    for (int i = 0; i < 2; ++i)
        group.Start([&] {
            stop.Wait();
            throw std::runtime_error("later");
        });
    group.Start([] { throw std::runtime_error("first"); });
    try {
        group.Join();
        ADD_FAILURE() << "no failure handed on";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "first");
    }
    EXPECT_EQ(stop.raises, 1);
}

TEST_F(ThreadGroupTest, AJobOnTheCallingThreadIsKeptLikeTheOthers) {
    StopFlag stop;
    ThreadGroup group([&] { stop.Raise(); });
    group.Start([&] { stop.Wait(); });
    group.Run([] { throw std::bad_alloc(); });
    EXPECT_THROW(group.Join(), std::bad_alloc);
}

TEST_F(ThreadGroupTest, AFailedStartLeavesTheStartedThreadsStoppedAndJoined) {
    StopFlag stop;
    std::atomic<int> finished{0};
    hooks::FailThreadStart(3);
    try {
        ThreadGroup group([&] { stop.Raise(); });
        for (int i = 0; i < 4; ++i)
            group.Start([&] {
                stop.Wait();
                ++finished;
            });
        ADD_FAILURE() << "the third start did not fail";
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code(), std::errc::resource_unavailable_try_again);
    }
    // Both threads that started were told to stop and have ended.
    EXPECT_EQ(finished, 2);
}

TEST_F(ThreadGroupTest, LeavingByAnExceptionStopsAndJoins) {
    StopFlag stop;
    std::atomic<int> finished{0};
    EXPECT_THROW(
        {
            ThreadGroup group([&] { stop.Raise(); });
            group.Start([&] {
                stop.Wait();
                ++finished;
            });
            throw std::runtime_error("the caller fails");
        },
        std::runtime_error);
    EXPECT_EQ(finished, 1);
}

TEST_F(ThreadGroupTest, TheTestHookFailsTheNthJob) {
    std::atomic<int> ran{0};
    hooks::FailThreadJob(2);
    ThreadGroup group;
    for (int i = 0; i < 3; ++i) group.Start([&] { ++ran; });
    EXPECT_THROW(group.Join(), std::bad_alloc);
    EXPECT_EQ(ran, 2);
}

}  // namespace
}  // namespace ostrel
